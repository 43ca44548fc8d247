// Every transfer of a complete upgrade, each fault the simulator has: the tool must stop where its
// rules say, show the right box, send nothing after a failure, erase only after the file and the
// region were accepted, and never show a success text for a run that did not end in the match
// verdict. The expected outcome of each cell is worked out from those rules, not from the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/fault.hpp"
#include "support/test_support.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

using sim::Direction;
using sim::FaultKind;

constexpr std::uint32_t kStart = 4096;
constexpr std::uint32_t kSize = 150;  // three packets: 58, 58, 34

enum class Ends { Match, Mismatch, NoVerdict, Box };

struct Expected {
  Ends ends = Ends::Match;
  std::string box;  // the failure box, when the run ends in one
  BoxOwner owner = BoxOwner::Dialog;
  bool version_query_failed = false;  // the status said so at start-up
  bool match_before_box = false;      // the reset failed after the match verdict
};

struct Cell {
  std::size_t transfer;  // index into the clean run's wire log, from 0
  Direction direction;
  std::uint8_t command;  // of the request the transfer belongs to
  unsigned occurrence;   // of that command in the run, from 1
  sim::Fault fault;
  std::string name;
};

void PrintTo(const Cell& cell, std::ostream* out) { *out << cell.name; }

Expected BoxEnd(std::string text, BoxOwner owner = BoxOwner::Dialog) { return {Ends::Box, std::move(text), owner}; }

// What the tool's rules call for when `fault` hits this transfer.
Expected Expect(const Cell& cell) {
  const FaultKind kind = cell.fault.kind;
  const bool write = cell.direction == Direction::ToDevice;
  const bool gone = kind == FaultKind::Disconnect;
  // The call failed with a code: every transfer rule sees a failure.
  const bool failed = (kind == FaultKind::FailWrite || kind == FaultKind::FailRead) && cell.fault.error != 0;
  // FALSE with last error 0: a failure only under the result test of the version queries.
  const bool false_zero = (kind == FaultKind::FailWrite || kind == FaultKind::FailRead) && cell.fault.error == 0;
  // No answer comes: the request got lost on its way, or the device kept silent.
  const bool no_answer = kind == FaultKind::NoAnswer || (write && false_zero);

  const Expected info_fails = BoxEnd("Query Device Info Failed\r\n");
  switch (static_cast<Command>(cell.command)) {
    case Command::CMD_APP_READY:
      if (gone) return {Ends::Box, info_fails.box, BoxOwner::Dialog, true};
      return {};  // the greeting's outcome decides nothing
    case Command::CMD_QUERY_APP_VERSION:
    case Command::CMD_QUERY_BOOT_VERSION:
      if (gone) return {Ends::Box, info_fails.box, BoxOwner::Dialog, true};
      if (failed || false_zero || no_answer) return {Ends::Match, "", BoxOwner::Dialog, true};
      return {};  // a wrong code is passed over without a word
    case Command::CMD_QUERY_DEVICE_INFO:
      if (cell.occurrence == 1) {
        if (!write && kind == FaultKind::WrongAnswerCode) return {};  // the code is not examined
        return info_fails;  // a read that returned FALSE never counts as an answer here
      }
      if (write && (failed || gone)) return BoxEnd("Checking Device Active Command Failed \r\n");
      if (!write && (false_zero || kind == FaultKind::WrongAnswerCode)) return {};  // not examined
      return BoxEnd("Checking Device Active Read Failed \r\n");
    case Command::CMD_DEVICE_ERASE:
      if (failed || gone) return BoxEnd("Device Erase Command Failed");
      if (false_zero) return {Ends::Mismatch, ""};  // counted as sent; the old firmware was never erased
      return {};
    case Command::CMD_PROGRAM_WRITE:
      if (failed || gone) return BoxEnd("Program Write Failed");
      if (false_zero) return {Ends::Mismatch, ""};  // a packet the device never got
      return {};
    case Command::CMD_PROGRAM_END:
      if (failed || gone) return BoxEnd("Program Write Failed", BoxOwner::None);
      return {};
    case Command::CMD_CRC_CHECK:
      if (write && (failed || gone)) return BoxEnd("CRC Send Failed", BoxOwner::None);
      if (no_answer || failed || gone) return BoxEnd("CRC Response Failed", BoxOwner::None);
      if (!write && (false_zero || kind == FaultKind::WrongAnswerCode)) return {Ends::NoVerdict, ""};
      return {};
    case Command::CMD_RESET_DEVICE:
      if (failed || gone) {
        Expected expected = BoxEnd("Reset Command Failed", BoxOwner::None);
        expected.match_before_box = true;
        return expected;
      }
      return {};
    default:
      return {};
  }
}

