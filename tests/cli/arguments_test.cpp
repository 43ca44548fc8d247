// The command line itself: help, version, the exit code table and usage errors.
#include <gtest/gtest.h>

#include <set>

#include "cli/cli.hpp"
#include "cli/exit_code.hpp"
#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

TEST(Help, IsTheCopyTheReadmeShows) {
  const CliRun run = RunCli({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, ReadFileText(SourcePath("docs/fwupgrade-help.txt")))
      << "docs/fwupgrade-help.txt is out of date: write it again with 'fwupgrade --help > docs/fwupgrade-help.txt'";
  EXPECT_EQ(run.out, HelpText());
  EXPECT_NE(ReadFileText(SourcePath("README.md")).find("```text\n" + run.out + "```\n"), std::string::npos)
      << "README.md does not show the help as it is: copy docs/fwupgrade-help.txt into it";
}

TEST(Help, OfOneCommandShowsItsOptions) {
  const CliRun run = RunCli({"flash", "--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.rfind("fwupgrade flash FILE [OPTIONS]\n  Upgrade the device with FILE", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("  --all "), std::string::npos);
  EXPECT_NE(run.out.find("  -h, --help "), std::string::npos);
  EXPECT_EQ(run.out.find("--region"), std::string::npos);  // check's, not flash's
}

TEST(Version, IsTheProjectsVersion) {
  const CliRun run = RunCli({"--version"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, std::string("fwupgrade ") + FWUP_PROJECT_VERSION + "\n");
}

TEST(ExitCodes, AreDistinctSmallAndNamed) {
  std::set<int> codes;
  std::set<std::string_view> kinds;
  for (const ExitCodeRow& row : kExitCodes) {
    EXPECT_TRUE(codes.insert(ToInt(row.code)).second) << row.kind;
    EXPECT_TRUE(kinds.insert(row.kind).second) << row.kind;
    EXPECT_LT(ToInt(row.code), 64);
  }
  EXPECT_EQ(ToInt(ExitCode::kSuccess), 0);
}

struct UsageError {
  std::vector<std::string> args;
  const char* says;
};

void PrintTo(const UsageError& error, std::ostream* out) {
  for (const std::string& arg : error.args) *out << arg << ' ';
}

class Usage : public ::testing::TestWithParam<UsageError> {};

TEST_P(Usage, IsOneLineWithItsOwnExitCode) {
  const CliRun run = RunCli(GetParam().args);
  EXPECT_EQ(run.exit_code, ToInt(ExitCode::kUsage));
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.err.rfind("fwupgrade: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
  EXPECT_LT(run.err.size(), 200u) << "not a short line: " << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Usage,
    ::testing::Values(
        UsageError{{}, "A subcommand is required"}, UsageError{{"erase"}, "unknown command 'erase'"},
        UsageError{{"flash"}, "FILE is required"}, UsageError{{"flash", "a.hex", "b.hex"}, "b.hex"},
        UsageError{{"flash", "a.hex", "--bogus"}, "--bogus"},
        UsageError{{"flash", "a.hex", "--sim-dump", "x"}, "--sim-dump requires --simulate"},
        UsageError{{"list", "--sim-devices", "2"}, "requires --simulate"},
        UsageError{{"flash", "a.hex", "--simulate", "--sim-devices", "65"}, "--sim-devices"},
        UsageError{{"flash", "a.hex", "--wait", "-1"}, "--wait needs a value"},
        UsageError{{"flash", "a.hex", "--wait=-1"}, "not a number of seconds from 0 to 86400"},
        UsageError{{"flash", "a.hex", "--wait", "soon"}, "not a number of seconds from 0 to 86400"},
        // Each of these once overflowed to no wait at all, or was taken as one.
        UsageError{{"flash", "a.hex", "--wait", "1e10"}, "not a number of seconds"},
        UsageError{{"flash", "a.hex", "--wait", "1e300"}, "not a number of seconds"},
        UsageError{{"flash", "a.hex", "--wait", "nan"}, "not a number of seconds"},
        UsageError{{"flash", "a.hex", "--wait", "inf"}, "not a number of seconds"},
        UsageError{{"flash", "a.hex", "--wait", "86400.5"}, "out of range"},
        UsageError{{"flash", "a.hex", "--simulate", "--sim-devices", "abc"}, "not a whole number"},
        UsageError{{"flash", "a.hex", "--simulate", "--sim-transfer-time", "99999999999"}, "out of range"},
        UsageError{{"check", "-x.hex"}, "goes after '--', as in 'fwupgrade check -- -x.hex'"},
        UsageError{{"check", "--verbose", "-x.hex"}, "goes after '--'"},  // a flag takes no value
        // Once taken for "no --sim-log": the run went on and wrote nothing.
        UsageError{{"flash", "a.hex", "--simulate", "--sim-log", ""}, "--sim-log: an empty value"},
        UsageError{{"check", ""}, "FILE: an empty value"},
        UsageError{{"info", "--simulate", "--sim-fault", "bogus@1"}, "unknown fault 'bogus'"},
        UsageError{{"info", "--simulate", "--sim-fault", "no-answer"}, "needs @TRANSFER"},
        UsageError{{"info", "--simulate", "--sim-fault", "2=no-answer@crc"}, "must be 1 to 1"},
        UsageError{{"info", "--simulate", "--sim-devices", "0", "--sim-fault", "no-answer@crc"}, "no simulated device"},
        UsageError{{"check", "a.hex", "--region", "1:2:3"}, "START:SIZE"},
        UsageError{{"check", "a.hex", "--simulate"}, "--simulate"},
        UsageError{{"image", "a.hex", "--json", "-o", "x"}, "--json"}),
    [](const ::testing::TestParamInfo<UsageError>& error) { return "Case" + std::to_string(error.index); });

TEST(Usage, FaultForAnotherDeviceIsTakenFromItsNumber) {
  const CliRun run = RunCli(Args(
      {"info", "--simulate", "--sim-devices", "2", "--path", "sim:hid#2", "--sim-fault", "2=fail-read@boot-version"}));
  EXPECT_EQ(run.exit_code, ToInt(ExitCode::kDeviceFailure)) << run.err;
  EXPECT_NE(run.out.find("Device Status: Version Query Failed\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Device Path: sim:hid#2\n"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace fwup::cli::testing
