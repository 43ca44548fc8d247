// --wait: the board is being plugged in or put into Firmware Upgrade Mode, so the walk is run
// again a few times a second until a matching device is present.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/display.hpp"
#include "ports/hid.hpp"

namespace fwup::cli {

// Paths of the interfaces that the walk would take, in walk order; with `only_path`, only that
// one.
std::vector<std::string> MatchingPaths(HidBus& bus, const std::optional<std::string>& only_path);

struct WaitClock {
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
};
WaitClock SystemClock();

inline constexpr std::chrono::milliseconds kWaitPollInterval{250};

// Returns at once when a matching device is present; otherwise says once that it waits, and
// looks again every kWaitPollInterval until one is or `limit` has passed. True when one is.
bool WaitForDevice(HidBus& bus, const std::optional<std::string>& only_path, std::chrono::milliseconds limit,
                   Display& display, const WaitClock& clock);

}  // namespace fwup::cli
