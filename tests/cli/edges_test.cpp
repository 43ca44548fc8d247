// Where the tool meets the user's system, tried as a hostile user would, through the real
// program: files it is asked to write, files it is asked to read, signals, closed pipes and a
// standard output that takes nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

namespace fs = std::filesystem;
using test::ByName;
using test::PrintTo;

// The program started in the background with job control on, so that a signal reaches it as it
// would from a terminal; once its output holds `text` (at once when "", after 30 s at most),
// `then` runs with the program's process ID in $pid. The exit status is the program's, 128 + N
// when signal N ended it.
CliRun Background(const std::string& args, const std::string& text, const std::string& then) {
  std::string wait;
  if (!text.empty()) wait = "for i in $(seq 600); do grep -qF " + Quoted(text) + " $out && break; sleep 0.05; done\n";
  return Shell("set -m; out=$(mktemp)\n" + Program() + " " + args + " >$out & pid=$!\n" + wait + then +
               "\nwait $pid; status=$?; cat $out; rm $out; exit $status");
}

// ---- Files the tool writes -------------------------------------------------------------------

struct HostileOutput {
  const char* name;
  // Makes the target in `dir` and returns its path, or "" when this machine cannot have it.
  std::function<std::string(const std::string& dir)> make;
  const char* reason;         // what the message must name
  std::string limit = "";     // shell commands run before the program
  bool is_the_input = false;  // the target is given as the firmware file too
};

std::string Existing(const std::string& path, mode_t mode) {
  WriteFileText(path, std::string(65536, '\xAB'));  // a good image that must survive
  chmod(path.c_str(), mode);
  return path;
}

std::string Folder(const std::string& path) {
  fs::create_directory(path);
  return path;
}
std::string Fifo(const std::string& path) {
  mkfifo(path.c_str(), 0644);
  return path;
}
std::string Sample(const std::string& path) {
  fs::copy_file(SampleFirmware(), path);
  return path;
}

class OutputRefused : public ::testing::TestWithParam<HostileOutput> {};

// Whatever stood at the target stands there after, unchanged, and nothing else is left behind.
TEST_P(OutputRefused, LeavesWhatWasThereUntouched) {
  ScratchDir scratch;
  const std::string dir = Folder(scratch.File("out"));
  const std::string target = GetParam().make(dir);
  if (target.empty()) GTEST_SKIP() << "this machine cannot make the target";
  struct stat before {};
  ASSERT_EQ(stat(target.c_str(), &before), 0);
  const std::vector<std::uint8_t> content =
      S_ISREG(before.st_mode) ? ReadFileBytes(target) : std::vector<std::uint8_t>{};
  const auto listing = [&dir] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> names = listing();

  const std::string input = GetParam().is_the_input ? target : SampleFirmware();
  const auto run = Shell(GetParam().limit + Program() + " image " + Quoted(input) + " -o " + Quoted(target));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed)) << run.err;
  EXPECT_TRUE(Contains(run.err, GetParam().reason));
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  struct stat after {};
  ASSERT_EQ(lstat(target.c_str(), &after), 0) << "the target is gone";
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_ino, before.st_ino);
  if (S_ISREG(before.st_mode)) {
    EXPECT_EQ(ReadFileBytes(target), content);
  }
  EXPECT_EQ(listing(), names) << "a file was left behind";
}

// Runs the program as nobody, in a folder nobody may write in, when the tests run as root.
std::string AsNobody() { return geteuid() == 0 ? "exec setpriv --reuid=65534 --regid=65534 --clear-groups " : ""; }

