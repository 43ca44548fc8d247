// The discovery walk: the first matching interface is opened twice and greeted; nothing after it
// is examined, and the device information set goes on every way out.
#include "device/find_device.hpp"

#include <gtest/gtest.h>

#include "sim/fault.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

const std::u16string kTargetId(sim::kBootLoaderHardwareId);

struct Walk {
  void Run() { FindDevice({bus, tracer, {}, std::nullopt}, link, DeviceFound); }
  sim::SimBus bus;
  RecordingTrace trace;
  Tracer tracer{trace};
  DeviceLink link;
  std::uint32_t DeviceFound = 0;
};

std::shared_ptr<sim::BootLoader> AddTarget(sim::SimBus& bus, const std::string& path,
                                           sim::BootLoaderConfig config = {}) {
  auto device = std::make_shared<sim::BootLoader>(config);
  bus.Add({kTargetId, path, device});
  return device;
}

TEST(FindDevice, NoInterfaceSendsNothingAndTracesNothing) {
  Walk walk;
  walk.Run();
  EXPECT_EQ(walk.DeviceFound, 0u);
  EXPECT_TRUE(walk.trace.lines.empty());
  const sim::BusCounters counters = walk.bus.Counters();
  EXPECT_TRUE(counters.opened.empty());
  EXPECT_EQ(counters.enumerations, 1u);
  EXPECT_EQ(counters.enumerations_ended, 1u);
}

TEST(FindDevice, TheThirdOfThreeIsOpenedAndNothingAfterItIsExamined) {
  Walk walk;
  walk.bus.Add({u"HID\\VID_1234&PID_5678", "other", nullptr});
  walk.bus.Add({u"HID\\VID_7E51&PID_0A3", "half", nullptr});  // the first half of the pattern only
  const auto target = AddTarget(walk.bus, "target");
  const auto later = AddTarget(walk.bus, "later");
  walk.Run();
  EXPECT_EQ(walk.DeviceFound, 1u);
  const sim::BusCounters counters = walk.bus.Counters();
  EXPECT_EQ(counters.hardware_ids_read, 3u);
  EXPECT_EQ(counters.opened, (std::vector<std::string>{"target", "target"}));
  EXPECT_EQ(counters.enumerations_ended, 1u);
  ASSERT_EQ(target->Log().size(), 2u);
  EXPECT_EQ(target->Log()[0].report, Report(0xA2));
  EXPECT_TRUE(later->Log().empty());
  EXPECT_EQ(walk.link.Path(), "target");
}

TEST(FindDevice, EachHardwareIdIsComparedOnItsOwn) {
  Walk walk;
  walk.bus.Add({u"HID\\VID_7E51", "a", nullptr});
  walk.bus.Add({u"&PID_0A3D", "b", nullptr});
  walk.bus.Add({u"HID\\XYZ\0HID\\VID_7E51&PID_0A3D", "c", nullptr});  // later strings of the list do not count
  walk.Run();
  EXPECT_EQ(walk.DeviceFound, 0u);
  EXPECT_TRUE(walk.bus.Counters().opened.empty());
  EXPECT_EQ(walk.bus.Counters().enumerations_ended, 1u);
}

TEST(FindDevice, OnlyTheFirst259CharactersOfAHardwareIdAreCompared) {
  for (const std::size_t filler : {242u, 243u}) {  // the pattern ends at character 259, or 260
    Walk walk;
    walk.bus.Add({std::u16string(filler, u'x') + u"VID_7E51&PID_0A3D", "long", nullptr});
    walk.Run();
    EXPECT_EQ(walk.DeviceFound, filler == 242u ? 1u : 0u) << filler;
  }
}

TEST(FindDevice, HardwareIdWithoutMemoryEndsTheWalkWithTheLastComparison) {
  Walk walk;
  walk.bus.Add({u"HID\\VID_1234&PID_5678", "other", nullptr});
  sim::SimInterface broken{kTargetId, "target", std::make_shared<sim::BootLoader>()};
  broken.hardware_id_unavailable = true;
  walk.bus.Add(broken);
  AddTarget(walk.bus, "after");  // never reached
  walk.Run();
  EXPECT_EQ(walk.DeviceFound, 0u);
  EXPECT_TRUE(walk.bus.Counters().opened.empty());
  EXPECT_EQ(walk.bus.Counters().enumerations_ended, 1u);
}

