// flash --watch: a production line on the simulated bench. Boards arrive over time into a few
// sockets; each is flashed as it appears, a failed one is tried again while it stays and then
// left for the operator, and the run ends after --count boards.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "cli/watch/watch_slots.hpp"
#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

TEST(Watch, FlashesEachBoardAsItArrivesAndLogsEveryOne) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  const std::string dump = scratch.File("memory.bin");
  const std::string wire = scratch.File("wire.log");
  const CliRun run =
      RunCli(Args({"flash", "--watch", "--count", "5", "--simulate", "--sim-devices", "2", "--sim-arrivals", "5@10",
                   "--log", log, "--sim-dump", dump, "--wire-log", wire, SampleFirmware()}));
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
  const CliRun run =
      RunCli(Args({"flash", "--watch", "--count", "4", "--simulate", "--sim-devices", "4", "--sim-arrivals", "4@0",
                   "--sim-fault", "2=fail-read@crc", "--sim-fault", "3=verdict:55", "--sim-fault",
                   "4=disconnect@program#300", "--log", log, "--json", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kNotAllMatched)) << run.err;
  const JsonValue json = ParseJson(run.out);
  EXPECT_EQ(json["matched"], 2);
  EXPECT_EQ(json["total"], 4);
  std::map<std::string, JsonValue> by_slot;
  for (const JsonValue& board : json["boards"]) by_slot[board["slot"].get<std::string>()] = board;
  ASSERT_EQ(by_slot.size(), 4u) << run.out;
  EXPECT_EQ(by_slot["sim-1"]["attempts"], 1);
  EXPECT_EQ(by_slot["sim-2"]["attempts"], 2);
  EXPECT_EQ(by_slot["sim-2"]["verdict"], "match");
  EXPECT_EQ(by_slot["sim-3"]["attempts"], 2);
  EXPECT_EQ(by_slot["sim-3"]["verdict"], "mismatch");
  EXPECT_EQ(by_slot["sim-3"]["error"]["kind"], "mismatch");
  EXPECT_TRUE(Contains(json["error"]["message"], "2 of 4 boards did not end with CRC Matched: sim-"));
  EXPECT_EQ(Lines(ReadFileText(log)).size(), 4u);
  // Board 4 was erased and half programmed, then its retry failed before the erase: its record
  // covers both attempts, the versions it reported first and the erase, and never calls it untouched.
  const JsonValue& erased = by_slot["sim-4"];
  EXPECT_TRUE(JsonHas(erased.dump(), R"({"attempts": 2, "erase_sent": true, "failed_step": "device-info",
      "versions": {"application": "2.4.1", "boot": "1.0.7"}})"));
  const std::string message = erased["error"]["message"];
  EXPECT_FALSE(Contains(message, "nothing was erased")) << message;
  EXPECT_TRUE(Contains(message, "holds no application"));
  for (const std::string& line : Lines(ReadFileText(log))) {
    const JsonValue record = ParseJson(line);
    if (record["location"] == "sim-4") {
      EXPECT_EQ(record["versions"], erased["versions"]);
    }
  }

  // Without --json: a line for the attempt that failed, one for each board's end. The board given
  // up on is taken out, and the next one takes its socket.
  const CliRun text = RunCli(Args({"flash", "--watch", "--count", "2", "--retries", "0", "--simulate", "--sim-arrivals",
                                   "2@0", "--sim-fault", "1=verdict:55", "-v", SampleFirmware()}));
  EXPECT_EQ(text.exit_code, Code(ExitCode::kNotAllMatched));
  EXPECT_TRUE(Contains(text.out, "sim-1 (sim:hid#1): FAILED: replace the board: CRC Not Matched"));
  EXPECT_TRUE(Contains(text.out, "1 of 2 boards ended with CRC Matched."));
  // With -v each trace line says which board it is of.
  EXPECT_EQ(Count(text.err, "CRC Not Matched\n"), 1u) << text.err;
  EXPECT_TRUE(Contains(text.err, "\nsim-1 (sim:hid#1): CRC Not Matched\n"));
}

