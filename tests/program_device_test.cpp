// ProgramDevice and the whole "Load Image" run against the simulated boot loader: the wire held
// to the byte, every failure box with nothing sent after it, and the three verdicts.
#include "upgrade/program_device.hpp"

#include <gtest/gtest.h>

#include "sim/wire_log.hpp"
#include "support/test_support.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/load_firmware_image.hpp"
#include "upgrade/query_device_info.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

using sim::Direction;

sim::BootLoaderConfig Region(std::uint32_t start, std::uint32_t size) {
  sim::BootLoaderConfig config = RegionConfig(start, size);
  config.ready_values = {0x11, 0x22, 0x33};
  return config;
}

// A connected session with a firmware file chosen.
struct UpgradeRig : Rig {
  UpgradeRig(sim::BootLoaderConfig config, const std::string& records) : Rig(config), file(kSignature + records) {
    session.firmware.ImagePath = file.Path();
  }
  // Start-up, then "Load Image": 0 when the run got to the reset, 1627 when a stage failed.
  std::uint32_t Run() {
    Connect(session);
    RunUpgrade(session);
    return session.outcome.step == RunStep::Done ? kStageSuccess : kErrorFunctionFailed;
  }
  TempFile file;
};

BootReport InfoAnswer(std::uint32_t start, std::uint32_t size) {
  BootReport answer = Report(0x02);
  for (int i = 0; i < 4; ++i) {
    answer[5 + i] = static_cast<std::uint8_t>(start >> (8 * i));
    answer[9 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  }
  return answer;
}

// Start-up and the device info query, as the default simulated device answers them.
sim::WireLog Opening(std::uint32_t start, std::uint32_t size) {
  return {{Direction::ToDevice, Report(0xA2)},
          {Direction::FromDevice, Report(0xAD, {0x11, 0x22, 0x33})},
          {Direction::ToDevice, Report(0xAD)},
          {Direction::FromDevice, Report(0xAD, {0, '2', '.', '4', '.', '1'})},
          {Direction::ToDevice, Report(0xAE)},
          {Direction::FromDevice, Report(0xAE, {0, '1', '.', '0', '.', '7'})},
          {Direction::ToDevice, Report(0x02)},
          {Direction::FromDevice, InfoAnswer(start, size)},
          {Direction::ToDevice, Report(0x04)},
          {Direction::ToDevice, Report(0x02)},
          {Direction::FromDevice, InfoAnswer(start, size)}};
}

// After the last packet: end, checksum, verdict, reset, each carrying what the one before left.
void AppendClosing(sim::WireLog& log, BootReport last, std::uint8_t checksum) {
  last[1] = 0x06;
  log.push_back({Direction::ToDevice, last});
  last[1] = 0x09;
  last[2] = checksum;
  log.push_back({Direction::ToDevice, last});
  log.push_back({Direction::FromDevice, Report(0x09, {0xFF})});
  last[1] = 0x08;
  log.push_back({Direction::ToDevice, last});
}

void ExpectSameWire(const sim::WireLog& actual, const sim::WireLog& expected) {
  for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    ASSERT_EQ(sim::FormatWireEntry(actual[i]), sim::FormatWireEntry(expected[i])) << "report " << i;
  }
  EXPECT_EQ(actual.size(), expected.size());
}

std::uint8_t Xor(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t sum = 0;
  for (const std::uint8_t byte : bytes) sum ^= byte;
  return sum;
}

TEST(WireTranscript, Region59Bytes) {
  const std::vector<std::uint8_t> data = RandomBytes(55, 59);  // 4151 to 4154 stay 0xFF
  UpgradeRig rig(Region(4096, 59),
                 HexRecord(0, 4095, {0x00}) + HexData(4096, data) + HexRecord(0, 4155, {0x00}) + kEndRecord);
  ASSERT_EQ(rig.Run(), 0u);
  std::vector<std::uint8_t> region = data;
  region.resize(59, 0xFF);

  sim::WireLog expected = Opening(4096, 59);
  BootReport full = Report(0x05, {0x00, 0x10, 0x00, 0x00, 0x3A});
  std::copy(region.begin(), region.begin() + 58, full.begin() + 7);
  const BootReport last = Report(0x05, {0x3A, 0x10, 0x00, 0x00, 0x01, 0xFF});
  expected.push_back({Direction::ToDevice, full});
  expected.push_back({Direction::ToDevice, last});
  AppendClosing(expected, last, Xor(region));
  ExpectSameWire(rig.Log(), expected);
  EXPECT_TRUE(rig.trace.Has("Image CRC value = " + std::to_string(Xor(region)) + "\r\n"));
  const ImageBuffer memory = rig.Device().Memory();
  EXPECT_TRUE(std::equal(region.begin(), region.end(), memory.begin() + 4096));
}

