// The whole "Load Image" run against the simulated boot loader: the wire held to the byte, every
// fault the simulator has at every transfer, the stop between requests, and the bounds of each
// wait. The expected outcome of each fault is worked out from the tool's rules, not from the code.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/fault.hpp"
#include "sim/wire_log.hpp"
#include "support/test_support.hpp"
#include "upgrade/load_firmware_image.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

using sim::Direction;
using sim::FaultKind;
using test::PrintTo;

// A session whose device has this region, with a firmware file chosen.
struct UpgradeRig : Rig {
  UpgradeRig(std::uint32_t start, std::uint32_t size, const std::string& records)
      : Rig(RegionConfig(start, size)), file(kSignature + records) {
    session.firmware.ImagePath = file.Path();
  }
  void Run() {  // start-up as the dialog does it, then "Load Image"
    Connect(session);
    RunUpgrade(session);
  }
  TempFile file;
};

// Packets of 58 bytes and no empty one, each at its address; then end, checksum and reset, each
// carrying the bytes of the request before it. Bytes of the file outside the region are not sent.
TEST(WireTranscript, IsTheRegionInPacketsThenTheVerdict) {
  for (const auto& [start, size] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
           {4096, 0}, {4096, 1}, {4096, 58}, {4096, 59}, {0x2000, 116}, {0x2000, 117}, {0x1000, 0xE000}}) {
    std::vector<std::uint8_t> region = RandomBytes(size - size / 8, size);
    const std::string records = HexData(static_cast<std::uint16_t>(start), region) +
                                HexRecord(0, static_cast<std::uint16_t>(start - 1), {0x00}) +
                                HexRecord(0, static_cast<std::uint16_t>(start + size), {0x00}) + kEndRecord;
    region.resize(size, 0xFF);
    UpgradeRig rig(start, size, records);
    rig.Run();

    const BootReport info =
        Report(0x02, {0, 0, 0, static_cast<std::uint8_t>(start), static_cast<std::uint8_t>(start >> 8), 0, 0,
                      static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8)});
    const Direction to = Direction::ToDevice, from = Direction::FromDevice;
    sim::WireLog expected = {{to, Report(0xA2)}, {from, Report(0xAD)},
                             {to, Report(0xAD)}, {from, Report(0xAD, {0, '2', '.', '4', '.', '1'})},
                             {to, Report(0xAE)}, {from, Report(0xAE, {0, '1', '.', '0', '.', '7'})},
                             {to, Report(0x02)}, {from, info},
                             {to, Report(0x04)}, {to, Report(0x02)},
                             {from, info}};
    BootReport last = Report(0x02);
    std::uint8_t checksum = 0;
    for (std::uint32_t at = 0; at < size; at += 58) {
      const std::uint32_t address = start + at, n = std::min<std::uint32_t>(58, size - at);
      last = Report(0x05, {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8), 0, 0,
                           static_cast<std::uint8_t>(n)});
      for (std::uint32_t i = 0; i < n; ++i) checksum ^= last[7 + i] = region[at + i];
      expected.push_back({to, last});
    }
    for (const int code : {0x06, 0x09, 0x08}) {
      last[1] = static_cast<std::uint8_t>(code);
      if (code == 0x09) last[2] = checksum;
      expected.push_back({to, last});
      if (code == 0x09) expected.push_back({from, Report(0x09, {0xFF})});
    }
    const sim::WireLog actual = rig.Log();
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
      ASSERT_EQ(sim::FormatWireEntry(actual[i]), sim::FormatWireEntry(expected[i])) << size << ": report " << i;
    }
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(rig.trace.Has("Image CRC value = " + std::to_string(checksum) + "\r\n"));
    EXPECT_TRUE(std::equal(region.begin(), region.end(), rig.Device().Memory().begin() + start));
    EXPECT_EQ(rig.session.outcome.verdict, Verdict::Match);
  }
}

// ---- Every fault at every transfer ------------------------------------------------------------

constexpr std::uint32_t kStart = 4096;
constexpr std::uint32_t kSize = 150;  // three packets: 58, 58, 34

