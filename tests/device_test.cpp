// The device layer: answer fields, the two failure rules, the hardware-ID match, the hex field
// decoder, and the discovery walk that opens the first match twice and greets it.
#include <gtest/gtest.h>

#include "device/find_device.hpp"
#include "device/hardware_id.hpp"
#include "image/parse_hex_field.hpp"
#include "sim/fault.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

TEST(BootReport, FieldReadsStopAtTheEndOfTheReport) {
  const BootReport answer = Report(0x02, {0, 0, 0, 0x00, 0x10, 0x00, 0x00, 0x00, 0xE0, 0x00, 0x00});
  EXPECT_EQ(ReadU32(answer, 5), 4096u);
  EXPECT_EQ(ReadU32(answer, 9), 57344u);
  BootReport tail{};
  tail[63] = 0x34;
  tail[64] = 0x12;
  EXPECT_EQ(ReadU32(tail, 63), 0x1234u);
  EXPECT_EQ(ReadU32(tail, 65), 0u);
  EXPECT_EQ(ReadBytes(tail, 62, 5).size(), 3u);
}

TEST(BootReport, FalseWithErrorZeroFailsOnlyTheResultTest) {
  EXPECT_FALSE(FailedByErrorCode(TransferResult::Failed(0)));
  EXPECT_TRUE(FailedByResult(TransferResult::Failed(0)));
  EXPECT_TRUE(FailedByErrorCode(TransferResult::Failed(31)));
  EXPECT_TRUE(FailedByResult(TransferResult::Failed(31)));
  EXPECT_FALSE(FailedByErrorCode(TransferResult::Done()) || FailedByResult(TransferResult::Done()));
}

// The pattern as a subsequence, with its one-way case rule, on IDs of any length.
TEST(MatchHardwareId, Decides) {
  const std::vector<std::pair<std::u16string, std::uint32_t>> cases = {
      {u"HID\\VID_7E51&PID_0A3D&REV_0100", 1},
      {u"hid\\vid_7e51&pid_0a3d&rev_0100", 0},
      {u"HID\\vID_7E51&PID_0A3D", 0},
      {u"Vid_7e51&Pid_0a3d", 1},
      {u"xVxixdx_x7xex5x1x&xPxixdx_x0xax3xdx", 1},
      {u"HID\\VID_7E51&PID_0A3", 0},
      {u"HID\\PID_0A3D&VID_7E51", 0},
      {u"", 0},
      {u"VID_7E51&0ID_0A3D", 1},  // 0x30 + 32 = 'P'
      {u"VID?7E51&PID?0A3D", 1},  // '?' + 32 = '_'
      {u"HID\\VID_7E52&PID_0A3D", 0},
      {u"HID\0VID_7E51&PID_0A3D"s, 0},  // a NUL ends the string
      {u"HID\\VID_7E51&PID_0A3D\0junk"s, 1},
      // An 8-bit index would wrap and never end, or compare the wrong characters.
      {std::u16string(1000, u'x') + u"VID_7E51&PID_0A3D", 1},
      {u"VID_7E51" + std::u16string(300, u'x') + u"&PID_0A3D", 1},
      {std::u16string(70000, u'V'), 0}};
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(MatchHardwareId(cases[i].first), cases[i].second) << i;
}

// Every character counts, hex or not: a character that is not a hex digit is worth its signed
// byte value minus 48, modulo 65,536, and the weight and the sum wrap at 32 bits.
TEST(ParseHexField, DecodesEveryCharacter) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {{"", 0},
                                                                    {"0", 0},
                                                                    {"9", 9},
                                                                    {"A", 10},
                                                                    {"F", 15},
                                                                    {"a", 10},
                                                                    {"fF", 255},
                                                                    {"aBcD", 0xABCD},
                                                                    {"007F", 0x7F},
                                                                    {"G", 23},
                                                                    {":", 10},
                                                                    {"g", 55},
                                                                    {"G0", 23 * 16},
                                                                    {"\0"s, 65488},
                                                                    {"/", 65535},
                                                                    {" ", 65520},
                                                                    {"\x80", 65360},
                                                                    {"\xFF", 65487},
                                                                    {"1\r", 16 + 65501},
                                                                    {"100000000", 0},
                                                                    {"123456789", 0x23456789},
                                                                    {"\0\0"s, 65488u * 16u + 65488u}};
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseHexField({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), value)
        << testing::PrintToString(text);
  }
  const std::string text = "12345";  // only the characters it is given
  EXPECT_EQ(ParseHexField({reinterpret_cast<const std::uint8_t*>(text.data()), 2}), 0x12u);
}