INSTANTIATE_TEST_SUITE_P(
    Targets, OutputRefused,
    ::testing::Values(
        HostileOutput{"EmptyFolder", [](const std::string& dir) { return Folder(dir + "/image.bin"); },
                      "it is a folder"},
        HostileOutput{"DeviceNode", [](const std::string&) { return std::string("/dev/null"); }, "it is a device"},
        HostileOutput{"Fifo", [](const std::string& dir) { return Fifo(dir + "/pipe"); }, "it is a FIFO"},
        // Owned by root and read-only, in a folder anyone may write in: replacing it would
        // take away what its owner protected.
        HostileOutput{"ReadOnlyFileOfAnother",
                      [](const std::string& dir) {
                        chmod(dir.c_str(), 01777);
                        chmod(fs::path(dir).parent_path().c_str(), 0755);
                        return Existing(dir + "/image.bin", 0444);
                      },
                      "Permission denied", "cd / && " + AsNobody()},
        HostileOutput{"FileSizeLimit", [](const std::string& dir) { return Existing(dir + "/image.bin", 0644); },
                      "File too large", "ulimit -f 16 && "},
        HostileOutput{"TheFirmwareFileItself", [](const std::string& dir) { return Sample(dir + "/firmware.hex"); },
                      "it is the firmware file", "", true}),
    ByName());

// The same file under another name is the same file.
TEST(Output, TheInputByAnotherNameIsRefused) {
  ScratchDir scratch;
  const std::string firmware = Sample(scratch.File("firmware.hex"));
  fs::create_hard_link(firmware, scratch.File("hard.hex"));
  fs::create_symlink(firmware, scratch.File("soft.hex"));
  const std::string before = ReadFileText(firmware);
  for (const std::string other : {"hard.hex", "soft.hex"}) {
    const auto image = Shell(Program() + " image " + Quoted(firmware) + " -o " + Quoted(scratch.File(other)));
    EXPECT_EQ(image.exit_code, Code(ExitCode::kOutputFailed)) << other;
    const auto dump = Shell(Program() + " flash --simulate --sim-transfer-time 0 --sim-dump " +
                            Quoted(scratch.File(other)) + " " + Quoted(firmware));
    EXPECT_EQ(dump.exit_code, Code(ExitCode::kOutputFailed)) << other;
    EXPECT_TRUE(Contains(dump.err, "cannot write the simulated device's memory to"));
    EXPECT_FALSE(Contains(dump.out, "Device Erase")) << "the device was touched";
  }
  EXPECT_EQ(ReadFileText(firmware), before);
}

// A full disk, on a small file system of the test's own (needs root to mount one).
TEST(Output, NoSpaceLeftKeepsTheOldImage) {
  ScratchDir scratch;
  const std::string mount_point = Folder(scratch.File("small"));
  // Room for the old image, not for a second one beside it.
  if (geteuid() != 0 ||
      std::system(("mount -t tmpfs -o size=100k tmpfs " + mount_point + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  const std::string target = Existing(mount_point + "/image.bin", 0644);
  const auto run = Shell(Program() + " image " + Quoted(SampleFirmware()) + " -o " + Quoted(target));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed));
  EXPECT_TRUE(Contains(run.err, "No space left on device"));
  EXPECT_EQ(ReadFileText(target), std::string(65536, '\xAB'));
  EXPECT_EQ(std::distance(fs::directory_iterator(mount_point), fs::directory_iterator()), 1);
  EXPECT_EQ(std::system(("umount " + mount_point).c_str()), 0);
}

// A good write replaces the file whole and keeps its permissions; a link is written through.
TEST(Output, AWriteReplacesTheFileAndKeepsItsMode) {
  ScratchDir scratch;
  const std::string target = Existing(scratch.File("image.bin"), 0640);
  fs::create_symlink(target, scratch.File("link.bin"));
  const auto run = Shell(Program() + " image " + Quoted(SampleFirmware()) + " -o " + Quoted(scratch.File("link.bin")));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(scratch.File("link.bin")));
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  EXPECT_TRUE(HoldsFile(ReadFileBytes(target), SampleFirmware(), 0, 65536));
}

// ---- Files the tool reads --------------------------------------------------------------------

struct HostileInput {
  const char* name;
  std::function<std::string(const std::string& dir)> make;
  const char* reason;
};

class InputRefused : public ::testing::TestWithParam<HostileInput> {};