// A step that ends the run with a failure box, and what the user saw up to it: how many of a
// clean run's status texts and progress positions, and whether the box's text was traced too.
struct FailedStep {
  const char* box;
  BoxOwner owner;
  RunStep step;
  std::size_t status;
  std::size_t progress;
  bool traced;
};

const FailedStep kInfoFails{"Query Device Info Failed\r\n", BoxOwner::Dialog, RunStep::DeviceInfo, 1, 0, true};
const FailedStep kEraseFails{"Device Erase Command Failed", BoxOwner::Dialog, RunStep::Erase, 3, 3, false};
const FailedStep kCheckSendFails{
    "Checking Device Active Command Failed \r\n", BoxOwner::Dialog, RunStep::ActiveCheck, 3, 3, true};
const FailedStep kCheckReadFails{
    "Checking Device Active Read Failed \r\n", BoxOwner::Dialog, RunStep::ActiveCheck, 3, 3, true};
const FailedStep kPacketFails{"Program Write Failed", BoxOwner::Dialog, RunStep::ProgramWrite, 4, 4, false};
const FailedStep kEndFails{"Program Write Failed", BoxOwner::None, RunStep::ProgramEnd, 4, 5, false};
const FailedStep kCrcSendFails{"CRC Send Failed", BoxOwner::None, RunStep::CrcSend, 4, 5, false};
const FailedStep kCrcReadFails{"CRC Response Failed", BoxOwner::None, RunStep::CrcResponse, 4, 5, false};
const FailedStep kResetFails{"Reset Command Failed", BoxOwner::None, RunStep::Reset, 5, 6, false};

struct Expected {
  Verdict verdict = Verdict::Match;    // when the run gets to the reset
  const FailedStep* failed = nullptr;  // the step whose box ends the run
  bool version_query_failed = false;   // the status said so at start-up
};

struct Cell {
  std::size_t transfer;  // index into the clean run's wire log, from 0
  Direction direction;
  std::uint8_t command;  // of the request the transfer belongs to
  unsigned occurrence;   // of that command in the run, from 1
  sim::Fault fault;
  std::string name;
};

// What the tool's rules call for when `fault` hits this transfer.
Expected Expect(const Cell& cell) {
  const FaultKind kind = cell.fault.kind;
  const bool write = cell.direction == Direction::ToDevice;
  const bool gone = kind == FaultKind::Disconnect;
  // The call failed with a code: every transfer rule sees a failure.
  const bool failed = (kind == FaultKind::FailWrite || kind == FaultKind::FailRead) && cell.fault.error != 0;
  // FALSE with last error 0: a failure only under the result test of the version queries.
  const bool false_zero = (kind == FaultKind::FailWrite || kind == FaultKind::FailRead) && cell.fault.error == 0;
  // No answer in time: the request got lost on its way, or the device kept silent or was late
  // (a late answer is drained before the next request).
  const bool no_answer = kind == FaultKind::NoAnswer || kind == FaultKind::LateAnswer || (write && false_zero);
  const bool wrong_code = kind == FaultKind::WrongAnswerCode;

  switch (static_cast<Command>(cell.command)) {
    case Command::CMD_APP_READY:
      if (gone) return {Verdict::None, &kInfoFails, true};
      return {};  // the greeting's outcome decides nothing
    case Command::CMD_QUERY_APP_VERSION:
    case Command::CMD_QUERY_BOOT_VERSION:
      if (gone) return {Verdict::None, &kInfoFails, true};
      if (failed || false_zero || no_answer) return {Verdict::Match, nullptr, true};
      return {};  // a wrong code is passed over without a word
    case Command::CMD_QUERY_DEVICE_INFO:
      if (cell.occurrence == 1) {
        if (wrong_code) return {};            // the code is not examined
        return {Verdict::None, &kInfoFails};  // a read that returned FALSE never counts as an answer here
      }
      if (write && (failed || gone)) return {Verdict::None, &kCheckSendFails};
      if (!write && (false_zero || wrong_code)) return {};  // not examined
      return {Verdict::None, &kCheckReadFails};
    case Command::CMD_DEVICE_ERASE:
      if (failed || gone) return {Verdict::None, &kEraseFails};
      if (false_zero) return {Verdict::Mismatch};  // counted as sent; the old firmware was never erased
      return {};
    case Command::CMD_PROGRAM_WRITE:
      if (failed || gone) return {Verdict::None, &kPacketFails};
      if (false_zero) return {Verdict::Mismatch};  // a packet the device never got
      return {};
    case Command::CMD_PROGRAM_END:
      if (failed || gone) return {Verdict::None, &kEndFails};
      return {};
    case Command::CMD_CRC_CHECK:
      if (write && (failed || gone)) return {Verdict::None, &kCrcSendFails};
      if (no_answer || failed || gone) return {Verdict::None, &kCrcReadFails};
      if (kind == FaultKind::Verdict) {
        return {cell.fault.value == 0xFF   ? Verdict::Match
                : cell.fault.value == 0x55 ? Verdict::Mismatch
                                           : Verdict::NoVerdict};
      }
      // FALSE with error 0 counts as read: the buffer still holds the active check's answer.
      if (!write && (false_zero || wrong_code)) return {Verdict::NoVerdict};
      return {};
    case Command::CMD_RESET_DEVICE:
      if (failed || gone) return {Verdict::Match, &kResetFails};
      return {};
    default:
      return {};
  }
}

