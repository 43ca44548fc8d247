// --wire-log: the reports that crossed the link, on the tool's side, each with the seconds since
// the start; for several devices a file each; checked before any device is touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

struct TimedLog {
  std::vector<double> seconds;
  std::string lines;  // without the times: what a --sim-log holds
};

TimedLog ReadTimedLog(const std::string& path) {
  TimedLog log;
  std::istringstream in(ReadFileText(path));
  const std::regex time(R"(\d+\.\d{6})");
  for (std::string line; std::getline(in, line);) {
    const std::size_t space = line.find(' ');
    EXPECT_TRUE(space != std::string::npos && std::regex_match(line.substr(0, space), time)) << line;
    log.seconds.push_back(std::stod(line.substr(0, space)));
    log.lines += line.substr(space + 1) + '\n';
  }
  return log;
}

TEST(WireLog, IsWhatCrossedTheLinkEachLineTimed) {
  ScratchDir scratch;
  const std::string wire = scratch.File("wire.log");
  const std::string sim = scratch.File("sim.log");
  ASSERT_EQ(RunCli(Args({"flash", "--simulate", "--wire-log", wire, "--sim-log", sim, SampleFirmware()})).exit_code, 0);
  const TimedLog log = ReadTimedLog(wire);
  EXPECT_EQ(log.lines, ReadFileText(sim));
  EXPECT_EQ(log.seconds.size(), 1004u);
  EXPECT_TRUE(std::is_sorted(log.seconds.begin(), log.seconds.end()));

  // info's exchange, and a file per device for several, in the order they were taken.
  ASSERT_EQ(RunCli(Args({"info", "--simulate", "--wire-log", wire, "--sim-log", sim})).exit_code, 0);
  EXPECT_EQ(ReadTimedLog(wire).lines, ReadFileText(sim));
  const CliRun all = RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "2", "--sim-fault",
                                  "2=fail-write@program#5", "--wire-log", wire, "--sim-log", sim, SampleFirmware()}));
  EXPECT_EQ(all.exit_code, Code(ExitCode::kNotAllMatched));
  EXPECT_EQ(ReadTimedLog(wire + ".1").lines, ReadFileText(sim + ".1"));
  // The refused write put no report on the wire: four packets went out, then the run stopped.
  const std::string second = ReadTimedLog(wire + ".2").lines;
  EXPECT_EQ(Count(second, "> 00 05 "), 4u) << second;
  EXPECT_EQ(second.find("> 00 06 "), std::string::npos);
}

TEST(WireLog, ATargetThatCannotBeWrittenStopsTheRunBeforeAnyDevice) {
  ScratchDir scratch;
  const std::string firmware = scratch.File("firmware.hex");
  std::filesystem::copy_file(SampleFirmware(), firmware);
  std::filesystem::create_directory(scratch.File("folder"));
  const std::string sim = scratch.File("sim.log");
  for (const std::string& target : {firmware, scratch.File("folder"), scratch.File("missing/wire.log")}) {
    const CliRun run = RunCli(Args({"flash", "--simulate", "--wire-log", target, "--sim-dump", sim, firmware}));
    EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed)) << target;
    EXPECT_TRUE(Contains(run.err, "cannot write the wire log to '" + target + "'"));
  }
  EXPECT_EQ(ReadFileText(firmware), ReadFileText(SampleFirmware()));
  EXPECT_EQ(RunCli(Args({"flash", "--simulate", "--wire-log", sim, "--sim-log", sim, firmware})).exit_code,
            Code(ExitCode::kUsage));

  // The numbered logs of --watch and --all may not be another file of the run, by any name: said
  // once, before any device.
  const std::string wire = scratch.File("wire");
  std::filesystem::copy_file(SampleFirmware(), wire + ".3");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"flash", "--watch", "--count", "1", "--simulate", "--sim-arrivals", "1@0", "--log",
                                 wire + ".2", "--wire-log", wire, firmware},
        {"flash", "--watch", "--count", "1", "--simulate", "--sim-arrivals", "1@0", "--wire-log", wire, wire + ".3"},
        {"flash", "--all", "--simulate", "--sim-devices", "2", "--sim-dump", scratch.File("./wire"), "--wire-log", wire,
         firmware}}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed)) << args[1];
    EXPECT_EQ(Count(run.err, "cannot write"), 1u) << run.err;
    EXPECT_TRUE(Contains(run.err, "nothing was written"));
    EXPECT_FALSE(Contains(run.out, "CRC Matched"));
  }
  EXPECT_FALSE(std::filesystem::exists(wire + ".2"));
}

}  // namespace
}  // namespace fwup::cli::testing