const std::u16string kTargetId(sim::kBootLoaderHardwareId);

struct WalkCase {
  const char* name;
  std::vector<sim::SimInterface> interfaces;  // a device is added to each with the target's ID
  std::uint32_t found;
  std::vector<std::string> opened;
  std::uint32_t ids_read;
};

sim::SimInterface Other(std::u16string id, std::string path) { return {std::move(id), std::move(path), nullptr}; }
sim::SimInterface Target(std::string path, bool no_id = false, bool no_path = false) {
  sim::SimInterface target{kTargetId, std::move(path), std::make_shared<sim::BootLoader>()};
  target.hardware_id_unavailable = no_id;
  target.path_unavailable = no_path;
  return target;
}

class Walk : public testing::TestWithParam<WalkCase> {};

// The first match is opened write then read; nothing after it is examined, and the interface
// set is ended on every way out.
TEST_P(Walk, OpensOnlyTheFirstMatch) {
  sim::SimBus bus;
  std::vector<sim::SimInterface> interfaces = GetParam().interfaces;
  for (sim::SimInterface& interface : interfaces) {
    if (interface.device) interface.device = std::make_shared<sim::BootLoader>();  // fresh for each run
    bus.Add(interface);
  }
  RecordingTrace trace;
  Tracer tracer(trace);
  DeviceLink link;
  std::uint32_t found = 0;
  FindDevice({bus, tracer, {}, std::nullopt}, link, found);
  EXPECT_EQ(found, GetParam().found);
  const sim::BusCounters counters = bus.Counters();
  EXPECT_EQ(counters.opened, GetParam().opened);
  EXPECT_EQ(counters.hardware_ids_read, GetParam().ids_read);
  EXPECT_EQ(counters.enumerations, 1u);
  EXPECT_EQ(counters.enumerations_ended, 1u);
  EXPECT_EQ(link.WriteHandleOpen(), !GetParam().opened.empty());
  EXPECT_EQ(link.ReadHandleOpen(), !GetParam().opened.empty());
  for (const sim::SimInterface& interface : interfaces) {
    if (!interface.device) continue;
    const bool greeted = !GetParam().opened.empty() && interface.path == GetParam().opened[0];
    ASSERT_EQ(interface.device->Log().size(), greeted ? 2u : 0u) << interface.path;
    if (greeted) {
      EXPECT_EQ(interface.device->Log()[0].report, Report(0xA2));
    }
  }
  if (GetParam().found == 0) {
    EXPECT_TRUE(trace.lines.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Buses, Walk,
    testing::Values(
        WalkCase{"Empty", {}, 0, {}, 0},
        WalkCase{"ThirdOfFour",
                 {Other(u"HID\\VID_1234&PID_5678", "other"), Other(u"HID\\VID_7E51&PID_0A3", "half"), Target("target"),
                  Target("later")},
                 1,
                 {"target", "target"},
                 3},
        // Each ID is compared on its own, and only its first string.
        WalkCase{
            "SplitOrListedLater",
            {Other(u"HID\\VID_7E51", "a"), Other(u"&PID_0A3D", "b"), Other(u"HID\\XYZ\0HID\\VID_7E51&PID_0A3D"s, "c")},
            0,
            {},
            3},
        // Only the first 259 characters are compared: the pattern ends at character 259, or 260.
        WalkCase{
            "EndsAt259", {Other(std::u16string(242, u'x') + u"VID_7E51&PID_0A3D", "long")}, 1, {"long", "long"}, 1},
        WalkCase{"EndsAt260", {Other(std::u16string(243, u'x') + u"VID_7E51&PID_0A3D", "long")}, 0, {}, 1},
        // An ID that cannot be read ends the walk with the last comparison's result.
        WalkCase{
            "IdUnavailable", {Other(u"HID\\VID_1234&PID_5678", "other"), Target("t", true), Target("after")}, 0, {}, 2},
        // A match whose path cannot be read is left with no handles and nothing sent.
        WalkCase{"PathUnavailable", {Target("t", false, true)}, 1, {}, 1}),
    ByName());

TEST(FindDevice, OpensWriteThenReadAndEndsTheSetBeforeTheGreeting) {
  ScriptedBus bus;
  bus.interfaces = {{u"HID\\VID_1234&PID_5678", "other"}, {kTargetId, "target"}};
  RecordingTrace trace;
  Tracer tracer(trace);
  DeviceLink link;
  std::uint32_t found = 0;
  FindDevice({bus, tracer, {}, std::nullopt}, link, found);
  EXPECT_EQ(bus.events,
            (std::vector<std::string>{"enumerate", "hardware id 0", "hardware id 1", "path 1", "open write target",
                                      "open read target", "set destroyed", "write 162", "read"}));
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

struct ReadyCase {
  const char* name;
  std::uint8_t form;
  const char* fault;               // "" for none
  std::vector<std::string> lines;  // after "App Ready Command send"; for 0xAE the answer dump
};

class ReadyAnswer : public testing::TestWithParam<ReadyCase> {};

TEST_P(ReadyAnswer, TracesItsForm) {
  sim::BootLoaderConfig config;
  config.ready_form = GetParam().form;
  config.ready_values = {7, 200, 15};
  Rig rig(config);
  if (*GetParam().fault) rig.AddFault(GetParam().fault);
  FindDevice({*rig.bus, rig.session.trace, {}, std::nullopt}, rig.session.link, rig.session.DeviceFound);
  ASSERT_FALSE(rig.trace.lines.empty());
  EXPECT_EQ(rig.trace.lines[0], "App Ready Command send\r\n");
  const std::vector<std::string> rest(rig.trace.lines.begin() + 1, rig.trace.lines.end());
  if (GetParam().form != 0xAE) {
    EXPECT_EQ(rest, GetParam().lines);
    return;
  }
  ASSERT_EQ(rest.size(), 65u);  // one line per byte, upper-case hex without leading zeros
  for (std::size_t i = 0; i < GetParam().lines.size(); ++i) EXPECT_EQ(rest[i], GetParam().lines[i]);
  EXPECT_EQ(rest[64], "Rawdata[64] = 0x0\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ReadyAnswer,
    testing::Values(ReadyCase{"Crc", 0x09, "", {"Received CRC value = 7\r\n", "Programmed CRC value = 200,15\r\n"}},
                    ReadyCase{"Upgrade",
                              0xAD,
                              "",
                              {"Firmware Upgrade Command Received\r\n", "Computed CRC value = 7\r\n",
                               "Programmed CRC value = 200\r\n"}},
                    ReadyCase{"Dump",
                              0xAE,
                              "",
                              {"Rawdata[0] = 0x0\r\n", "Rawdata[1] = 0xAE\r\n", "Rawdata[2] = 0x7\r\n",
                               "Rawdata[3] = 0xC8\r\n", "Rawdata[4] = 0xF\r\n"}},
                    ReadyCase{"Other", 0x42, "", {}}, ReadyCase{"Zero", 0x00, "", {}},
                    // Counted as sent; the device never got it, so the read finds nothing to trace.
                    ReadyCase{"WriteFalseZero", 0xAD, "fail-write@ready:0", {}}),
    ByName());

}  // namespace
}  // namespace fwup::test