// The file is read once, when the line starts: touched on disk it changes nothing and is not
// mentioned; replaced, the watch says so once and every board still gets, and the log names, the
// bytes that were checked.
TEST(Watch, AFileChangedOnDiskChangesNothingProgrammedAndIsSaidOnce) {
  namespace fs = std::filesystem;
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex");
  const std::string log = scratch.File("boards.log");
  const std::string dump = scratch.File("memory.bin");
  const std::string sha256 = Shell("sha256sum " + Quoted(SampleFirmware())).out.substr(0, 64);
  for (const bool replace : {false, true}) {
    fs::remove(file);
    fs::copy_file(SampleFirmware(), file);
    std::jthread editor([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1));
      if (!replace) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      WriteFileText(file, kSignatureLine + HexRecords({{kRegionStart, {1, 2, 3}}}));
    });
    const CliRun run = RunCli(Args({"flash", "--watch", "--count", "3", "--simulate", "--sim-arrivals", "3@300",
                                    "--log", log, "--sim-dump", dump, file}));
    editor.join();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Count(run.err, "changed on disk"), replace ? 1u : 0u) << run.err;
    if (replace) {
      EXPECT_TRUE(Contains(run.err, sha256));
    }
    for (const char* board : {".1", ".2", ".3"}) EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + board), SampleFirmware()));
  }
  const std::vector<std::string> lines = Lines(ReadFileText(log));
  EXPECT_EQ(lines.size(), 6u);
  for (const std::string& line : lines) EXPECT_EQ(ParseJson(line)["file_sha256"], sha256);
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
  for (const std::vector<std::string>& args : {std::vector<std::string>{"flash", "--watch", "--all", SampleFirmware()},
                                               {"flash", "--watch", "--path", "sim-1", SampleFirmware()},
                                               {"flash", "--count", "3", SampleFirmware()},
                                               {"flash", "--watch", "--retries", "11", SampleFirmware()}}) {
    EXPECT_EQ(RunCli(args).exit_code, Code(ExitCode::kUsage)) << args[2];
  }
}

// The slot rules alone, on a clock of the test's own: 1 retry, a settle time of 3 s.
struct Line {
  WatchSlots slots{1, std::chrono::seconds(3)};
  WatchSlots::Clock::time_point now{};
  std::vector<BoardEnd> ended;

  // The paths started when these devices are present at `seconds`.
  std::vector<std::string> At(double seconds, const std::vector<PresentDevice>& present, unsigned take_new = 9,
                              bool retry = true) {
    now = WatchSlots::Clock::time_point{} + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    std::vector<std::string> paths;
    for (const auto& start : slots.Observe(present, now, take_new, retry, ended)) paths.push_back(start.path);
    return paths;
  }
  std::optional<BoardEnd> End(const std::string& slot, bool matched, bool restarted = false, bool reached = true) {
    return slots.AttemptEnded(slot, matched, reached, restarted, now);
  }
};
using Paths = std::vector<std::string>;

TEST(WatchSlots, AMatchedSlotIsFreeAtOnceButItsBoardIsNeverFlashedAgainWhileItStays) {
  Line line;
  EXPECT_EQ(line.At(0, {{"/dev/hidraw1", "1-1"}}), Paths{"/dev/hidraw1"});
  EXPECT_EQ(line.At(0.1, {{"/dev/hidraw1", "1-1"}}), Paths{});  // in progress
  ASSERT_TRUE(line.End("1-1", true)->matched);
  EXPECT_EQ(line.At(0.2, {{"/dev/hidraw1", "1-1"}}), Paths{});                // the same board, still there
  EXPECT_EQ(line.At(0.3, {{"/dev/hidraw2", "1-1"}}), Paths{"/dev/hidraw2"});  // the next one, at once
  ASSERT_TRUE(line.End("1-1", true));
  EXPECT_EQ(line.At(0.4, {}), Paths{});
  EXPECT_EQ(line.At(0.5, {{"/dev/hidraw2", "1-1"}}), Paths{"/dev/hidraw2"});  // gone and back: a new board
  EXPECT_FALSE(line.slots.Busy() && line.ended.size() > 0);
}

