// fwupgrade flash against the simulated boot loader: the verdicts, every failure and its exit
// code, what reaches the device and what is refused before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>

#include "cli/exit_code.hpp"
#include "cli_runner.hpp"
#include "json_reader.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::cli::testing {
namespace {

constexpr std::uint32_t kRegionStart = 4096;  // the simulated boot loader's region
constexpr std::uint32_t kRegionSize = 57344;
constexpr const char* kNotFound = "Device Not Found,Restart and Select Firmware Upgrade Mode in the Device";

int Code(ExitCode code) { return ToInt(code); }

// What the simulated device holds before it is flashed (the simulator's pattern).
std::uint8_t OldByte(std::uint32_t address) { return static_cast<std::uint8_t>(address * 7 + 3); }

// Lines of stderr that the shell wrote itself.
std::vector<std::string> ErrorLines(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("fwupgrade: ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

struct WireLine {
  char direction;
  std::vector<std::uint8_t> bytes;
};

std::vector<WireLine> ReadWireLog(const std::string& path) {
  static const std::regex kFormat("^[<>]( [0-9A-F]{2}){65}$");
  std::vector<WireLine> lines;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_match(line, kFormat)) << line;
    WireLine entry{line[0], {}};
    for (std::size_t at = 2; at + 1 < line.size(); at += 3) {
      entry.bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16)));
    }
    lines.push_back(std::move(entry));
  }
  return lines;
}

void ExpectRegionHoldsFile(const std::vector<std::uint8_t>& memory, const std::string& firmware) {
  ASSERT_EQ(memory.size(), 65536u);
  const auto file = ReferenceBytes(firmware);
  std::size_t differences = 0;
  for (std::uint32_t address = kRegionStart; address < kRegionStart + kRegionSize; ++address) {
    const auto set = file.find(address);
    const std::uint8_t expected = set == file.end() ? 0xFF : set->second;
    if (memory[address] != expected && differences++ < 5) {
      ADD_FAILURE() << "address " << address << ": " << int{memory[address]} << " instead of " << int{expected};
    }
  }
  EXPECT_EQ(differences, 0u);
}

