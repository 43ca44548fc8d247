// --wait: the walk is run again a few times a second until the device is there.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/display/terminal_view.hpp"
#include "cli/flash/devices.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::cli {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// A bench where the board appears once the walk has run `appears_after` times.
class PluggedInLater : public sim::SimBus {
 public:
  explicit PluggedInLater(unsigned appears_after) : appears_after_(appears_after) {}
  std::unique_ptr<HidEnumeration> Enumerate() override {
    if (++walks == appears_after_ + 1) AddBootLoaders(1);
    return sim::SimBus::Enumerate();
  }
  unsigned walks = 0;

 private:
  unsigned appears_after_;
};

struct WaitCase {
  const char* name;
  unsigned appears_after;
  std::optional<std::string> path;
  milliseconds limit;
  bool found;
  std::size_t sleeps;  // each kWaitPollInterval, but the last when the time runs out
  const char* said;    // on stderr
};

// The time runs out 4 x 250 ms and a last 100 ms (and a little) in; a path waits for that path.
TEST(WaitForDevice, LooksAgainAFewTimesASecondUntilTheDeviceIsThereOrTheTimeIsUp) {
  const std::string waiting = " in Firmware Upgrade Mode to appear...\n";
  for (const WaitCase& c : std::vector<WaitCase>{
           {"there at once", 0, std::nullopt, 10s, true, 0, ""},
           {"after five walks", 5, std::nullopt, 10s, true, 5, "Waiting up to 10 s for a device"},
           {"never", 1000, std::nullopt, 1100ms, false, 5, "Waiting up to 1.1 s for a device"},
           {"no time to wait", 1000, std::nullopt, 0ms, false, 0, ""},
           {"another path", 0, "/dev/hidraw9", 500ms, false, 2, "Waiting up to 0.5 s for the device at '/dev/hidraw9'"},
           {"its path", 0, "sim:hid#1", 500ms, true, 0, ""}}) {
    PluggedInLater bus(c.appears_after);
    std::ostringstream out, err;
    Console console{out, err, {}};
    Screen screen{console, false, false};
    DeviceView view{screen};
    auto now = std::chrono::steady_clock::time_point{};
    std::vector<milliseconds> sleeps;
    const WaitClock clock{[&] { return now; },
                          [&](milliseconds duration) {
                            sleeps.push_back(duration);
                            now += duration;
                          }};
    EXPECT_EQ(WaitForDevice(bus, c.path, c.limit, view, clock), c.found) << c.name;
    EXPECT_EQ(err.str(), *c.said ? c.said + waiting : "") << c.name;
    ASSERT_EQ(sleeps.size(), c.sleeps) << c.name;
    EXPECT_EQ(bus.walks, c.sleeps + 1) << c.name;
    // The last wait of one that runs out of time may be shorter.
    const std::size_t polls = c.found || c.sleeps == 0 ? c.sleeps : c.sleeps - 1;
    for (std::size_t i = 0; i < polls; ++i) EXPECT_EQ(sleeps[i], kWaitPollInterval) << c.name;
    if (!c.found && c.limit > 0ms) {
      EXPECT_GE(now.time_since_epoch(), c.limit) << c.name;
      EXPECT_LE(now.time_since_epoch(), c.limit + 1ms) << c.name;
    }
  }
}

TEST(MatchingDevices, KeepsWalkOrderAndSkipsOtherDevices) {
  sim::SimBus bus;
  bus.Add({u"HID\\VID_1209&PID_0001", "/dev/hidraw0", nullptr});
  bus.AddBootLoaders(2);
  EXPECT_EQ(MatchingDevices(bus, std::nullopt),
            (std::vector<PresentDevice>{{"sim:hid#1", "sim-1"}, {"sim:hid#2", "sim-2"}}));
  EXPECT_EQ(MatchingDevices(bus, std::string("sim:hid#2")), (std::vector<PresentDevice>{{"sim:hid#2", "sim-2"}}));
  EXPECT_TRUE(MatchingDevices(bus, std::string("/dev/hidraw0")).empty());
}

}  // namespace
}  // namespace fwup::cli