TEST(WatchSlots, AFailedBoardIsTriedAgainWhileItStaysThenLeftUntilTheSlotSettles) {
  Line line;
  line.At(0, {{"/dev/hidraw1", "1-1"}, {"/dev/hidraw5", ""}});                // no location: the path is the slot
  EXPECT_FALSE(line.End("1-1", false));                                       // attempt 1 of 2
  EXPECT_EQ(line.At(0.1, {}), Paths{});                                       // gone after its reset...
  EXPECT_EQ(line.At(1.0, {{"/dev/hidraw3", "1-1"}}), Paths{"/dev/hidraw3"});  // ...back: attempt 2
  const std::optional<BoardEnd> end = line.End("1-1", false);
  ASSERT_TRUE(end && !end->matched && !end->removed);
  EXPECT_EQ(line.At(1.1, {{"/dev/hidraw3", "1-1"}}), Paths{});  // FAILED: left alone
  EXPECT_EQ(line.At(2.0, {}), Paths{});
  EXPECT_EQ(line.At(4.9, {{"/dev/hidraw4", "1-1"}}), Paths{});  // back within the settle time: the same board
  EXPECT_EQ(line.At(5.0, {}), Paths{});
  EXPECT_EQ(line.At(8.0, {}), Paths{});  // empty for 3 s: replaced
  EXPECT_EQ(line.At(8.1, {{"/dev/hidraw6", "1-1"}}), Paths{"/dev/hidraw6"});
  EXPECT_TRUE(line.ended.empty());
  EXPECT_EQ(line.slots.Slots().size(), 2u);
}

TEST(WatchSlots, ABoardWaitingForAnotherAttemptEndsWhenTakenOutOrStopped) {
  for (const bool stop : {false, true}) {
    Line line;
    line.At(0, {{"/dev/hidraw1", "1-1"}});
    EXPECT_FALSE(line.End("1-1", false));
    EXPECT_TRUE(line.slots.Busy());
    if (stop) {
      EXPECT_EQ(line.At(0.1, {{"/dev/hidraw1", "1-1"}}, 0, false), Paths{});
    } else {
      EXPECT_EQ(line.At(1, {}), Paths{});
      EXPECT_EQ(line.At(3.9, {}), Paths{});  // may still come back after its reset
      EXPECT_TRUE(line.ended.empty());
      EXPECT_EQ(line.At(4.0, {}), Paths{});
    }
    ASSERT_EQ(line.ended.size(), 1u) << stop;
    EXPECT_EQ(line.ended[0].slot, "1-1");
    EXPECT_EQ(line.ended[0].stopped, stop);
    EXPECT_EQ(line.ended[0].removed, !stop);
    EXPECT_FALSE(line.slots.Busy());
    EXPECT_EQ(line.At(5, {{"/dev/hidraw7", "1-3"}}, 0), Paths{});  // --count reached: no new board
    // One board short of --count: one of the boards that arrive together is taken.
    EXPECT_EQ(line.At(6, {{"/dev/hidraw8", "1-4"}, {"/dev/hidraw9", "1-5"}}, 1), Paths{"/dev/hidraw8"});
  }
}

// A board reset after a wrong verdict leaves and comes back under a new path: the next attempt
// waits for that, not for the old path that is about to go (at most the settle time). A device
// gone before the tool reached it was not an attempt.
TEST(WatchSlots, AnAttemptWaitsForAResetBoardToComeBackAndAVanishedOneDoesNotCount) {
  Line line;
  line.At(0, {{"/dev/hidraw1", "1-1"}});
  EXPECT_FALSE(line.End("1-1", false, true));
  EXPECT_EQ(line.At(0.1, {{"/dev/hidraw1", "1-1"}}), Paths{});  // still the old node
  EXPECT_EQ(line.At(0.2, {{"/dev/hidraw2", "1-1"}}), Paths{"/dev/hidraw2"});
  EXPECT_FALSE(line.End("1-1", false, false, false));  // it vanished before the tool reached it
  EXPECT_EQ(line.At(0.3, {{"/dev/hidraw3", "1-1"}}), Paths{"/dev/hidraw3"});
  EXPECT_EQ(line.slots.Slots().at("1-1").attempt, 2u);

  Line stays;  // a device that does not restart is tried again after the settle time
  stays.At(0, {{"/dev/hidraw1", "1-1"}});
  EXPECT_FALSE(stays.End("1-1", false, true));
  EXPECT_EQ(stays.At(2.9, {{"/dev/hidraw1", "1-1"}}), Paths{});
  EXPECT_EQ(stays.At(3.0, {{"/dev/hidraw1", "1-1"}}), Paths{"/dev/hidraw1"});
}

}  // namespace
}  // namespace fwup::cli::testing
