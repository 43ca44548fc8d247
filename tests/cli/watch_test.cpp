// flash --watch: a production line on the simulated bench. Boards arrive over time into a few
// sockets; each is flashed as it appears, a failed one is tried again while it stays and then
// left for the operator, and the run ends after --count boards.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Watch, FlashesEachBoardAsItArrivesAndLogsEveryOne) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(Args({"flash", "--watch", "--count", "5", "--simulate", "--sim-devices", "2",
                                  "--sim-arrivals", "5@10", "--log", log, "--sim-dump", dump, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Count(run.out, ": CRC Matched in "), 5u) << run.out;
  EXPECT_TRUE(Contains(run.out, "5 of 5 boards ended with CRC Matched."));
  for (const char* board : {".1", ".2", ".3", ".4", ".5"})
    EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + board), SampleFirmware()));

  // A line per board, each from one of the two sockets, each under a path of its own.
  std::set<std::string> paths;
  for (const std::string& line : Lines(ReadFileText(log))) {
    const JsonValue record = ParseJson(line);
    EXPECT_TRUE(record["location"] == "sim-1" || record["location"] == "sim-2") << line;
    EXPECT_EQ(record["verdict"], "match");
    EXPECT_EQ(record["attempts"], 1);
    paths.insert(record["path"].get<std::string>());
  }
  EXPECT_EQ(paths.size(), 5u);
}

// Board 2 loses its first checksum answer: tried again while it stays, it matches. Board 3's device
// judges every checksum wrong: it comes back after each reset, is tried once more, then is left
// with "FAILED: replace the board", and the exit code says not all matched.
TEST(Watch, AFailedBoardIsTriedAgainWhileItStaysThenLeftForTheOperator) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  const CliRun run = RunCli(Args({"flash", "--watch", "--count", "3", "--simulate", "--sim-devices", "3",
                                  "--sim-arrivals", "3@0", "--sim-fault", "2=fail-read@crc", "--sim-fault",
                                  "3=verdict:55", "--log", log, "--json", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kNotAllMatched)) << run.err;
  const JsonValue json = ParseJson(run.out);
  EXPECT_EQ(json["matched"], 2);
  EXPECT_EQ(json["total"], 3);
  std::map<std::string, JsonValue> by_slot;
  for (const JsonValue& board : json["boards"]) by_slot[board["slot"].get<std::string>()] = board;
  ASSERT_EQ(by_slot.size(), 3u) << run.out;
  EXPECT_EQ(by_slot["sim-1"]["attempts"], 1);
  EXPECT_EQ(by_slot["sim-2"]["attempts"], 2);
  EXPECT_EQ(by_slot["sim-2"]["verdict"], "match");
  EXPECT_EQ(by_slot["sim-3"]["attempts"], 2);
  EXPECT_EQ(by_slot["sim-3"]["verdict"], "mismatch");
  EXPECT_EQ(by_slot["sim-3"]["error"]["kind"], "mismatch");
  EXPECT_TRUE(Contains(json["error"]["message"], "1 of 3 boards did not end with CRC Matched: sim-3"));
  EXPECT_EQ(Lines(ReadFileText(log)).size(), 3u);

  // Without --json: a line for the attempt that failed, one for each board's end.
  const CliRun text = RunCli(Args({"flash", "--watch", "--count", "1", "--retries", "0", "--simulate", "--sim-arrivals",
                                   "1@0", "--sim-fault", "1=verdict:55", SampleFirmware()}));
  EXPECT_EQ(text.exit_code, Code(ExitCode::kNotAllMatched));
  EXPECT_TRUE(Contains(text.out, "sim-1 (sim:hid#1): FAILED: replace the board: CRC Not Matched"));
  EXPECT_TRUE(Contains(text.out, "0 of 1 boards ended with CRC Matched."));
}

TEST(Watch, RefusesABadFileBeforeAnyBoardAndTakesNoOptionThatFightsIt) {
  ScratchDir scratch;
  const std::string bad = scratch.File("bad.hex");
  WriteFileText(bad, "not a firmware file\r\n");
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(
      Args({"flash", "--watch", "--count", "1", "--simulate", "--sim-arrivals", "1@0", "--sim-dump", dump, bad}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_EQ(ReadFileBytes(dump)[kRegionStart], OldByte(kRegionStart));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"flash", "--watch", "--all", SampleFirmware()},
        {"flash", "--watch", "--path", "sim-1", SampleFirmware()},
        {"flash", "--count", "3", SampleFirmware()},
        {"flash", "--watch", "--retries", "11", SampleFirmware()},
        {"flash", "--watch", "--simulate", "--sim-arrivals", "3", SampleFirmware()},
        {"flash", "--watch", "--simulate", "--sim-devices", "0", "--sim-arrivals", "3@1", SampleFirmware()}}) {
    EXPECT_EQ(RunCli(args).exit_code, Code(ExitCode::kUsage)) << args[2];
  }
}

}  // namespace
}  // namespace fwup::cli::testing
