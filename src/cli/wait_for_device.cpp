#include "cli/wait_for_device.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "cli/stop_request.hpp"
#include "device/find_device.hpp"

namespace fwup::cli {

std::vector<std::string> MatchingPaths(HidBus& bus, const std::optional<std::string>& only_path) {
  std::vector<std::string> paths;
  for (const HidInterfaceInfo& interface : ListInterfaces(bus)) {
    if (!interface.matches || (only_path && interface.path != *only_path)) continue;
    if (std::find(paths.begin(), paths.end(), interface.path) == paths.end()) paths.push_back(interface.path);
  }
  return paths;
}

WaitClock SystemClock() {
  return {[] { return std::chrono::steady_clock::now(); },
          [](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }};
}

bool WaitForDevice(HidBus& bus, const std::optional<std::string>& only_path, std::chrono::milliseconds limit,
                   Display& display, const WaitClock& clock) {
  if (!MatchingPaths(bus, only_path).empty()) return true;
  if (limit <= std::chrono::milliseconds::zero()) return false;
  const double seconds = static_cast<double>(limit.count()) / 1000.0;
  char amount[32];
  std::snprintf(amount, sizeof amount, "%g", seconds);
  display.Note("Waiting up to " + std::string(amount) + " s for " +
               (only_path ? "the device at '" + *only_path + "'" : std::string("a device")) +
               " in Firmware Upgrade Mode to appear...");
  const auto deadline = clock.now() + limit;
  for (;;) {
    const auto now = clock.now();
    if (now >= deadline || StopRequested()) return false;
    clock.sleep(std::min<std::chrono::milliseconds>(
        kWaitPollInterval,
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + std::chrono::milliseconds(1)));
    if (!MatchingPaths(bus, only_path).empty()) return true;
  }
}

}  // namespace fwup::cli
