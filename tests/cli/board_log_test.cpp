// flash --log: a line of JSON for every board the tool found, appended to what the file held;
// a target that cannot take lines stops the run before any device; processes logging to one
// file side by side never break a line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

JsonValue LineAt(const std::string& log, const std::string& location) {
  for (const std::string& line : Lines(ReadFileText(log))) {
    if (line.front() != '{') continue;
    JsonValue json = ParseJson(line);
    if (json["location"] == location) return json;
  }
  ADD_FAILURE() << "no line for " << location << " in " << ReadFileText(log);
  return {};
}

TEST(BoardLog, ALinePerBoardFoundAppendedToWhatTheFileHeld) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  WriteFileText(log, "what was there\n");
  ASSERT_EQ(RunCli(Args({"flash", "--simulate", "--log", log, SampleFirmware()})).exit_code, 0);
  const CliRun all = RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "3", "--sim-fault",
                                  "2=fail-write@program#10", "--log", log, SampleFirmware()}));
  EXPECT_EQ(all.exit_code, Code(ExitCode::kNotAllMatched)) << all.err;
  // No board, no line.
  EXPECT_EQ(RunCli(Args({"flash", "--simulate", "--sim-devices", "0", "--log", log, SampleFirmware()})).exit_code,
            Code(ExitCode::kDeviceNotFound));

  const std::vector<std::string> lines = Lines(ReadFileText(log));
  ASSERT_EQ(lines.size(), 5u) << ReadFileText(log);
  EXPECT_EQ(lines[0], "what was there");

  const JsonValue first = ParseJson(lines[1]);
  EXPECT_TRUE(
      std::regex_match(first["time"].get<std::string>(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
      << first["time"];
  EXPECT_EQ(first["tool"], std::string("fwupgrade ") + FWUP_PROJECT_VERSION);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(first["host"], host);
  EXPECT_EQ(first["location"], "sim-1");
  EXPECT_EQ(first["path"], "sim:hid#1");
  EXPECT_EQ(first["versions"]["application"], "2.4.1");
  EXPECT_EQ(first["versions"]["boot"], "1.0.7");
  EXPECT_EQ(first["file"], SampleFirmware());
  EXPECT_EQ(first["file_size"], std::filesystem::file_size(SampleFirmware()));
  // The digest as an independent tool computes it.
  EXPECT_EQ(first["file_sha256"], Shell("sha256sum " + Quoted(SampleFirmware())).out.substr(0, 64));
  EXPECT_EQ(first["verdict"], "match");
  EXPECT_TRUE(first["failed_step"].is_null());
  EXPECT_EQ(first["result"], "CRC Matched");
  EXPECT_EQ(first["exit_code"], 0);
  EXPECT_GE(first["seconds"].get<double>(), 0.0);

  const JsonValue failed = LineAt(log, "sim-2");
  EXPECT_EQ(failed["path"], "sim:hid#2");
  EXPECT_EQ(failed["failed_step"], "program-write");
  EXPECT_EQ(failed["verdict"], "none");
  EXPECT_EQ(failed["exit_code"], Code(ExitCode::kDeviceFailure));
  EXPECT_EQ(LineAt(log, "sim-3")["verdict"], "match");
}

TEST(BoardLog, ATargetThatCannotTakeLinesStopsTheRunBeforeAnyDevice) {
  ScratchDir scratch;
  const std::string firmware = scratch.File("firmware.hex");
  std::filesystem::copy_file(SampleFirmware(), firmware);
  const std::string fifo = scratch.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(scratch.File("folder"));
  for (const std::string& target :
       {firmware, fifo, scratch.File("folder"), scratch.File("missing/boards.log"), std::string("/dev/null")}) {
    const std::string wire = scratch.File("wire.log");
    const CliRun run = RunCli(Args({"flash", "--simulate", "--log", target, "--sim-log", wire, firmware}));
    EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed)) << target;
    EXPECT_TRUE(Contains(run.err, "cannot log to '" + target + "'"));
    // The simulator's wire log is written however the run ended: empty, no report crossed.
    EXPECT_TRUE(std::filesystem::exists(wire) && ReadWireLog(wire).empty()) << target;
  }
  EXPECT_EQ(ReadFileText(firmware), ReadFileText(SampleFirmware()));
}

// Each line goes out in one write to a file opened for appending.
TEST(BoardLog, ProcessesLoggingSideBySideNeverBreakALine) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  const std::string flash = Program() + " flash --all --simulate --sim-devices 8 --sim-transfer-time 0 --log " +
                            Quoted(log) + " " + Quoted(SampleFirmware()) + " > /dev/null";
  const CliRun run = Shell("for i in 1 2 3 4; do " + flash + " & done; for i in 1 2 3 4; do wait -n || exit 1; done");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> lines = Lines(ReadFileText(log));
  ASSERT_EQ(lines.size(), 32u);
  for (const std::string& line : lines) EXPECT_EQ(ParseJson(line)["verdict"], "match") << line;
}

}  // namespace
}  // namespace fwup::cli::testing
