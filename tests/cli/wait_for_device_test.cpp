// --wait: the walk is run again a few times a second until the device is there.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/devices.hpp"
#include "cli/terminal_view.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::cli {
namespace {

using namespace std::chrono_literals;

// A bench where the board appears once the walk has run `appears_after` times.
class PluggedInLater : public HidBus {
 public:
  explicit PluggedInLater(unsigned appears_after) : appears_after_(appears_after) {}
  std::unique_ptr<HidEnumeration> Enumerate() override {
    if (++walks_ > appears_after_ && !plugged_) {
      bus_.AddBootLoaders(1);
      plugged_ = true;
    }
    return bus_.Enumerate();
  }
  OpenResult Open(const std::string& path, HidAccess access) override { return bus_.Open(path, access); }
  unsigned walks() const { return walks_; }

 private:
  sim::SimBus bus_;
  unsigned appears_after_;
  unsigned walks_ = 0;
  bool plugged_ = false;
};

struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::chrono::milliseconds> sleeps;
  WaitClock Clock() {
    return {[this] { return now; },
            [this](std::chrono::milliseconds duration) {
              sleeps.push_back(duration);
              now += duration;
            }};
  }
};

struct Shown {
  std::ostringstream out;
  std::ostringstream err;
  Console console{out, err, {}};
  Screen screen{console, false, false};
  DeviceView display{screen};
};

TEST(WaitForDevice, ReturnsAtOnceWhenTheDeviceIsThere) {
  PluggedInLater bus(0);
  FakeClock clock;
  Shown screen;
  EXPECT_TRUE(WaitForDevice(bus, std::nullopt, 10s, screen.display, clock.Clock()));
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(screen.err.str(), "");
}

TEST(WaitForDevice, LooksAgainAFewTimesASecondAndSaysOnceThatItWaits) {
  PluggedInLater bus(5);
  FakeClock clock;
  Shown screen;
  EXPECT_TRUE(WaitForDevice(bus, std::nullopt, 10s, screen.display, clock.Clock()));
  EXPECT_EQ(bus.walks(), 6u);
  ASSERT_EQ(clock.sleeps.size(), 5u);
  for (const auto sleep : clock.sleeps) EXPECT_EQ(sleep, kWaitPollInterval);
  EXPECT_EQ(screen.err.str(), "Waiting up to 10 s for a device in Firmware Upgrade Mode to appear...\n");
}

TEST(WaitForDevice, GivesUpWhenTheTimeIsUp) {
  PluggedInLater bus(1000);
  FakeClock clock;
  Shown screen;
  EXPECT_FALSE(WaitForDevice(bus, std::nullopt, 1100ms, screen.display, clock.Clock()));
  EXPECT_GE(clock.now.time_since_epoch(), 1100ms);
  EXPECT_LE(clock.now.time_since_epoch(), 1101ms);
  EXPECT_EQ(clock.sleeps.size(), 5u);  // 4 x 250 ms and the last 100 ms
}

TEST(WaitForDevice, WaitsForTheGivenPathOnly) {
  PluggedInLater bus(0);
  FakeClock clock;
  Shown screen;
  EXPECT_FALSE(WaitForDevice(bus, std::string("/dev/hidraw9"), 500ms, screen.display, clock.Clock()));
  EXPECT_NE(screen.err.str().find("for the device at '/dev/hidraw9'"), std::string::npos);
  EXPECT_TRUE(WaitForDevice(bus, std::string("sim:hid#1"), 500ms, screen.display, clock.Clock()));
}

TEST(MatchingPaths, KeepsWalkOrderAndSkipsOtherDevices) {
  sim::SimBus bus;
  bus.Add({u"HID\\VID_1209&PID_0001", "/dev/hidraw0", nullptr});
  bus.AddBootLoaders(2);
  EXPECT_EQ(MatchingPaths(bus, std::nullopt), (std::vector<std::string>{"sim:hid#1", "sim:hid#2"}));
  EXPECT_EQ(MatchingPaths(bus, std::string("sim:hid#2")), (std::vector<std::string>{"sim:hid#2"}));
  EXPECT_TRUE(MatchingPaths(bus, std::string("/dev/hidraw0")).empty());
}

}  // namespace
}  // namespace fwup::cli
