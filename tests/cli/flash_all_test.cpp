// fwupgrade flash --all: every device its own upgrade, side by side; one failing leaves the
// others alone; the exit code says whether all of them matched.
#include <gtest/gtest.h>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

TEST(FlashAll, AFaultInOneLeavesTheOthersMatchedAndTheExitCodeSaysNotAll) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "4", "--sim-fault",
                                  "3=fail-write@program#300", "--sim-dump", dump, SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kNotAllMatched)) << run.err;
  for (const char* matched : {".1", ".2", ".4"})
    EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + matched), SampleFirmware()));
  EXPECT_FALSE(HoldsFile(ReadFileBytes(dump + ".3"), SampleFirmware()));
  EXPECT_FALSE(Contains(run.err, "note:"));  // --all takes them all: nothing to remark

  // Each device's events on lines of its own, then the summary table.
  EXPECT_TRUE(Contains(run.err, "sim:hid#3: Program Write Failed: packet 300 at 0x53BE"));
  for (const char* path : {"sim:hid#1", "sim:hid#2", "sim:hid#4"}) {
    EXPECT_TRUE(Contains(run.out, std::string(path) + ": Device Status: CRC Matched\n")) << path;
  }
  const std::size_t table = run.out.find("PATH       LOCATION  APPLICATION  BOOT   VERDICT");
  ASSERT_NE(table, std::string::npos) << run.out;
  const std::string summary = run.out.substr(table);
  EXPECT_EQ(Count(summary, "2.4.1        1.0.7  CRC Matched"), 3u) << summary;
  EXPECT_TRUE(Contains(summary, "sim:hid#3  sim-3     2.4.1        1.0.7  Program Write Failed"));
  EXPECT_TRUE(Contains(summary, "3 of 4 devices ended with CRC Matched."));
  EXPECT_TRUE(
      Contains(run.err, "fwupgrade: 1 of 4 devices did not end with CRC Matched: sim:hid#3 (Program Write Failed)"));

  const CliRun mismatch = RunCli(
      Args({"flash", "--all", "--simulate", "--sim-devices", "2", "--sim-fault", "2=verdict:55", SampleFirmware()}));
  EXPECT_EQ(mismatch.exit_code, Code(ExitCode::kNotAllMatched));
  EXPECT_TRUE(Contains(mismatch.err, "sim:hid#2 (CRC Not Matched)"));
}

TEST(FlashAll, JsonHasEachDeviceAndTheSummary) {
  const CliRun run = RunCli(Args({"flash", "--all", "--json", "--simulate", "--sim-devices", "3", "--sim-fault",
                                  "2=no-answer@crc", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kNotAllMatched));
  EXPECT_TRUE(JsonHas(run.out, R"({"matched": 2, "total": 3, "exit_code": 7, "error": {"kind": "not-all-matched"},
      "devices": [{"path": "sim:hid#1", "exit_code": 0, "verdict": "match"},
                  {"path": "sim:hid#2", "exit_code": 4, "verdict": "none", "step": "crc-response",
                   "error": {"kind": "device-failure"}},
                  {"path": "sim:hid#3", "exit_code": 0, "verdict": "match"}]})"));
}

TEST(FlashAll, RefusedFileTouchesNoDevice) {
  ScratchDir scratch;
  const std::string file = scratch.File("cut.hex");
  WriteFileText(file, kSignatureLine + ":10100000000102030405060708090A0B0C0D0E0F68\r\n");  // no end record
  const std::string log = scratch.File("wire.log");
  const CliRun run = RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "2", "--sim-log", log, file}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_TRUE(Contains(run.err, "Invalid Firmware File: No End Record"));
  EXPECT_EQ(ReadFileText(log + ".1") + ReadFileText(log + ".2"), "");
}

TEST(FlashAll, LiveRowsAreRedrawnInPlaceOnATerminal) {
  RunSetup terminal;
  terminal.terminal = {true, 100, true};
  const CliRun run = RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "2", SampleFirmware()}), terminal);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "\x1b[2A"));                    // back up over the two rows
  EXPECT_FALSE(Contains(run.out, "sim:hid#1: Device Status"));  // no event lines
  EXPECT_TRUE(Contains(run.out, "2 of 2 devices ended with CRC Matched."));

  // A terminal without cursor control, or trace lines on it (-v), gets each event as a line.
  for (const auto& [cursor_control, verbose] : {std::pair{false, false}, std::pair{true, true}}) {
    terminal.terminal.cursor_control = cursor_control;
    std::vector<std::string> args = Args({"flash", "--all", "--simulate", "--sim-devices", "2", SampleFirmware()});
    if (verbose) args.push_back("-v");
    const CliRun lines = RunCli(args, terminal);
    EXPECT_FALSE(Contains(lines.out, "\x1b[")) << cursor_control;
    EXPECT_TRUE(Contains(lines.out, "sim:hid#2: Device Status: CRC Matched\n")) << cursor_control;
  }
  // With --json the document is all there is, on a terminal too.
  const CliRun json =
      RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "2", "--json", SampleFirmware()}), terminal);
  EXPECT_EQ(ParseJson(json.out)["matched"].get<double>(), 2);
}

}  // namespace
}  // namespace fwup::cli::testing