TEST_P(InputRefused, UpFrontWithTheRealCause) {
  ScratchDir scratch;
  const std::string path = GetParam().make(scratch.File(""));
  // Bounded, so that a tool that blocks fails the test instead of hanging it.
  for (const char* command : {"check", "flash --simulate --sim-transfer-time 0"}) {
    const auto run = Shell("timeout 20 " + Program() + " " + command + " " + Quoted(path));
    EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused)) << command << ": " << run.err;
    EXPECT_TRUE(Contains(run.err, GetParam().reason));
    EXPECT_FALSE(Contains(run.out, "Device Erase"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InputRefused,
    ::testing::Values(
        HostileInput{"Folder", [](const std::string& dir) { return dir; }, "is a folder, not a firmware file"},
        HostileInput{"FifoWithoutWriter", [](const std::string& dir) { return Fifo(dir + "fifo.hex"); },
                     "is a FIFO, not a firmware file"},
        HostileInput{"Device", [](const std::string&) { return std::string("/dev/zero"); }, "is a device"},
        HostileInput{"LinkLoop",
                     [](const std::string& dir) {
                       fs::create_symlink(dir + "b.hex", dir + "a.hex");
                       fs::create_symlink(dir + "a.hex", dir + "b.hex");
                       return dir + "a.hex";
                     },
                     "Too many levels of symbolic links"},
        HostileInput{"NameTooLong", [](const std::string& dir) { return dir + std::string(300, 'n') + ".hex"; },
                     "File name too long"},
        HostileInput{"Missing", [](const std::string& dir) { return dir + "missing.hex"; },
                     "No such file or directory; check the path"}),
    ByName());

// ---- Signals and closed pipes ----------------------------------------------------------------

std::string SlowFlash(const std::string& log, const std::string& more = "") {
  return "flash --simulate --sim-transfer-time 2000 --sim-log " + Quoted(log) + more + " " + Quoted(SampleFirmware());
}

TEST(Stop, AfterTheEraseTheUpgradeEndsBeforeTheNextRequestAndNeverResets) {
  ScratchDir scratch;
  const auto run = Background(SlowFlash(scratch.File("wire.log")), "Device Status: Device Program", "kill -INT $pid");
  EXPECT_EQ(run.exit_code, Code(ExitCode::kInterrupted)) << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "stopped after the erase: the device holds no application and stays in Firmware Upgrade "
                       "Mode; flash it again"));
  const std::vector<int> requests = Requests(scratch.File("wire.log"));
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x04), 1) << "the erase went out";
  EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x08), 0) << "a reset was sent";
  EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x09), 0);
  EXPECT_LT(std::count(requests.begin(), requests.end(), 0x05), 989);
}

TEST(Stop, BeforeTheEraseNothingIsErasedAndJsonIsWhole) {
  // No device yet: the tool waits, and is stopped while it waits.
  const auto run = Background("flash --simulate --sim-devices 0 --wait 60 --json " + Quoted(SampleFirmware()), "",
                              "sleep 0.5; kill -TERM $pid");
  EXPECT_EQ(run.exit_code, Code(ExitCode::kInterrupted)) << run.err;
  EXPECT_TRUE(JsonHas(run.out, R"({"exit_code": 10, "error": {"kind": "interrupted"}})"));
  EXPECT_TRUE(Contains(ParseJson(run.out)["error"]["message"].get<std::string>(), "no device was touched"));
}

TEST(Stop, EveryBoardOfAnAllRunSaysWhereItWasLeft) {
  ScratchDir scratch;
  const auto run = Background(SlowFlash(scratch.File("wire.log"), " --all --sim-devices 3"), "Device Program: 10%",
                              "kill -INT $pid");
  EXPECT_EQ(run.exit_code, Code(ExitCode::kInterrupted)) << run.err;
  EXPECT_TRUE(Contains(run.out, "devices ended with CRC Matched")) << "no summary";
  for (int i = 1; i <= 3; ++i) {
    const std::string device = "sim:hid#" + std::to_string(i);
    EXPECT_TRUE(Contains(run.err, device + ": stopped after the erase"));
    const std::vector<int> requests = Requests(scratch.File("wire.log." + std::to_string(i)));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x08), 0) << device << " was reset";
  }
}