const std::string& Firmware() {
  static const std::string text = kSignature + HexData(kStart, RandomBytes(kSize, 7)) + kEndRecord;
  return text;
}

sim::BootLoaderConfig Config() {
  sim::BootLoaderConfig config;
  config.region_start = kStart;
  config.region_size = kSize;
  return config;
}

// One whole run: start-up as the dialog does it, then "Load Image".
struct WholeRun : Rig {
  WholeRun() : Rig(Config()), file(Firmware()) { session.firmware.ImagePath = file.Path(); }
  void Go() {
    Connect(session);
    RunUpgrade(session);
  }
  TempFile file;
};

std::vector<BootReport> Requests(const sim::WireLog& log) {
  std::vector<BootReport> requests;
  for (const sim::WireEntry& entry : log) {
    if (entry.direction == Direction::ToDevice) requests.push_back(entry.report);
  }
  return requests;
}

std::vector<Cell> AllCells() {
  WholeRun clean;
  clean.Go();
  const sim::WireLog log = clean.Log();
  std::vector<Cell> cells;
  std::uint8_t command = 0;
  unsigned seen[256] = {};
  for (std::size_t i = 0; i < log.size(); ++i) {
    const bool write = log[i].direction == Direction::ToDevice;
    if (write) {
      command = log[i].report[1];
      ++seen[command];
    }
    const auto at = static_cast<std::uint32_t>(i + 1);
    const std::string where = std::to_string(i + 1) + (write ? "_write_" : "_read_") + std::to_string(command);
    std::vector<std::pair<sim::Fault, std::string>> faults = {
        {{FaultKind::Disconnect, at, std::nullopt}, "disconnect"},
        {{FaultKind::NoAnswer, at, std::nullopt}, "no_answer"},
    };
    if (write) {
      faults.push_back({{FaultKind::FailWrite, at, std::nullopt, 1, kErrorGenFailure}, "fail_31"});
      faults.push_back({{FaultKind::FailWrite, at, std::nullopt, 1, 0}, "false_0"});
    } else {
      faults.push_back({{FaultKind::FailRead, at, std::nullopt, 1, kErrorGenFailure}, "fail_31"});
      faults.push_back({{FaultKind::FailRead, at, std::nullopt, 1, 0}, "false_0"});
      faults.push_back({{FaultKind::WrongAnswerCode, at, std::nullopt, 1, 0, 0x77}, "wrong_code"});
    }
    for (auto& [fault, name] : faults) {
      cells.push_back({i, log[i].direction, command, seen[command], fault, where + "_" + name});
    }
  }
  return cells;
}

class FaultMatrix : public testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, EndsWhereTheRulesSay) {
  const Cell& cell = GetParam();
  const Expected expected = Expect(cell);

  WholeRun clean;
  clean.Go();
  const std::vector<BootReport> clean_requests = Requests(clean.Log());

  WholeRun run;
  run.Device().AddFault(cell.fault);
  run.Go();
  const std::vector<BootReport> sent = Requests(run.Log());
  const std::vector<Box>& boxes = run.view.boxes;

  const bool says_version_failed =
      std::count(run.view.status.begin(), run.view.status.end(), "Version Query Failed") > 0;
  EXPECT_EQ(says_version_failed, expected.version_query_failed);

  // Success is shown for the match verdict and for nothing else.
  const bool success_shown = std::any_of(boxes.begin(), boxes.end(),
                                         [](const Box& box) { return box.text.find("Success") != std::string::npos; });
  const bool matched_shown = std::count(run.view.status.begin(), run.view.status.end(), "CRC Matched") > 0;
  const bool match = expected.ends == Ends::Match || expected.match_before_box;
  EXPECT_EQ(success_shown, match);
  EXPECT_EQ(matched_shown, match);

