#include "cli/stop_request.hpp"

#include <atomic>

namespace fwup::cli {
namespace {

std::atomic<bool> stop_requested{false};

}  // namespace

bool StopRequested() { return stop_requested.load(std::memory_order_relaxed); }
void RequestStop() { stop_requested.store(true, std::memory_order_relaxed); }

}  // namespace fwup::cli