// The error of the transfer that failed, as the shells report it.
std::uint32_t FailedTransferError(const Cell& cell) {
  switch (cell.fault.kind) {
    case FaultKind::Disconnect:
      return kErrorDeviceNotConnected;
    case FaultKind::NoAnswer:
    case FaultKind::LateAnswer:
      return kErrorTimeout;
    default:
      // A write that returned FALSE with error 0 counts as sent, and its answer never comes.
      return cell.direction == Direction::ToDevice && cell.fault.error == 0 ? kErrorTimeout : cell.fault.error;
  }
}

const std::string& Firmware() {
  static const std::string records = HexData(kStart, RandomBytes(kSize, 7)) + kEndRecord;
  return records;
}

std::vector<Cell> AllCells() {
  UpgradeRig clean(kStart, kSize, Firmware());
  clean.Run();
  const sim::WireLog log = clean.Log();
  std::vector<Cell> cells;
  std::uint8_t command = 0;
  unsigned seen[256] = {};
  for (std::size_t i = 0; i < log.size(); ++i) {
    const bool write = log[i].direction == Direction::ToDevice;
    if (write) ++seen[command = log[i].report[1]];
    const auto at = static_cast<std::uint32_t>(i + 1);
    std::vector<std::pair<sim::Fault, std::string>> faults = {
        {{FaultKind::Disconnect, at, std::nullopt}, "disconnect"},
        {{FaultKind::NoAnswer, at, std::nullopt}, "no_answer"},
        {{write ? FaultKind::FailWrite : FaultKind::FailRead, at, std::nullopt, 1, kErrorGenFailure}, "fail_31"},
        {{write ? FaultKind::FailWrite : FaultKind::FailRead, at, std::nullopt, 1, 0}, "false_0"},
    };
    if (!write) {
      faults.push_back({{FaultKind::WrongAnswerCode, at, std::nullopt, 1, 0, 0x77}, "wrong_code"});
      faults.push_back({{FaultKind::LateAnswer, at, std::nullopt}, "late_answer"});
      if (command == CodeOf(Command::CMD_CRC_CHECK)) {
        for (const std::uint8_t value :
             {std::uint8_t{0x00}, std::uint8_t{0x55}, std::uint8_t{0xAA}, std::uint8_t{0xFF}}) {
          faults.push_back({{FaultKind::Verdict, 0, std::nullopt, 1, 0, value}, "verdict_" + std::to_string(value)});
        }
      }
    }
    const std::string where = std::to_string(i + 1) + (write ? "_write_" : "_read_") + std::to_string(command);
    for (auto& [fault, name] : faults) {
      cells.push_back({i, log[i].direction, command, seen[command], fault, where + "_" + name});
    }
  }
  return cells;
}

const Box kMatchBox = VerdictBox("Firmware download Success\r\nPress OK to Reboot!", BoxOwner::Dialog);
const Box kMismatchBox =
    VerdictBox("Firmware download Failed\r\nPress OK to Re-enter Firmware Upgrade", BoxOwner::Dialog);