  switch (expected.ends) {
    case Ends::Match:
    case Ends::Mismatch:
    case Ends::NoVerdict: {
      const Verdict verdict = expected.ends == Ends::Match      ? Verdict::Match
                              : expected.ends == Ends::Mismatch ? Verdict::Mismatch
                                                                : Verdict::NoVerdict;
      EXPECT_EQ(run.session.outcome.verdict, verdict);
      EXPECT_EQ(run.session.outcome.step, RunStep::Done);
      // The run went on to the reset; only a reset write that returned FALSE with code 0 went
      // nowhere while counting as sent.
      const bool reset_lost = cell.command == CodeOf(Command::CMD_RESET_DEVICE) &&
                              cell.fault.kind == FaultKind::FailWrite && cell.fault.error == 0;
      ASSERT_FALSE(sent.empty());
      EXPECT_EQ(sent.back()[1], CodeOf(reset_lost ? Command::CMD_CRC_CHECK : Command::CMD_RESET_DEVICE));
      ASSERT_FALSE(boxes.empty());
      EXPECT_EQ(boxes.back().caption, "Message");  // the verdict box, and no failure box
      break;
    }
    case Ends::Box: {
      ASSERT_FALSE(boxes.empty());
      EXPECT_EQ(boxes.back(), FailureBox(expected.box, expected.owner));
      EXPECT_EQ(boxes.size(), expected.match_before_box ? 2u : 1u);
      // Nothing after the failed step: the requests sent are the clean run's up to that step,
      // with the failed one itself only if it reached the device.
      std::size_t requests_before = 0;
      for (std::size_t i = 0; i < cell.transfer; ++i)
        requests_before += clean.Log()[i].direction == Direction::ToDevice;
      const bool reached = cell.direction == Direction::FromDevice ||
                           !(cell.fault.kind == FaultKind::FailWrite || cell.fault.kind == FaultKind::Disconnect);
      const std::size_t expected_count = requests_before + (cell.direction == Direction::ToDevice && reached ? 1 : 0);
      EXPECT_EQ(std::vector<BootReport>(clean_requests.begin(),
                                        clean_requests.begin() + static_cast<std::ptrdiff_t>(expected_count)),
                sent);
      break;
    }
  }

  // The erase goes out only after the file was loaded and the region accepted.
  const bool erased = std::any_of(sent.begin(), sent.end(),
                                  [](const BootReport& r) { return r[1] == CodeOf(Command::CMD_DEVICE_ERASE); });
  if (erased) {
    EXPECT_EQ(run.session.firmware.load_report.outcome, LoadOutcome::Loaded);
    EXPECT_EQ(run.session.DeviceInfo.ApplicationFirmwareSize, kSize);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTransfer, FaultMatrix, testing::ValuesIn(AllCells()),
                         [](const testing::TestParamInfo<Cell>& cell) { return cell.param.name; });

// The erase is never sent for a file the loader refused or for a region outside the image,
// whatever the device does afterwards.
TEST(FaultMatrix, NothingIsErasedForARefusedFileOrRegion) {
  const std::vector<std::pair<std::string, sim::BootLoaderConfig>> cases = [] {
    sim::BootLoaderConfig outside = Config();
    outside.region_start = 0xFFFF;
    outside.region_size = 2;
    sim::BootLoaderConfig wrapping = Config();
    wrapping.region_start = 0xFFFFFFFF;
    wrapping.region_size = 2;
    return std::vector<std::pair<std::string, sim::BootLoaderConfig>>{
        {Firmware(), outside},
        {Firmware(), wrapping},
        {kSignature + HexData(kStart, {1, 2, 3}), Config()},                        // no end record
        {kSignature + ":0310000001020399\r\n" + kEndRecord, Config()},              // bad checksum
        {"TALVORX\r\n" + kEndRecord, Config()},                                     // bad signature
        {"", Config()},                                                             // empty file
        {kSignature + "\r\n" + HexData(kStart, {1, 2, 3}) + kEndRecord, Config()},  // blank line first
    };
  }();
  for (const auto& [text, config] : cases) {
    Rig rig(config);
    TempFile file(text);
    rig.session.firmware.ImagePath = file.Path();
    Connect(rig.session);
    RunUpgrade(rig.session);
    EXPECT_EQ(rig.Device().Counters().erases, 0u) << text;
    EXPECT_NE(rig.session.outcome.verdict, Verdict::Match);
  }
}

}  // namespace
}  // namespace fwup::test
