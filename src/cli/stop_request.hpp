// Ctrl-C and SIGTERM, as the program's entry takes them. The first asks the run to stop where it
// safely can: an upgrade that has not erased stops at once, one that has erased stops after the
// transfer in flight and never sends the reset. A second ends the process at once.
#pragma once

namespace fwup::cli {

bool StopRequested();
void RequestStop();

}  // namespace fwup::cli
