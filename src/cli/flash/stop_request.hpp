// Ctrl-C and SIGTERM, as the program's entry takes them. The first asks the run to stop where it
// safely can: an upgrade that has not erased stops at once, one that has erased stops after the
// transfer in flight and never sends the reset. A second ends the process at once.
#pragma once

namespace fwup::cli {

bool StopRequested();
void RequestStop();

// What the entry says when the first stop comes: a line ending in a newline. A run that stops
// otherwise (flash --watch lets the boards in progress finish) says so before it starts.
const char* StopNote();
void SetStopNote(const char* line);

}  // namespace fwup::cli
