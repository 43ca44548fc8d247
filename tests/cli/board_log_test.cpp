// flash --log: a line of JSON for every board the tool found, appended to what the file held;
// a target that cannot take lines stops the run before any device; processes logging to one
// file side by side never break a line; on a full disk a line is whole or absent, and the
// README's jq commands read every record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <iostream>
#include <regex>
#include <thread>

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

// The README's jq commands for the end of a shift (section "The production bench"), on `log`.
std::vector<std::string> ReadmeJqCommands(const std::string& log) {
  const std::string readme = ReadFileText(SourcePath("README.md"));
  const std::size_t section = readme.find("### The production bench");
  const std::string text = readme.substr(section, readme.find("\n### ", section + 1) - section);
  const std::regex command("\n    (jq .*) boards\\.log(?=\n)");
  std::vector<std::string> commands;
  for (std::sregex_iterator at(text.begin(), text.end(), command), end; at != end; ++at) {
    commands.push_back((*at)[1].str() + " " + Quoted(log));
  }
  return commands;
}

// A log on a full disk: a tmpfs of a few pages (it gives out whole pages), or, where mounting is
// refused, a file-size limit on the programs that append.
class BoardLogOnAFullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder_);
    const std::string size = "size=" + std::to_string(4 * kPage);
    mounted_ = mount("fwup-test", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
    if (mounted_) return;
    const std::string why = std::strerror(errno);
    if (Shell("ulimit -f 1").exit_code != 0) GTEST_SKIP() << "no tmpfs (" << why << ") and no file-size limit";
    std::cout << "no tmpfs (" << why << "): a file-size limit stands for the full disk\n";
  }
  void TearDown() override {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }

  // The shell's prefix that leaves the log's last page as the only room: every other page taken,
  // or the size limit at the page's end.
  std::string Full(std::size_t log_size) {
    if (!mounted_) return "ulimit -f " + std::to_string((log_size + kPage - 1) / kPage * kPage / 1024) + "; ";
    const int fd = open(filler_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const std::string page(kPage, 'f');
    while (fd >= 0 && write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) {
    }
    EXPECT_EQ(errno, ENOSPC);
    if (fd >= 0) close(fd);
    return "";
  }

  static inline const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  ScratchDir scratch_;
  const std::string folder_ = scratch_.File("disk"), log_ = folder_ + "/boards.log", filler_ = folder_ + "/filler";
  bool mounted_ = false;
};

TEST_F(BoardLogOnAFullDisk, ALineIsWholeOrAbsentAndJqReadsEveryRecord) {
  // Two records that end 10 bytes before a page's end: the next line's '{"time":"2' fits, no more.
  std::string old =
      R"({"time":"2026-12-01T08:00:00.000Z","location":"1-2.3","verdict":"mismatch","result":"CRC Mismatch",)"
      R"("file":"old.hex","file_sha256":"aa"})"
      "\n";
  const std::string next = R"({"location":"1-2.4","verdict":"match","file":"old.hex","file_sha256":"aa","note":")";
  old += next + std::string(kPage - 10 - old.size() - next.size() - 3, 'x') + "\"}\n";
  WriteFileText(log_, old);
  const std::string tail = " --simulate --sim-transfer-time 0 --log " + Quoted(log_) + " " + Quoted(SampleFirmware());
  const std::string flash = Program() + " flash" + tail + " >/dev/null";
  const std::string beside = Program() + " flash --all --sim-devices 3" + tail + " >/dev/null 2>&1";

  const CliRun full = Shell(Full(old.size()) + "{ " + beside + "; } & " + flash + "; code=$?; wait; exit $code");
  EXPECT_EQ(full.exit_code, Code(ExitCode::kOutputFailed));
  EXPECT_TRUE(Contains(full.err, "cannot log to '" + log_ + "': "));
  EXPECT_TRUE(Contains(full.err, "; the line was not written and the log is as it was"));
  const std::string after = ReadFileText(log_);
  ASSERT_EQ(after.substr(0, old.size()), old);
  const std::string added = after.substr(old.size());  // whole lines of the process beside, if any
  ASSERT_TRUE(added.empty() || added.back() == '\n') << added;
  for (const std::string& line : Lines(added)) ASSERT_NO_THROW(ParseJson(line)) << line;

  // Room again, and a last line left without its newline: it keeps its bytes and gets one.
  std::filesystem::remove(filler_);
  const std::string kept = after + R"({"old":2})";
  WriteFileText(log_, kept);
  // While another holds the log's lock, the run waits.
  const int held = open(log_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::future<CliRun> next_run = std::async(std::launch::async, [&] { return Shell(flash); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(ReadFileText(log_), kept);
  close(held);
  const CliRun done = next_run.get();
  ASSERT_EQ(done.exit_code, 0) << done.err;
  const std::string text = ReadFileText(log_);
  ASSERT_TRUE(text.starts_with(kept + "\n") && text.ends_with("}\n")) << text;
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), Lines(kept).size() + 1);
  EXPECT_EQ(ParseJson(lines.back())["verdict"], "match");

  std::size_t not_matched = 0;
  for (const std::string& line : lines) not_matched += ParseJson(line).value("verdict", "") != "match";
  const std::vector<std::string> jq = ReadmeJqCommands(log_);
  ASSERT_EQ(jq.size(), 2u);
  const CliRun rows = Shell(jq[0]);
  EXPECT_EQ(rows.exit_code, 0) << jq[0] << rows.err;
  EXPECT_EQ(Lines(rows.out).size(), not_matched) << rows.out;
  const CliRun files = Shell(jq[1]);
  ASSERT_EQ(files.exit_code, 0) << jq[1] << files.err;
  std::size_t boards = 0;
  for (const JsonValue& file : ParseJson(files.out)) boards += file["boards"].get<std::size_t>();
  EXPECT_EQ(boards, lines.size()) << files.out;
}

}  // namespace
}  // namespace fwup::cli::testing