TEST(WireTranscript, Region57344Bytes) {
  ImageBuffer image;
  image.fill(0xFF);
  const std::vector<std::uint8_t> head = RandomBytes(3000, 1), tail = RandomBytes(16, 2);
  std::copy(head.begin(), head.end(), image.begin() + 0x1000);
  std::copy(tail.begin(), tail.end(), image.begin() + 0xEFF0);
  UpgradeRig rig(Region(0x1000, 0xE000),
                 HexData(0x1000, head) + HexData(0xEFF0, tail) + HexRecord(0, 0xF000, {0x00}) + kEndRecord);
  ASSERT_EQ(rig.Run(), 0u);

  sim::WireLog expected = Opening(0x1000, 0xE000);
  BootReport packet{};
  std::uint8_t checksum = 0;
  for (std::uint32_t address = 0x1000; address < 0xF000; address += 58) {
    const std::uint32_t n = std::min<std::uint32_t>(58, 0xF000 - address);
    packet = Report(0x05, {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8), 0, 0,
                           static_cast<std::uint8_t>(n)});
    for (std::uint32_t i = 0; i < n; ++i) {
      packet[7 + i] = image[address + i];
      checksum ^= image[address + i];
    }
    expected.push_back({Direction::ToDevice, packet});
  }
  ASSERT_EQ(expected.size(), 11u + 989u);  // 57,344 = 988 x 58 + 40
  EXPECT_EQ(packet[6], 40);
  AppendClosing(expected, packet, checksum);
  ExpectSameWire(rig.Log(), expected);
  EXPECT_EQ(rig.session.outcome.verdict, Verdict::Match);
}

class RegionSize : public testing::TestWithParam<std::uint32_t> {};

