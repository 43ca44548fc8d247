// Ctrl-C and SIGTERM, as the program's entry takes them. The first asks the run to stop where it
// safely can: an upgrade that has not erased stops at once, one that has erased stops after the
// transfer in flight and never sends the reset. A second ends the process at once.
#pragma once

#include <atomic>

namespace fwup::cli {

inline std::atomic<bool> stop_requested{false};
inline std::atomic<const char*> stop_note{
    "fwupgrade: stopping after the transfer in flight; press Ctrl-C again to end at once\n"};

inline bool StopRequested() { return stop_requested.load(std::memory_order_relaxed); }
inline void RequestStop() { stop_requested.store(true, std::memory_order_relaxed); }

// What the entry says when the first stop comes: a line ending in a newline. A run that stops
// otherwise (flash --watch lets the boards in progress finish) says so before it starts.
inline const char* StopNote() { return stop_note.load(); }
inline void SetStopNote(const char* line) { stop_note.store(line); }

}  // namespace fwup::cli