const Box kNoVerdictBox =
    VerdictBox("Firmware download Not Confirmed\r\nThe device did not confirm the firmware.\r\nPress OK to Reboot!",
               BoxOwner::None);

class FaultMatrix : public testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, EndsWhereTheRulesSay) {
  const Cell& cell = GetParam();
  const Expected expected = Expect(cell);
  const FailedStep* failed = expected.failed;

  UpgradeRig clean(kStart, kSize, Firmware());
  clean.Run();
  const std::vector<BootReport> clean_requests = Requests(clean.Log());
  UpgradeRig run(kStart, kSize, Firmware());
  run.Device().AddFault(cell.fault);
  run.Run();
  const std::vector<BootReport> sent = Requests(run.Log());
  const RecordingView& view = run.view;

  std::vector<std::string> status = view.status;
  const auto version_failed = std::remove(status.begin(), status.end(), "Version Query Failed");
  EXPECT_EQ(version_failed != status.end(), expected.version_query_failed);
  status.erase(version_failed, status.end());

  if (failed == nullptr || failed == &kResetFails) {
    EXPECT_EQ(run.session.outcome.verdict, expected.verdict);
    EXPECT_EQ(view.out, std::vector<std::string>{"Computing CRC. Please wait...\r\n"});
    const Box& verdict_box = expected.verdict == Verdict::Match      ? kMatchBox
                             : expected.verdict == Verdict::Mismatch ? kMismatchBox
                                                                     : kNoVerdictBox;
    ASSERT_FALSE(view.boxes.empty());
    EXPECT_EQ(view.boxes[0], verdict_box);
  }
  if (failed == nullptr) {
    EXPECT_EQ(run.session.outcome.step, RunStep::Done);
    EXPECT_EQ(view.boxes.size(), 1u);  // the verdict's, and no failure box
    // The run went on to the reset; only a reset write that returned FALSE with code 0 went
    // nowhere while counting as sent.
    const bool reset_lost = cell.command == CodeOf(Command::CMD_RESET_DEVICE) &&
                            cell.fault.kind == FaultKind::FailWrite && cell.fault.error == 0;
    EXPECT_EQ(sent.back()[1], CodeOf(reset_lost ? Command::CMD_CRC_CHECK : Command::CMD_RESET_DEVICE));
    // Success is shown for the match verdict and for nothing else.
    std::vector<std::string> shown(clean.view.status.begin(), clean.view.status.begin() + 4);
    if (expected.verdict != Verdict::NoVerdict) {
      shown.push_back(expected.verdict == Verdict::Match ? "CRC Matched" : "CRC Not Matched");
    }
    EXPECT_EQ(status, shown);
    std::vector<int> progress = clean.view.progress;
    if (expected.verdict == Verdict::NoVerdict) progress.pop_back();
    EXPECT_EQ(view.progress, progress);
    // The answer dump comes last but for the verdict's own line.
    const auto& lines = run.trace.lines;
    ASSERT_GE(lines.size(), 68u);
    const std::size_t dump_end = lines.size() - (expected.verdict == Verdict::NoVerdict ? 0 : 1);
    EXPECT_EQ(lines[dump_end - 67], "Program Running Successfully\r\n");
    EXPECT_EQ(lines[dump_end - 66], clean.trace.lines[clean.trace.lines.size() - 67]);  // the image's checksum
    EXPECT_EQ(lines[dump_end - 65], "Rawdata[0] = 0x0\r\n");
    EXPECT_TRUE(lines[dump_end - 1].starts_with("Rawdata[64] = "));
    if (expected.verdict != Verdict::NoVerdict) {
      EXPECT_EQ(lines.back(), expected.verdict == Verdict::Match ? "CRC Matches\r\n" : "CRC Not Matched\r\n");
    }
  } else {
    ASSERT_FALSE(view.boxes.empty());
    EXPECT_EQ(view.boxes.back(), FailureBox(failed->box, failed->owner));
    EXPECT_EQ(view.boxes.size(), failed == &kResetFails ? 2u : 1u);  // after the verdict's box
    EXPECT_EQ(run.session.outcome.step, failed->step);
    EXPECT_EQ(run.session.outcome.failed_transfer.last_error, FailedTransferError(cell));
    EXPECT_EQ(status,
              std::vector<std::string>(clean.view.status.begin(),
                                       clean.view.status.begin() + static_cast<std::ptrdiff_t>(failed->status)));
    EXPECT_EQ(view.progress,
              std::vector<int>(clean.view.progress.begin(),
                               clean.view.progress.begin() + static_cast<std::ptrdiff_t>(failed->progress)));
    EXPECT_EQ(run.trace.lines.back() == failed->box, failed->traced);
    // Nothing after the failed step: the requests sent are the clean run's up to that step,
    // with the failed one itself only if it reached the device.
    std::size_t requests_before = 0;
    for (std::size_t i = 0; i < cell.transfer; ++i) requests_before += clean.Log()[i].direction == Direction::ToDevice;
    const bool reached = cell.direction == Direction::FromDevice ||
                         !(cell.fault.kind == FaultKind::FailWrite || cell.fault.kind == FaultKind::Disconnect);
    const std::size_t count = requests_before + (cell.direction == Direction::ToDevice && reached ? 1 : 0);
    EXPECT_EQ(
        std::vector<BootReport>(clean_requests.begin(), clean_requests.begin() + static_cast<std::ptrdiff_t>(count)),
        sent);
  }
  // The erase goes out only after the file was loaded and the region accepted.
  const bool erased = std::any_of(sent.begin(), sent.end(),
                                  [](const BootReport& r) { return r[1] == CodeOf(Command::CMD_DEVICE_ERASE); });
  if (erased) {
    EXPECT_EQ(run.session.firmware.load_report.outcome, LoadOutcome::Loaded);
    EXPECT_EQ(run.session.DeviceInfo.ApplicationFirmwareSize, kSize);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTransfer, FaultMatrix, testing::ValuesIn(AllCells()), ByName());

// ---- Around the transfers ---------------------------------------------------------------------

// A refused file erases nothing; whatever the outcome, the file and both handles are closed.
TEST(RunUpgrade, ErasesOnlyForAnAcceptedFileAndClosesEverything) {
  for (const std::string& records :
       {kEndRecord, std::string(), HexData(kStart, {1, 2, 3}), ":0310000001020399\r\n" + kEndRecord,
        "\r\n" + HexData(kStart, {1, 2, 3}) + kEndRecord}) {
    UpgradeRig rig(kStart, 100, records);
    rig.Run();
    const bool accepted = records == kEndRecord;
    EXPECT_EQ(rig.session.outcome.step, accepted ? RunStep::Done : RunStep::LoadImage) << records;
    EXPECT_EQ(rig.Device().Counters().erases, accepted ? 1u : 0u);
    EXPECT_FALSE(rig.session.firmware.FirmwareFile.IsOpen());
    EXPECT_FALSE(rig.session.connection.link.WriteHandleOpen());
    EXPECT_FALSE(rig.session.connection.link.ReadHandleOpen());
  }
}

// A device may take no report while it erases: the request after the erase and its answer
// both get the erase's bound.
TEST(ProgramDevice, OnlyTheCheckAfterTheEraseGetsTheLongBound) {
  UpgradeRig rig(4096, 100, kEndRecord);
  rig.session.settings.bounds = {std::chrono::milliseconds(7), std::chrono::milliseconds(4321),
                                 std::chrono::milliseconds(9)};
  rig.Run();
  ASSERT_EQ(rig.session.outcome.step, RunStep::Done);
  std::vector<long> reads, writes;
  for (const auto bound : rig.Device().ReadBounds())
    if (bound.count() != 0) reads.push_back(static_cast<long>(bound.count()));  // not the drains of an empty queue
  for (const auto bound : rig.Device().WriteBounds()) writes.push_back(static_cast<long>(bound.count()));
  // ready, app version, boot version, device info, the check after the erase, checksum
  EXPECT_EQ(reads, (std::vector<long>{7, 7, 7, 7, 4321, 7}));
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
    UpgradeRig rig(4096, 100, kEndRecord);
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

TEST(ProgramDevice, GuardsItsOwnReadsOfTheImage) {
  UpgradeRig rig(4096, 100, kEndRecord);
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

}  // namespace
}  // namespace fwup::test