// A watch stopped before its --count is an early end (exit 10); without --count a stop is the
// end of a shift, and the exit code is the boards'. Either way the document says it was stopped.
TEST(Stop, AWatchSaysItWasStoppedAndBeforeItsCountExits10) {
  ScratchDir scratch;
  const std::string log = scratch.File("boards.log");
  const std::string after_two_boards = "for i in $(seq 600); do [ \"$(cat " + Quoted(log) +
                                       " 2>/dev/null | wc -l)\" -ge 2 ] && break; sleep 0.05; done; kill -TERM $pid";
  for (const bool count : {true, false}) {
    std::filesystem::remove(log);
    const auto run = Background(std::string("flash --watch ") + (count ? "--count 5 " : "") +
                                    "--json --simulate --sim-transfer-time 0 --sim-arrivals 5@400 --log " +
                                    Quoted(log) + " " + Quoted(SampleFirmware()),
                                "", after_two_boards);
    EXPECT_EQ(run.exit_code, count ? Code(ExitCode::kInterrupted) : 0) << run.err;
    const JsonValue json = ParseJson(run.out);
    EXPECT_EQ(json["stopped"], true);
    EXPECT_EQ(json["count"], count ? JsonValue(5) : JsonValue());
    EXPECT_GE(json["total"], 2);
    EXPECT_LT(json["total"], 5);
    EXPECT_EQ(json["matched"], json["total"]);
  }
}

TEST(Stop, ASecondSignalEndsTheProcessAtOnce) {
  // A second on the wire for each report: the first signal waits for the transfer in flight.
  const auto run = Background("flash --simulate --sim-transfer-time 1000000 " + Quoted(SampleFirmware()),
                              "Device Status: Device Connected", "kill -INT $pid; sleep 0.3; kill -INT $pid");
  EXPECT_EQ(run.exit_code, 128 + SIGINT) << run.err;
}

TEST(Pipe, AReaderThatGoesAwayNeverStopsTheUpgrades) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const auto run = Shell("set -o pipefail; " + Program() + " flash --all --simulate --sim-devices 4 " +
                         "--sim-transfer-time 100 --sim-dump " + Quoted(dump) + " " + Quoted(SampleFirmware()) +
                         " | head -c 1 >/dev/null; echo \"status ${PIPESTATUS[0]}\" >&2");
  EXPECT_TRUE(Contains(run.err, "status 0"));
  for (int device = 1; device <= 4; ++device) {
    EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + "." + std::to_string(device)), SampleFirmware())) << device;
  }
  EXPECT_TRUE(Contains(Shell(Program() + " flash --simulate --sim-transfer-time 0 " + Quoted(SampleFirmware()) +
                             " | true; echo \"status ${PIPESTATUS[0]}\" >&2")
                           .err,
                       "status 0"));
}

// Standard output that takes nothing (a full disk) is said on standard error: a run that succeeded
// fails with 8, one that failed keeps its code, and the upgrade is not stopped by it.
TEST(Pipe, AFullDiskIsSaidAndFailsOnlyARunThatSucceeded) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const std::string sample = Quoted(SampleFirmware());
  const std::vector<std::pair<std::string, ExitCode>> cases = {
      {"check --json " + sample, ExitCode::kOutputFailed},
      {"--help", ExitCode::kOutputFailed},
      {"flash --simulate --sim-transfer-time 0 --sim-dump " + Quoted(dump) + " " + sample, ExitCode::kOutputFailed},
      {"check --json " + Quoted(scratch.File("missing.hex")), ExitCode::kFileRefused},
      {"flash --simulate --sim-transfer-time 0 --sim-fault verdict:55 " + sample, ExitCode::kMismatch}};
  for (const auto& [args, code] : cases) {
    const CliRun run = Shell(Program() + " " + args + " >/dev/full");
    EXPECT_EQ(run.exit_code, Code(code)) << args;
    EXPECT_EQ(Count(run.err, "fwupgrade: cannot write to standard output: No space left on device\n"), 1u) << run.err;
  }
  EXPECT_TRUE(HoldsFile(ReadFileBytes(dump), SampleFirmware()));
}

}  // namespace
}  // namespace fwup::cli::testing