TEST(Flash, SimulatedDeviceEndsWithTheMatchVerdictAndHoldsTheFile) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-dump", dump, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, Code(ExitCode::kSuccess)) << run.err;
  for (const char* line : {"Device Status: Device Connected and Firmware Upgrade Mode\n",
                           "Current Application Firmware Version: 2.4.1 and Boot Version:1.0.7\n",
                           "Device Status: Valid Firmware Signature\n", "Device Status: Device Erase\n",
                           "Device Status: Device Program\n", "Computing CRC. Please wait...\n",
                           "Device Status: CRC Matched\n", "Firmware download Success\nPress OK to Reboot!\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;

  const std::vector<std::uint8_t> memory = ReadFileBytes(dump);
  ExpectRegionHoldsFile(memory, SampleFirmware());
  // Nothing outside the region was touched.
  for (const std::uint32_t address : {0u, kRegionStart - 1, kRegionStart + kRegionSize, 65535u}) {
    EXPECT_EQ(memory[address], OldByte(address)) << address;
  }
}

TEST(Flash, WireLogShowsReadyThenBothVersionQueriesThenTheUpgradeByteForByte) {
  ScratchDir scratch;
  const std::string log = scratch.File("wire.log");
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-log", log, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<WireLine> lines = ReadWireLog(log);

  constexpr std::size_t kPackets = (kRegionSize + 57) / 58;
  ASSERT_EQ(lines.size(), 11 + kPackets + 4);
  const std::vector<std::pair<char, std::uint8_t>> opening = {
      {'>', 0xA2}, {'<', 0xAD},  // ready, answered in its 0xAD form
      {'>', 0xAD}, {'<', 0xAD},  // application version
      {'>', 0xAE}, {'<', 0xAE},  // boot loader version
      {'>', 0x02}, {'<', 0x02},  // device info
      {'>', 0x04},               // erase
      {'>', 0x02}, {'<', 0x02},  // device active check
  };
  for (std::size_t i = 0; i < opening.size(); ++i) {
    EXPECT_EQ(lines[i].direction, opening[i].first) << "line " << i + 1;
    EXPECT_EQ(lines[i].bytes[1], opening[i].second) << "line " << i + 1;
  }
  // The three requests of the connection carry nothing but their code.
  for (const std::size_t i : {0u, 2u, 4u}) {
    EXPECT_TRUE(std::all_of(lines[i].bytes.begin() + 2, lines[i].bytes.end(), [](std::uint8_t b) { return b == 0; }));
  }

  const auto file = ReferenceBytes(SampleFirmware());
  for (std::size_t packet = 0; packet < kPackets; ++packet) {
    const WireLine& line = lines[opening.size() + packet];
    ASSERT_EQ(line.direction, '>');
    ASSERT_EQ(line.bytes[0], 0x00);
    ASSERT_EQ(line.bytes[1], 0x05);
    const std::uint32_t address = kRegionStart + static_cast<std::uint32_t>(packet) * 58;
    ASSERT_EQ(line.bytes[2] | line.bytes[3] << 8 | line.bytes[4] << 16 | line.bytes[5] << 24, address);
    const std::uint32_t count = std::min<std::uint32_t>(58, kRegionStart + kRegionSize - address);
    ASSERT_EQ(line.bytes[6], count);
    for (std::uint32_t k = 0; k < count; ++k) {
      const auto set = file.find(address + k);
      ASSERT_EQ(line.bytes[7 + k], set == file.end() ? 0xFF : set->second) << "packet " << packet << " byte " << k;
    }
  }
  const std::vector<std::pair<char, std::uint8_t>> closing = {{'>', 0x06}, {'>', 0x09}, {'<', 0x09}, {'>', 0x08}};
  for (std::size_t i = 0; i < closing.size(); ++i) {
    const WireLine& line = lines[opening.size() + kPackets + i];
    EXPECT_EQ(line.direction, closing[i].first);
    EXPECT_EQ(line.bytes[1], closing[i].second);
  }
  EXPECT_EQ(lines[lines.size() - 2].bytes[2], 0xFF);  // the match verdict
}

// hidraw keeps an answer that came after its read gave up; the next request must not take it.
TEST(Flash, LateAnswerIsDrainedAndNeverTakenForALaterRequestsAnswer) {
  ScratchDir scratch;
  const std::string log = scratch.File("wire.log");
  const CliRun run = RunCli(
      Args({"flash", "--simulate", "--sim-fault", "late-answer@app-version", "--sim-log", log, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, Code(ExitCode::kSuccess)) << run.err;
  EXPECT_NE(run.out.find("Device Status: Version Query Failed\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n and Boot Version:1.0.7\n"), std::string::npos) << run.out;
  const std::vector<WireLine> lines = ReadWireLog(log);
  ASSERT_GE(lines.size(), 8u);
  const std::vector<std::pair<char, std::uint8_t>> opening = {
      {'>', 0xA2}, {'<', 0xAD}, {'>', 0xAD}, {'<', 0xAD},  // the late answer, drained
      {'>', 0xAE}, {'<', 0xAE}, {'>', 0x02}, {'<', 0x02}};
  for (std::size_t i = 0; i < opening.size(); ++i) {
    EXPECT_EQ(lines[i].direction, opening[i].first) << i;
    EXPECT_EQ(lines[i].bytes[1], opening[i].second) << i;
  }
}

TEST(Flash, MismatchVerdictHasItsOwnExitCodeAndTheDialogsWords) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-fault", "verdict:55", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kMismatch));
  EXPECT_NE(run.out.find("Device Status: CRC Not Matched\n"), std::string::npos);
  EXPECT_NE(run.out.find("Firmware download Failed\nPress OK to Re-enter Firmware Upgrade\n"), std::string::npos);
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_NE(errors[0].find("CRC Not Matched"), std::string::npos);
  EXPECT_NE(errors[0].find("run flash again"), std::string::npos);
}

TEST(Flash, AnswerWithoutVerdictIsNotCalledASuccess) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-fault", "verdict:12", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kNoVerdict));
  EXPECT_EQ(run.out.find("CRC Matched"), std::string::npos);
  EXPECT_EQ(run.out.find("Firmware download Success"), std::string::npos);
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_NE(errors[0].find("verdict byte 0x12"), std::string::npos) << errors[0];
}

struct TransferFailure {
  const char* fault;
  const char* dialog_text;  // the box the dialog shows
  const char* detail;       // what the command line adds
};

void PrintTo(const TransferFailure& failure, std::ostream* out) { *out << failure.fault; }

class FlashTransferFailure : public ::testing::TestWithParam<TransferFailure> {};

TEST_P(FlashTransferFailure, EndsWithTheDevicesExitCodeAndTheDialogsText) {
  const TransferFailure& failure = GetParam();
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-fault", failure.fault, SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceFailure)) << run.out << run.err;
  EXPECT_NE(run.err.find(std::string(failure.dialog_text) + "\n"), std::string::npos) << run.err;
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_NE(errors[0].find(failure.detail), std::string::npos) << errors[0];
  EXPECT_EQ(run.out.find("CRC Matched"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FlashTransferFailure,
    ::testing::Values(
        TransferFailure{"fail-write@info", "Query Device Info Failed", "nothing was erased"},
        TransferFailure{"fail-write@erase", "Device Erase Command Failed", "erase request could not be sent"},
        TransferFailure{"fail-write@info#2", "Checking Device Active Command Failed ",
                        "did not answer after the erase"},
        TransferFailure{"no-answer@info#2", "Checking Device Active Read Failed ", "no answer in time, error 1460"},
        TransferFailure{"fail-write@program#5", "Program Write Failed", "packet 5 at 0x10E8"},
        TransferFailure{"disconnect@program#900", "Program Write Failed", "the device is gone, error 1167"},
        TransferFailure{"fail-write@end", "Program Write Failed", "end of programming could not be sent"},
        TransferFailure{"fail-write@crc", "CRC Send Failed", "checksum request could not be sent"},
        TransferFailure{"fail-read@crc", "CRC Response Failed", "did not answer the checksum request"}),
    [](const ::testing::TestParamInfo<TransferFailure>& failure) {
      std::string name = failure.param.fault;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// The firmware is in and confirmed, and the device did not restart: both facts, unmixed.
TEST(Flash, ResetFailureAfterTheMatchSaysTheFirmwareIsConfirmed) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-fault", "fail-write@reset", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceFailure));
  EXPECT_NE(run.out.find("Device Status: CRC Matched"), std::string::npos);
  EXPECT_NE(run.err.find("Reset Command Failed\n"), std::string::npos);
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("the firmware is in, but the device did not restart; power it off and on"),
            std::string::npos)
      << errors[0];

  const CliRun json =
      RunCli(Args({"flash", "--simulate", "--json", "--sim-fault", "fail-write@reset", SampleFirmware()}));
  const JsonValue outcome = ParseJson(json.out);
  EXPECT_EQ(outcome["verdict"].string, "match");
  EXPECT_EQ(outcome["failed_step"].string, "reset");
  EXPECT_EQ(outcome["result"].string, "Reset Command Failed");
  EXPECT_EQ(outcome["exit_code"].number, Code(ExitCode::kDeviceFailure));
}

TEST(Flash, RefusedFileNeverReachesTheDevice) {
  ScratchDir scratch;
  const std::string file = scratch.File("wrong.hex");
  WriteFileText(file, "TALVORX\r\n" + HexRecords({{0x1000, {1, 2, 3}}}));
  const std::string log = scratch.File("wire.log");
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-log", log, file}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused));
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Invalid Firmware Signature"), std::string::npos);
  EXPECT_NE(errors[0].find("no device was touched"), std::string::npos);
  EXPECT_EQ(ReadFileText(log), "");  // not even the ready exchange
}

TEST(Flash, DamagedRecordIsNamedByItsLine) {
  ScratchDir scratch;
  const std::string file = scratch.File("damaged.hex");
  std::string records = HexRecords({{0x1000, std::vector<std::uint8_t>(64, 0x5A)}});
  records[records.find("\r\n:") + 2 + 40] ^= 1;  // a data digit of the second record (line 3)
  WriteFileText(file, kSignatureLine + records);
  const CliRun run = RunCli(Args({"flash", "--simulate", file}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_NE(run.err.find("line 3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Invalid Firmware Record at Line 3"), std::string::npos) << run.err;
}

TEST(Flash, MissingFileSaysSoWithTheSystemsReason) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "/nonexistent/firmware.hex"}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("check the path"), std::string::npos);
}

TEST(Flash, FileOutsideTheRegionIsRefusedBeforeTheEraseUnlessForced) {
  ScratchDir scratch;
  const std::string file = scratch.File("boot-area.hex");
  WriteFileText(file, kSignatureLine + HexRecords({{0x0100, std::vector<std::uint8_t>(32, 0x11)}}));
  const std::string log = scratch.File("wire.log");
  const CliRun refused = RunCli(Args({"flash", "--simulate", "--sim-log", log, file}));
  EXPECT_EQ(refused.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_NE(refused.err.find("sets no byte inside the application region 0x1000-0xEFFF"), std::string::npos)
      << refused.err;
  for (const WireLine& line : ReadWireLog(log)) EXPECT_NE(line.bytes[1], 0x04) << "erase sent";

  const std::string dump = scratch.File("memory.bin");
  const CliRun forced = RunCli(Args({"flash", "--simulate", "--force", "--sim-dump", dump, file}));
  EXPECT_EQ(forced.exit_code, Code(ExitCode::kSuccess)) << forced.err;
  EXPECT_NE(forced.err.find("32 bytes of the file lie outside"), std::string::npos) << forced.err;
  const std::vector<std::uint8_t> memory = ReadFileBytes(dump);
  EXPECT_TRUE(std::all_of(memory.begin() + kRegionStart, memory.begin() + kRegionStart + kRegionSize,
                          [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(Flash, NoDeviceIsTheDialogsWarningAndItsOwnExitCode) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-devices", "0", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceNotFound));
  EXPECT_NE(run.out.find("Device Status: Device Not Connected\n"), std::string::npos);
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(std::string("fwupgrade: ") + kNotFound, 0), 0u) << errors[0];
}

TEST(Flash, PathPicksOneOfSeveralDevicesAndLeavesTheOthersAlone) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(
      Args({"flash", "--simulate", "--sim-devices", "3", "--path", "sim:hid#2", "--sim-dump", dump, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err.find("note:"), std::string::npos);  // the user picked one: no remark about the others
  ExpectRegionHoldsFile(ReadFileBytes(dump + ".2"), SampleFirmware());
  for (const char* untouched : {".1", ".3"}) {
    const std::vector<std::uint8_t> memory = ReadFileBytes(dump + untouched);
    EXPECT_EQ(memory[kRegionStart], OldByte(kRegionStart)) << untouched;
  }
}

TEST(Flash, SeveralDevicesWithoutPathTakeTheFirstAndSaySo) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-devices", "3", "--sim-dump", dump, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("note: 3 devices in Firmware Upgrade Mode are present; using 'sim:hid#1'"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("--path PATH"), std::string::npos);
  EXPECT_NE(run.err.find("--all"), std::string::npos);
  ExpectRegionHoldsFile(ReadFileBytes(dump + ".1"), SampleFirmware());
  EXPECT_EQ(ReadFileBytes(dump + ".2")[kRegionStart], OldByte(kRegionStart));
}

// The file is parsed once, before any device is touched; if it changes before the erase, what
// would be programmed is no longer what was checked.
TEST(Flash, FileChangedAfterItWasCheckedIsNotErasedFor) {
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex");
  WriteFileText(file, ReadFileText(SampleFirmware()));
  std::shared_ptr<sim::BootLoader> device = std::make_shared<sim::BootLoader>();
  // A bus that, when the device is opened, lets someone rewrite the file.
  class RewritingBus : public sim::SimBus {
   public:
    explicit RewritingBus(std::string path) : path_(std::move(path)) {}
    OpenResult Open(const std::string& path, HidAccess access) override {
      WriteFileText(path_, ReadFileText(SampleFirmware()) + "\r\n");
      return sim::SimBus::Open(path, access);
    }

   private:
    std::string path_;
  };
  RunSetup setup;
  setup.hardware = [device, file](std::string&) -> std::unique_ptr<HidBus> {
    auto bus = std::make_unique<RewritingBus>(file);
    bus->Add({std::u16string(sim::kBootLoaderHardwareId), "/dev/hidraw3", device});
    return bus;
  };
  const CliRun run = RunCli({"flash", file}, setup);
  EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused)) << run.err;
  EXPECT_NE(run.err.find("changed after it was checked; nothing was erased"), std::string::npos) << run.err;
  EXPECT_EQ(device->Counters().erases, 0u);
}

TEST(Flash, UnknownPathIsNotFound) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--path", "sim:hid#9", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceNotFound));
  EXPECT_NE(run.err.find("at 'sim:hid#9'"), std::string::npos) << run.err;
}

TEST(Flash, DeviceFoundButNotOpenedPointsToTheUdevRule) {
  std::shared_ptr<sim::BootLoader> device = std::make_shared<sim::BootLoader>();
  RunSetup setup;
  setup.hardware = [device](std::string&) -> std::unique_ptr<HidBus> {
    auto bus = std::make_unique<sim::SimBus>();
    bus->Add({u"HID\\VID_1209&PID_0001&REV_0100", "/dev/hidraw0", nullptr});
    sim::SimInterface board{std::u16string(sim::kBootLoaderHardwareId), "/dev/hidraw3", device};
    board.write_open_error = kErrorAccessDenied;
    board.read_open_error = kErrorAccessDenied;
    bus->Add(board);
    return bus;
  };
  const CliRun run = RunCli({"flash", SampleFirmware()}, setup);
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceFailure));
  const auto errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_NE(errors[0].find("the device at '/dev/hidraw3' was found but could not be opened: permission denied"),
            std::string::npos)
      << errors[0];
  EXPECT_NE(errors[0].find("udev rule"), std::string::npos);
  EXPECT_EQ(device->Counters().erases, 0u);
  EXPECT_TRUE(device->Log().empty());
}