TEST(FindDevice, DetailRecordWithoutMemoryLeavesAMatchWithNoHandles) {
  Walk walk;
  sim::SimInterface target{kTargetId, "target", std::make_shared<sim::BootLoader>()};
  target.path_unavailable = true;
  walk.bus.Add(target);
  walk.Run();
  EXPECT_EQ(walk.DeviceFound, 1u);
  EXPECT_FALSE(walk.link.WriteHandleOpen());
  EXPECT_FALSE(walk.link.ReadHandleOpen());
  EXPECT_TRUE(walk.bus.Counters().opened.empty());
  EXPECT_EQ(walk.bus.Counters().enumerations_ended, 1u);
  EXPECT_TRUE(target.device->Log().empty());
}

TEST(FindDevice, OpensWriteThenReadAndDestroysTheSetBeforeTheGreeting) {
  ScriptedBus bus;
  bus.interfaces = {{u"HID\\VID_1234&PID_5678", "other"}, {kTargetId, "target"}};
  RecordingTrace trace;
  Tracer tracer(trace);
  DeviceLink link;
  std::uint32_t found = 0;
  FindDevice({bus, tracer, {}, std::nullopt}, link, found);
  const std::vector<std::string> expected = {"enumerate",     "hardware id 0",     "hardware id 1",
                                             "path 1",        "open write target", "open read target",
                                             "set destroyed", "write 162",         "read"};
  EXPECT_EQ(bus.events, expected);
}

TEST(FindDevice, FailedReadyWriteSuppressesOnlyItsOwnLine) {
  ScriptedBus bus;
  bus.interfaces = {{kTargetId, "target"}};
  bus.write_results = {TransferResult::Failed(kErrorGenFailure)};
  bus.answers = {Report(0xAD, {7, 9})};  // the device answers all the same
  RecordingTrace trace;
  Tracer tracer(trace);
  DeviceLink link;
  std::uint32_t found = 0;
  FindDevice({bus, tracer, {}, std::nullopt}, link, found);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"Firmware Upgrade Command Received\r\n",
                                                   "Computed CRC value = 7\r\n", "Programmed CRC value = 9\r\n"}));
}

TEST(FindDevice, ReadyWriteFalseWithErrorZeroCountsAsSent) {
  Walk walk;
  auto target = AddTarget(walk.bus, "target");
  target->AddFault(*sim::ParseFault("fail-write@ready:0"));
  walk.Run();
  // The write counted as done; the device never got it, so the read finds nothing to trace.
  EXPECT_EQ(walk.trace.lines, std::vector<std::string>{"App Ready Command send\r\n"});
}

struct ReadyCase {
  const char* name;
  std::uint8_t form;
  std::vector<std::string> lines;  // after "App Ready Command send"; empty for the dump
};

class ReadyAnswer : public testing::TestWithParam<ReadyCase> {};

TEST_P(ReadyAnswer, TracesItsForm) {
  sim::BootLoaderConfig config;
  config.ready_form = GetParam().form;
  config.ready_values = {7, 200, 15};
  Walk walk;
  AddTarget(walk.bus, "target", config);
  walk.Run();
  ASSERT_FALSE(walk.trace.lines.empty());
  EXPECT_EQ(walk.trace.lines[0], "App Ready Command send\r\n");
  const std::vector<std::string> rest(walk.trace.lines.begin() + 1, walk.trace.lines.end());
  if (GetParam().form != 0xAE) {
    EXPECT_EQ(rest, GetParam().lines);
    return;
  }
  ASSERT_EQ(rest.size(), 65u);
  EXPECT_EQ(rest[1], "Rawdata[1] = 0xAE\r\n");
  EXPECT_EQ(rest[2], "Rawdata[2] = 0x7\r\n");
  EXPECT_EQ(rest[3], "Rawdata[3] = 0xC8\r\n");
  EXPECT_EQ(rest[4], "Rawdata[4] = 0xF\r\n");
  EXPECT_EQ(rest[64], "Rawdata[64] = 0x0\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ReadyAnswer,
    testing::Values(ReadyCase{"Crc", 0x09, {"Received CRC value = 7\r\n", "Programmed CRC value = 200,15\r\n"}},
                    ReadyCase{"Upgrade",
                              0xAD,
                              {"Firmware Upgrade Command Received\r\n", "Computed CRC value = 7\r\n",
                               "Programmed CRC value = 200\r\n"}},
                    ReadyCase{"Dump", 0xAE, {}}, ReadyCase{"Other", 0x42, {}}, ReadyCase{"Zero", 0x00, {}}),
    ByName());

}  // namespace
}  // namespace fwup::test
