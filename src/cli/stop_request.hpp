// Ctrl-C and SIGTERM. The first asks the run to stop where it safely can: an upgrade that has
// not erased stops at once, one that has erased stops after the transfer in flight and never
// sends the reset. A second ends the process at once.
#pragma once

namespace fwup::cli {

// Installs the handling above, and makes a closed pipe or a full disk a failed write instead of
// a signal that kills the tool (SIGPIPE, SIGXFSZ). Called once by main, before any thread starts.
void SetUpProcessSignals();

bool StopRequested();
void RequestStop();

}  // namespace fwup::cli