TEST_P(RegionSize, IsCutIntoPacketsOf58WithNoEmptyOne) {
  const std::uint32_t size = GetParam();
  UpgradeRig rig(Region(0x2000, size), HexData(0x2000, RandomBytes(size, size)) + kEndRecord);
  ASSERT_EQ(rig.Run(), 0u);
  std::vector<int> counts;
  std::vector<std::uint32_t> addresses;
  const sim::WireLog log = rig.Log();
  for (const auto& entry : log) {
    if (entry.direction == Direction::ToDevice && entry.report[1] == 0x05) {
      counts.push_back(entry.report[6]);
      addresses.push_back(ReadU32(entry.report, 2));
    }
  }
  std::vector<int> expected(size / 58, 58);
  if (size % 58) expected.push_back(static_cast<int>(size % 58));
  EXPECT_EQ(counts, expected);
  for (std::size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(addresses[i], 0x2000 + 58 * i);
  // Programming ends right after the last packet, or right after the device active check.
  ASSERT_GT(log.size(), 12 + counts.size());
  EXPECT_EQ(log[11 + counts.size()].report[1], 0x06);
  if (size == 0) {
    EXPECT_TRUE(rig.trace.Has("Image CRC value = 0\r\n"));
    EXPECT_EQ(log[12].report, Report(0x09));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RegionSize, testing::Values(0u, 1u, 58u, 116u, 117u));

TEST(ProgramDevice, ChecksumIsTheXorOfTheRegion) {
  UpgradeRig rig(Region(4096, 3), HexRecord(0, 4096, {0x01, 0x02, 0x04}) + kEndRecord);
  ASSERT_EQ(rig.Run(), 0u);
  EXPECT_TRUE(rig.trace.Has("Image CRC value = 7\r\n"));
}

struct StageFailure {
  const char* name;
  const char* fault;
  Box box;
  RunStep step;
  Direction last_direction;  // of the last report on the wire
  int last_code;
  std::size_t packets;  // that reached the device
  std::vector<int> progress;
  const char* status;
};

class FailedStage : public testing::TestWithParam<StageFailure> {};

TEST_P(FailedStage, ShowsItsBoxAndSendsNothingMore) {
  const StageFailure& c = GetParam();
  UpgradeRig rig(Region(4096, 200), HexData(4096, RandomBytes(200, 4)) + kEndRecord);
  rig.AddFault(c.fault);
  EXPECT_EQ(rig.Run(), kFailed);
  ASSERT_FALSE(rig.view.boxes.empty());
  EXPECT_EQ(rig.view.boxes.back(), c.box);
  EXPECT_EQ(rig.view.boxes.size(), c.step == RunStep::Reset ? 2u : 1u);  // E8 comes after the verdict box
  EXPECT_EQ(rig.session.outcome.step, c.step);
  const sim::WireLog log = rig.Log();
  EXPECT_EQ(log.back().direction, c.last_direction);
  EXPECT_EQ(log.back().report[1], c.last_code);
  const sim::BootLoaderCounters counters = rig.Device().Counters();
  EXPECT_EQ(counters.packets, c.packets);
  EXPECT_EQ(counters.resets, 0u);
  EXPECT_EQ(rig.view.progress, c.progress);
  EXPECT_EQ(rig.view.status.back(), c.status);
  // Only E2 and E3 leave a trace line of their own: the text of their box.
  const bool own_line = c.step == RunStep::ActiveCheck;
  EXPECT_EQ(rig.trace.lines.back() == c.box.text, own_line);
}

const std::vector<int> kToErase = {10, 20, 50}, kToProgram = {10, 20, 50, 60}, kToEnd = {10, 20, 50, 60, 90};

INSTANTIATE_TEST_SUITE_P(
    Boxes, FailedStage,
    testing::Values(StageFailure{"E1", "fail-write@erase", FailureBox("Device Erase Command Failed"), RunStep::Erase,
                                 Direction::FromDevice, 0x02, 0, kToErase, "Device Erase"},
                    StageFailure{"E2", "fail-write@info#2", FailureBox("Checking Device Active Command Failed \r\n"),
                                 RunStep::ActiveCheck, Direction::ToDevice, 0x04, 0, kToErase, "Device Erase"},
                    StageFailure{"E3", "fail-read@info#2", FailureBox("Checking Device Active Read Failed \r\n"),
                                 RunStep::ActiveCheck, Direction::ToDevice, 0x02, 0, kToErase, "Device Erase"},
                    StageFailure{"E3NoAnswer", "no-answer@info#2",
                                 FailureBox("Checking Device Active Read Failed \r\n"), RunStep::ActiveCheck,
                                 Direction::ToDevice, 0x02, 0, kToErase, "Device Erase"},
                    StageFailure{"E4", "fail-write@program#3", FailureBox("Program Write Failed"),
                                 RunStep::ProgramWrite, Direction::ToDevice, 0x05, 2, kToProgram, "Device Program"},
                    StageFailure{"E5", "fail-write@end", FailureBox("Program Write Failed", BoxOwner::None),
                                 RunStep::ProgramEnd, Direction::ToDevice, 0x05, 4, kToEnd, "Device Program"},
                    StageFailure{"E6", "fail-write@crc", FailureBox("CRC Send Failed", BoxOwner::None),
                                 RunStep::CrcSend, Direction::ToDevice, 0x06, 4, kToEnd, "Device Program"},
                    StageFailure{"E7", "fail-read@crc", FailureBox("CRC Response Failed", BoxOwner::None),
                                 RunStep::CrcResponse, Direction::ToDevice, 0x09, 4, kToEnd, "Device Program"},
                    StageFailure{"E7NoAnswer", "no-answer@crc", FailureBox("CRC Response Failed", BoxOwner::None),
                                 RunStep::CrcResponse, Direction::ToDevice, 0x09, 4, kToEnd, "Device Program"},
                    StageFailure{"E8",
                                 "fail-write@reset",
                                 FailureBox("Reset Command Failed", BoxOwner::None),
                                 RunStep::Reset,
                                 Direction::FromDevice,
                                 0x09,
                                 4,
                                 {10, 20, 50, 60, 90, 100},
                                 "CRC Matched"}),
    ByName());

const Box kV1 = VerdictBox("Firmware download Success\r\nPress OK to Reboot!", BoxOwner::Dialog);
const Box kV2 = VerdictBox("Firmware download Failed\r\nPress OK to Re-enter Firmware Upgrade", BoxOwner::Dialog);
const Box kV3 =
    VerdictBox("Firmware download Not Confirmed\r\nThe device did not confirm the firmware.\r\nPress OK to Reboot!",
               BoxOwner::None);

struct VerdictCase {
  const char* name;
  const char* fault;  // empty: none
  Box box;
  const char* status;      // the last one shown
  const char* trace_line;  // after the answer dump; empty: none
};

class VerdictOf : public testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictOf, IsShownAndTheResetFollows) {
  const VerdictCase& c = GetParam();
  UpgradeRig rig(Region(4096, 200), HexData(4096, RandomBytes(200, 4)) + kEndRecord);
  if (*c.fault) rig.AddFault(c.fault);
  EXPECT_EQ(rig.Run(), 0u);
  EXPECT_EQ(rig.view.boxes, std::vector<Box>{c.box});
  const bool verdict = *c.trace_line != 0;
  EXPECT_EQ(rig.view.progress, (verdict ? std::vector<int>{10, 20, 50, 60, 90, 100} : kToEnd));
  std::vector<std::string> status = {"Device Connected and Firmware Upgrade Mode", "Valid Firmware Signature",
                                     "Device Erase", "Device Program"};
  if (verdict) status.push_back(c.status);
  EXPECT_EQ(rig.view.status, status);
  EXPECT_EQ(rig.view.out, std::vector<std::string>{"Computing CRC. Please wait...\r\n"});
  EXPECT_EQ(rig.Log().back().report[1], 0x08);
  EXPECT_EQ(rig.session.outcome.step, RunStep::Done);
  // The answer dump comes last but for the verdict's own line.
  const auto& lines = rig.trace.lines;
  ASSERT_GE(lines.size(), 68u);
  const std::size_t dump_end = lines.size() - (verdict ? 1 : 0);
  EXPECT_EQ(lines[dump_end - 67], "Program Running Successfully\r\n");
  EXPECT_EQ(lines[dump_end - 66], "Image CRC value = " + std::to_string(Xor(RandomBytes(200, 4))) + "\r\n");
  EXPECT_EQ(lines[dump_end - 65], "Rawdata[0] = 0x0\r\n");
  EXPECT_EQ(lines[dump_end - 1], "Rawdata[64] = 0x0\r\n");
  if (verdict) {
    EXPECT_EQ(lines.back(), c.trace_line);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, VerdictOf,
    testing::Values(VerdictCase{"Match", "", kV1, "CRC Matched", "CRC Matches\r\n"},
                    VerdictCase{"Mismatch", "verdict:55", kV2, "CRC Not Matched", "CRC Not Matched\r\n"},
                    // FALSE with error 0 counts as sent; the device kept its old flash and says so.
                    VerdictCase{"EraseNeverArrived", "fail-write@erase:0", kV2, "CRC Not Matched",
                                "CRC Not Matched\r\n"},
                    VerdictCase{"VerdictByte00", "verdict:00", kV3, "", ""},
                    VerdictCase{"VerdictByteAA", "verdict:AA", kV3, "", ""},
                    VerdictCase{"OtherAnswerCode", "wrong-code@crc:0A", kV3, "", ""},
                    // FALSE with error 0 counts as read: the buffer still holds the active check's answer.
                    VerdictCase{"ReadFalseZero", "fail-read@crc:0", kV3, "", ""}),
    ByName());

// A device may take no report while it erases: the request after the erase and its answer
// both get the erase's bound.
TEST(ProgramDevice, OnlyTheCheckAfterTheEraseGetsTheLongBound) {
  UpgradeRig rig(Region(4096, 100), kEndRecord);
  rig.session.settings.bounds = {std::chrono::milliseconds(7), std::chrono::milliseconds(4321),
                                 std::chrono::milliseconds(9)};
  ASSERT_EQ(rig.Run(), 0u);
  std::vector<long> bounds;
  for (const auto bound : rig.Device().ReadBounds())
    if (bound.count() != 0) bounds.push_back(static_cast<long>(bound.count()));  // drains of an empty queue
  // ready, app version, boot version, device info, the check after the erase, checksum
  EXPECT_EQ(bounds, (std::vector<long>{7, 7, 7, 7, 4321, 7}));
  std::vector<long> writes;
  for (const auto bound : rig.Device().WriteBounds()) writes.push_back(static_cast<long>(bound.count()));
  // ready, app version, boot version, device info, erase, the check, 2 packets, end, checksum, reset
  EXPECT_EQ(writes, (std::vector<long>{9, 9, 9, 9, 9, 4321, 9, 9, 9, 9, 9}));
}

// A stop asked for between two requests: nothing more is sent, the reset least of all, and the
// outcome says whether the erase had gone out.
TEST(ProgramDevice, StopsBeforeTheNextRequestAndNeverResets) {
  struct Case {
    int allowed_checks;  // stop requests answered "no" before the first "yes"
    bool erased;
    std::uint32_t packets;
  };
  for (const Case& c : {Case{0, false, 0}, Case{1, true, 0}, Case{3, true, 1}, Case{5, true, 2}, Case{6, true, 2}}) {
    UpgradeRig rig(Region(4096, 100), kEndRecord);
    int checks = 0;
    rig.session.settings.stop_requested = [&checks, &c] { return checks++ >= c.allowed_checks; };
    Connect(rig.session);
    ASSERT_EQ(QueryInfo(rig.session), 0u);
    ASSERT_EQ(LoadFirmwareImage(rig.session.firmware, rig.session.shown), 0u);
    const std::size_t before = rig.Log().size();
    EXPECT_EQ(Program(rig.session), kFailed) << c.allowed_checks;
    EXPECT_EQ(rig.session.outcome.step, RunStep::Interrupted);
    EXPECT_EQ(rig.session.outcome.erase_sent, c.erased);
    EXPECT_EQ(rig.session.outcome.packets_sent, c.packets);
    EXPECT_EQ(rig.Device().Counters().erases, c.erased ? 1u : 0u);
    const bool verdict_given = c.allowed_checks >= 6;  // the stop came after the checksum's answer
    EXPECT_EQ(rig.session.outcome.verdict, verdict_given ? Verdict::Match : Verdict::None);
    EXPECT_EQ(rig.view.boxes.size(), verdict_given ? 1u : 0u);  // the verdict's, and no failure box
    for (std::size_t i = before; i < rig.Log().size(); ++i) {
      EXPECT_NE(rig.Log()[i].report[1], 0x08) << "a reset went out";
      EXPECT_TRUE(verdict_given || rig.Log()[i].report[1] != 0x09);
    }
  }
}

TEST(ProgramDevice, LateAnswerIsDrainedBeforeTheNextRequest) {
  UpgradeRig rig(Region(4096, 100), kEndRecord);
  rig.AddFault("late-answer@boot-version");  // would be taken for the device info answer
  ASSERT_EQ(rig.Run(), 0u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareStartAddress, 4096u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 100u);
  EXPECT_EQ(rig.session.outcome.verdict, Verdict::Match);
}

TEST(ProgramDevice, GuardsItsOwnReadsOfTheImage) {
  UpgradeRig rig(Region(4096, 100), kEndRecord);
  Connect(rig.session);
  rig.session.DeviceInfo = {65000, 600, 58};  // the device info query would have refused it
  EXPECT_EQ(Program(rig.session), kFailed);
  ASSERT_EQ(rig.view.boxes.size(), 1u);
  EXPECT_EQ(rig.view.boxes[0].caption, "Firmware Upgrade");
  EXPECT_EQ(rig.Log().size(), 6u);          // nothing after start-up
  rig.session.DeviceInfo = {4096, 100, 0};  // a packet size of 0 would never end the loop
  EXPECT_EQ(Program(rig.session), 0u);
  EXPECT_EQ(rig.Device().Counters().packets, 2u);
}

TEST(RunUpgrade, ClosesFileAndHandlesWhateverTheOutcome) {
  for (const std::string& records : {kEndRecord, std::string()}) {
    UpgradeRig rig(Region(4096, 100), records);
    Connect(rig.session);
    RunUpgrade(rig.session);
    EXPECT_FALSE(rig.session.firmware.FirmwareFile.IsOpen());
    EXPECT_FALSE(rig.session.connection.link.WriteHandleOpen());
    EXPECT_FALSE(rig.session.connection.link.ReadHandleOpen());
    EXPECT_EQ(rig.session.outcome.step, records.empty() ? RunStep::LoadImage : RunStep::Done);
    EXPECT_EQ(rig.Device().Counters().erases, records.empty() ? 0u : 1u);
  }
}

}  // namespace
}  // namespace fwup::test