// A name that cannot be written is found before any device is touched.
TEST(Flash, UnwritableDumpStopsTheRunBeforeTheDevice) {
  const CliRun run =
      RunCli(Args({"flash", "--simulate", "--sim-dump", "/nonexistent/dir/memory.bin", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kOutputFailed));
  EXPECT_EQ(run.out.find("Device Erase"), std::string::npos);
  EXPECT_NE(run.err.find("cannot write the simulated device's memory to '/nonexistent/dir/memory.bin': No such file "
                         "or directory"),
            std::string::npos)
      << run.err;
}

// Every outcome, a refused file or a wrong command line too, says what it is in the same members.
TEST(FlashJson, RefusalsCarryTheSameMembersAsARun) {
  ScratchDir scratch;
  const std::string file = scratch.File("wrong.hex");
  WriteFileText(file, "TALVORX\r\n" + HexRecords({{0x1000, {1, 2, 3}}}));
  const CliRun refused = RunCli(Args({"flash", "--simulate", "--json", file}));
  EXPECT_EQ(refused.exit_code, Code(ExitCode::kFileRefused));
  const JsonValue json = ParseJson(refused.out);
  EXPECT_EQ(json["command"].string, "flash");
  EXPECT_EQ(json["step"].string, "load-image");
  EXPECT_EQ(json["failed_step"].string, "load-image");
  EXPECT_EQ(json["verdict"].string, "none");
  EXPECT_EQ(json["result"].string, "Invalid Firmware Signature");
  EXPECT_EQ(json["error"]["kind"].string, "file-refused");

  const CliRun usage = RunCli({"flash", "--json", "--wait", "soon", file});
  EXPECT_EQ(ParseJson(usage.out)["command"].string, "flash");
  EXPECT_EQ(ParseJson(RunCli({"erase", "--json"}).out)["command"].kind, JsonValue::Kind::Null);
}

TEST(FlashJson, OutcomeIsTheOnlyThingOnStandardOutput) {
  const CliRun run = RunCli(Args({"flash", "--simulate", "--json", SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const JsonValue json = ParseJson(run.out);
  EXPECT_EQ(json["command"].string, "flash");
  EXPECT_EQ(json["path"].string, "sim:hid#1");
  EXPECT_EQ(json["versions"]["application"].string, "2.4.1");
  EXPECT_EQ(json["versions"]["boot"].string, "1.0.7");
  EXPECT_EQ(json["verdict"].string, "match");
  EXPECT_EQ(json["step"].string, "done");
  EXPECT_EQ(json["result"].string, "CRC Matched");
  EXPECT_EQ(json["region"]["start"].number, kRegionStart);
  EXPECT_EQ(json["region"]["size"].number, kRegionSize);
  EXPECT_EQ(json["packets"]["sent"].number, 989);
  EXPECT_EQ(json["packets"]["total"].number, 989);
  EXPECT_EQ(json["status"].size(), 5u);
  EXPECT_EQ(json["status"][4].string, "CRC Matched");
  ASSERT_EQ(json["boxes"].size(), 1u);
  EXPECT_EQ(json["boxes"][0]["text"].string, "Firmware download Success\r\nPress OK to Reboot!");
  EXPECT_EQ(json["exit_code"].number, 0);
  EXPECT_FALSE(json.Has("error"));
  EXPECT_GE(json["seconds"].number, 0);
}

TEST(FlashJson, ErrorsAreJsonToo) {
  const CliRun run =
      RunCli(Args({"flash", "--simulate", "--json", "--sim-fault", "fail-write@program#2", SampleFirmware()}));
  EXPECT_EQ(run.exit_code, Code(ExitCode::kDeviceFailure));
  const JsonValue json = ParseJson(run.out);
  EXPECT_EQ(json["exit_code"].number, Code(ExitCode::kDeviceFailure));
  EXPECT_EQ(json["error"]["kind"].string, "device-failure");
  EXPECT_NE(json["error"]["message"].string.find("Program Write Failed"), std::string::npos);
  EXPECT_EQ(json["step"].string, "program-write");
  EXPECT_EQ(json["packets"]["sent"].number, 1);
  EXPECT_EQ(run.err, "");

  const CliRun usage = RunCli({"flash", "--json"});
  EXPECT_EQ(usage.exit_code, Code(ExitCode::kUsage));
  EXPECT_EQ(ParseJson(usage.out)["error"]["kind"].string, "usage");
}

}  // namespace
}  // namespace fwup::cli::testing
