// The command line itself: help, version and usage errors. The exit codes are pinned by the help
// text, which shows their table.
#include <gtest/gtest.h>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

TEST(Help, IsTheCopyTheReadmeShows) {
  const CliRun run = RunCli({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, ReadFileText(SourcePath("docs/fwupgrade-help.txt")))
      << "docs/fwupgrade-help.txt is out of date: write it again with 'fwupgrade --help > docs/fwupgrade-help.txt'";
  EXPECT_TRUE(Contains(ReadFileText(SourcePath("README.md")), "```text\n" + run.out + "```\n"))
      << "README.md does not show the help as it is: copy docs/fwupgrade-help.txt into it";
}

TEST(Help, OfOneCommandShowsItsOptionsAndVersionIsTheProjects) {
  const CliRun run = RunCli({"flash", "--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.rfind("fwupgrade flash FILE [OPTIONS]\n  Upgrade the device with FILE", 0), 0u) << run.out;
  EXPECT_TRUE(Contains(run.out, "  --all "));
  EXPECT_FALSE(Contains(run.out, "--region"));                           // check's, not flash's
  EXPECT_TRUE(Contains(run.out, "\n--sim-fault FAULT, a testing aid"));  // its usage errors point here
  const CliRun version = RunCli({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, std::string("fwupgrade ") + FWUP_PROJECT_VERSION + "\n");
}

// One short line on stderr with its own exit code, and nothing on stdout; the parser's and the
// commands' alike say what is wrong and where the help is.
TEST(Usage, IsOneLineWithItsOwnExitCode) {
  const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
      {{}, "A subcommand is required"},
      {{"erase"}, "unknown command 'erase'"},
      {{"flash"}, "FILE is required"},
      {{"flash", "a.hex", "b.hex"}, "b.hex"},
      {{"flash", "a.hex", "--bogus"}, "--bogus"},
      {{"flash", "a.hex", "--sim-dump", "x"}, "--sim-dump requires --simulate"},
      {{"list", "--sim-devices", "2"}, "requires --simulate"},
      {{"flash", "a.hex", "--watch", "--sim-arrivals", "3@10"}, "--sim-arrivals requires --simulate"},
      {{"flash", "a.hex", "--simulate", "--sim-devices", "65"}, "--sim-devices"},
      {{"flash", "a.hex", "--wait", "--bogus"}, "--wait needs a value"},
      // A negative number, which the parser takes for an option, is told its range.
      {{"flash", "a.hex", "--wait", "-1"}, "--wait: '-1' is not a number of seconds from 0 to 86400"},
      {{"flash", "a.hex", "--watch", "--count", "-1"}, "--count: '-1' is not a whole number from 1 to 1000000"},
      {{"flash", "a.hex", "--watch", "--retries", "-2"}, "'-2' is not a whole number from 0 to 10"},
      {{"flash", "a.hex", "--watch", "--settle", "-.5"}, "'-.5' is not a number of seconds from 0 to 600"},
      {{"flash", "a.hex", "--simulate", "--sim-devices", "-1"}, "'-1' is not a whole number from 0 to 64"},
      {{"info", "--simulate", "--sim-transfer-time", "-1"}, "'-1' is not a whole number of microseconds from 0 to"},
      {{"flash", "a.hex", "--wait=-1"}, "not a number of seconds from 0 to 86400"},
      {{"flash", "a.hex", "--wait", "soon"}, "not a number of seconds from 0 to 86400"},
      // Each of these once overflowed to no wait at all, or was taken as one.
      {{"flash", "a.hex", "--wait", "1e10"}, "not a number of seconds"},
      {{"flash", "a.hex", "--wait", "1e300"}, "not a number of seconds"},
      {{"flash", "a.hex", "--wait", "nan"}, "not a number of seconds"},
      {{"flash", "a.hex", "--wait", "inf"}, "not a number of seconds"},
      {{"flash", "a.hex", "--wait", "86400.5"}, "out of range"},
      {{"flash", "a.hex", "--simulate", "--sim-devices", "abc"}, "not a whole number"},
      {{"flash", "a.hex", "--simulate", "--sim-transfer-time", "99999999999"}, "out of range"},
      {{"check", "-x.hex"}, "goes after '--', as in 'fwupgrade check -- -x.hex'"},
      {{"check", "--verbose", "-x.hex"}, "goes after '--'"},  // a flag takes no value
      // Once taken for "no --sim-log": the run went on and wrote nothing.
      {{"flash", "a.hex", "--simulate", "--sim-log", ""}, "--sim-log: an empty value"},
      {{"check", ""}, "FILE: an empty value"},
      {{"info", "--simulate", "--sim-fault", "bogus@1"}, "unknown fault 'bogus'"},
      {{"info", "--simulate", "--sim-fault", "no-answer"}, "needs @TRANSFER"},
      {{"info", "--simulate", "--sim-fault", "2=no-answer@crc"}, "device number must be 1 to 1 (--sim-devices)"},
      {{"flash", "--watch", "--simulate", "--sim-devices", "4", "--sim-arrivals", "2@0", "--sim-fault", "4=verdict:55",
        SampleFirmware()},
       "board number must be 1 to 2 (--sim-arrivals 2@0)"},
      {{"info", "--simulate", "--sim-devices", "0", "--sim-fault", "no-answer@crc"}, "no simulated device"},
      {{"flash", "--watch", "--simulate", "--sim-arrivals", "3", SampleFirmware()}, "give B@MS"},
      {{"flash", "--watch", "--simulate", "--sim-devices", "0", "--sim-arrivals", "3@1", SampleFirmware()},
       "needs at least one socket"},
      {{"check", "a.hex", "--region", "1:2:3"}, "START:SIZE"},
      {{"check", "a.hex", "--simulate"}, "--simulate"},
      {{"image", "a.hex", "--json", "-o", "x"}, "--json"},
      {{"image", "a.hex"}, "-o"},
      {{"flash", "--all", "--path", "sim:hid#1", "--simulate", "a.hex"}, "--all excludes --path"}};
  for (const auto& [args, says] : cases) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exit_code, Code(ExitCode::kUsage)) << says;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("fwupgrade: usage error: ", 0), 0u) << run.err;
    EXPECT_EQ(Count(run.err, "usage error"), 1u) << run.err;
    EXPECT_TRUE(Contains(run.err, " --help'\n"));
    EXPECT_TRUE(Contains(run.err, says));
    EXPECT_LT(run.err.size(), 200u) << "not a short line: " << run.err;
  }
}

}  // namespace
}  // namespace fwup::cli::testing
