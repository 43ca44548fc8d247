#include "cli/flash/stop_request.hpp"

#include <atomic>

namespace fwup::cli {
namespace {

std::atomic<bool> stop_requested{false};
std::atomic<const char*> stop_note{
    "fwupgrade: stopping after the transfer in flight; press Ctrl-C again to end at once\n"};

}  // namespace

bool StopRequested() { return stop_requested.load(std::memory_order_relaxed); }
void RequestStop() { stop_requested.store(true, std::memory_order_relaxed); }
const char* StopNote() { return stop_note.load(); }
void SetStopNote(const char* line) { stop_note.store(line); }

}  // namespace fwup::cli
