// The device layer: answer fields, the hardware-ID match, and the discovery walk that opens the
// first match twice and greets it. How transfers are judged is held by the fault matrix.
#include <gtest/gtest.h>

#include "device/find_device.hpp"
#include "device/hardware_id.hpp"
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

// The pattern as a subsequence, with its one-way case rule, on IDs of any length.
TEST(MatchHardwareId, Decides) {
  const std::vector<std::pair<std::u16string, std::uint32_t>> cases = {
      {u"HID\\VID_7E51&PID_0A3D&REV_0100", 1},
      {u"hid\\vid_7e51&pid_0a3d&rev_0100", 0},
      {u"HID\\vID_7E51&PID_0A3D", 0},
      {u"Vid_7e51&Pid_0a3d", 1},
      {u"xVxixdx_x7xex5x1x&xPxixdx_x0xax3xdx", 1},
      {u"VID_7E51&PID_0A3DVID_7E51&PID_0A3D", 1},
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

// The ready answer is traced by its form: two kinds of checksum lines, or a dump of its bytes
// in upper-case hex without leading zeros; a write that returned FALSE drops only its own line.
TEST(FindDevice, TracesTheReadyAnswerByItsForm) {
  const std::string kSend = "App Ready Command send\r\n";
  const std::vector<std::tuple<std::uint8_t, const char*, std::vector<std::string>>> cases = {
      {0x09, "", {kSend, "Received CRC value = 7\r\n", "Programmed CRC value = 200,15\r\n"}},
      {0xAD,
       "",
       {kSend, "Firmware Upgrade Command Received\r\n", "Computed CRC value = 7\r\n",
        "Programmed CRC value = 200\r\n"}},
      {0xAD, "fail-write@ready:31", {}},      // nothing reaches the device, so no answer either
      {0xAD, "fail-write@ready:0", {kSend}},  // counted as sent; the device never got it
      {0x42, "", {kSend}},
      {0xAE,
       "",
       {kSend, "Rawdata[0] = 0x0\r\n", "Rawdata[1] = 0xAE\r\n", "Rawdata[2] = 0x7\r\n", "Rawdata[3] = 0xC8\r\n",
        "Rawdata[4] = 0xF\r\n"}}};
  for (const auto& [form, fault, lines] : cases) {
    sim::BootLoaderConfig config;
    config.ready_form = form;
    config.ready_values = {7, 200, 15};
    Rig rig(config);
    if (*fault) rig.AddFault(fault);
    FindDevice({*rig.bus, rig.session.shown.trace, {}, std::nullopt}, rig.session.connection.link,
               rig.session.connection.DeviceFound);
    const auto& traced = rig.trace.lines;
    ASSERT_EQ(traced.size(), form == 0xAE ? 66u : lines.size()) << int{form};
    EXPECT_TRUE(std::equal(lines.begin(), lines.end(), traced.begin())) << int{form} << fault;
  }
}

}  // namespace
}  // namespace fwup::test
