// fwupgrade flash against the simulated boot loader: the wire, the verdicts, every failure and
// its exit code, and the files and devices refused before anything is erased.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli_runner.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::cli::testing {
namespace {

TEST(Flash, TheDeviceHoldsTheFileAndTheWireIsTheUpgradeByteForByte) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin"), log = scratch.File("wire.log");
  const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-dump", dump, "--sim-log", log, SampleFirmware()}));
  ASSERT_EQ(run.exit_code, Code(ExitCode::kSuccess)) << run.err;
  for (const char* line : {"Device Status: Device Connected and Firmware Upgrade Mode\n",
                           "Current Application Firmware Version: 2.4.1 and Boot Version:1.0.7\n",
                           "Device Status: Valid Firmware Signature\n", "Device Status: Device Erase\n",
                           "Device Status: Device Program\n", "Device Program: 10% (99/989 packets)\n",
                           "Device Program: 100% (989/989 packets)\n", "Computing CRC. Please wait...\n",
                           "Device Status: CRC Matched\n", "Firmware download Success\nPress OK to Reboot!\n"}) {
    EXPECT_TRUE(Contains(run.out, line));
  }
  EXPECT_EQ(Count(run.out, "Device Program: "), 10u);  // a line per tenth, not a bar: not a terminal
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;
  const std::vector<std::uint8_t> memory = ReadFileBytes(dump);
  EXPECT_TRUE(HoldsFile(memory, SampleFirmware()));
  for (const std::uint32_t address : {0u, kRegionStart - 1, kRegionStart + kRegionSize, 65535u}) {
    EXPECT_EQ(memory[address], OldByte(address)) << "outside the region: " << address;
  }

  // Ready, both version queries, device info, erase, the active check, the packets, end,
  // checksum, reset: each request and its answer on a line, the packets' bytes being held by
  // the memory above and to the byte by the core's wire transcripts.
  std::vector<int> expected = {0xA2, 0xAD, 0xAE, 0x02, 0x04, 0x02};
  expected.insert(expected.end(), (kRegionSize + 57) / 58, 0x05);
  expected.insert(expected.end(), {0x06, 0x09, 0x08});
  EXPECT_EQ(Requests(log), expected);
  const std::vector<WireLine> lines = ReadWireLog(log);
  ASSERT_EQ(lines.size(), expected.size() + 6);
  EXPECT_EQ(lines[1].bytes[1], 0xAD);                 // the ready answer, in its 0xAD form
  EXPECT_EQ(lines[lines.size() - 2].bytes[2], 0xFF);  // the match verdict
}

struct Outcome {
  const char* fault;
  ExitCode code;
  const char* dialog;  // the dialog's words for it
  const char* detail;  // what the command line adds, in its one error line
};

// Every way a run on a device can end but success: its exit code, the dialog's words, and one
// error line that says what happened. Success is never shown but after the match verdict.
TEST(Flash, EveryOutcomeHasItsExitCodeAndTheDialogsWords) {
  for (const Outcome& c : std::vector<Outcome>{
           {"verdict:55", ExitCode::kMismatch, "Firmware download Failed\nPress OK to Re-enter Firmware Upgrade\n",
            "run flash again"},
           {"verdict:12", ExitCode::kNoVerdict, "", "verdict byte 0x12"},
           {"fail-write@info", ExitCode::kDeviceFailure, "Query Device Info Failed\n", "nothing was erased"},
           {"fail-write@erase", ExitCode::kDeviceFailure, "Device Erase Command Failed\n",
            "erase request could not be sent"},
           {"fail-write@info#2", ExitCode::kDeviceFailure, "Checking Device Active Command Failed \n",
            "did not answer after the erase"},
           {"no-answer@info#2", ExitCode::kDeviceFailure, "Checking Device Active Read Failed \n",
            "no answer in time, error 1460"},
           {"fail-write@program#5", ExitCode::kDeviceFailure, "Program Write Failed\n", "packet 5 at 0x10E8"},
           {"disconnect@program#900", ExitCode::kDeviceFailure, "Program Write Failed\n",
            "the device is gone, error 1167"},
           {"fail-write@end", ExitCode::kDeviceFailure, "Program Write Failed\n",
            "end of programming could not be sent"},
           {"fail-write@crc", ExitCode::kDeviceFailure, "CRC Send Failed\n", "checksum request could not be sent"},
           {"fail-read@crc", ExitCode::kDeviceFailure, "CRC Response Failed\n", "did not answer the checksum request"},
           // The firmware is in and confirmed, and the device did not restart: both facts, unmixed.
           {"fail-write@reset", ExitCode::kDeviceFailure, "Reset Command Failed\n",
            "the firmware is in, but the device did not restart; power it off and on"}}) {
    const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-fault", c.fault, SampleFirmware()}));
    EXPECT_EQ(run.exit_code, Code(c.code)) << c.fault << ": " << run.err;
    EXPECT_TRUE(Contains(run.out + run.err, c.dialog)) << c.fault;
    const auto errors = ErrorLines(run.err);
    ASSERT_EQ(errors.size(), 1u) << c.fault << ": " << run.err;
    EXPECT_TRUE(Contains(errors[0], c.detail));
    const bool matched = std::string(c.fault) == "fail-write@reset";
    EXPECT_EQ(run.out.find("Device Status: CRC Matched") != std::string::npos, matched) << c.fault;
    EXPECT_EQ(run.out.find("Firmware download Success") != std::string::npos, matched) << c.fault;
  }
}

// With --json the outcome is the only thing on stdout, in the same members whatever the outcome:
// a run, a failure, a refused file or a wrong command line.
TEST(Flash, JsonCarriesTheOutcome) {
  const auto flash = [](const std::string& fault) {
    return RunCli(Args({"flash", "--simulate", "--json", "--sim-fault", fault, SampleFirmware()}));
  };
  const CliRun run = RunCli(Args({"flash", "--simulate", "--json", SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(JsonHas(run.out, R"({"command": "flash", "verdict": "match", "step": "done", "packets": {"sent": 989},
      "region": {"start": 4096, "size": 57344}, "exit_code": 0, "error": null,
      "boxes": [{"text": "Firmware download Success\r\nPress OK to Reboot!"}]})"));

  const CliRun failed = flash("fail-write@program#2");
  EXPECT_TRUE(JsonHas(failed.out, R"({"exit_code": 4, "error": {"kind": "device-failure"}, "step": "program-write",
      "packets": {"sent": 1}})"));
  EXPECT_TRUE(Contains(ParseJson(failed.out)["error"]["message"].get<std::string>(), "Program Write Failed"));
  EXPECT_EQ(failed.err, "");
  EXPECT_TRUE(JsonHas(flash("fail-write@reset").out, R"({"verdict": "match", "failed_step": "reset"})"));
  // The device never told its region.
  EXPECT_TRUE(JsonHas(flash("no-answer@info").out, R"({"failed_step": "device-info", "region": null})"));

  ScratchDir scratch;
  const std::string file = scratch.File("wrong.hex");
  WriteFileText(file, "TALVORX\r\n" + HexRecords({{0x1000, {1, 2, 3}}}));
  EXPECT_TRUE(JsonHas(RunCli(Args({"flash", "--simulate", "--json", file})).out,
                      R"({"step": "load-image", "failed_step": "load-image", "verdict": "none",
                          "result": "Invalid Firmware Signature", "error": {"kind": "file-refused"}})"));
  EXPECT_TRUE(JsonHas(RunCli({"flash", "--json", "--wait", "soon", file}).out,
                      R"({"command": "flash", "error": {"kind": "usage"}})"));
  EXPECT_TRUE(JsonHas(RunCli({"erase", "--json"}).out, R"({"command": null})"));
}

// A file that is refused, or sets nothing inside the region, is found before the erase.
TEST(Flash, RefusedFileNeverReachesTheDevice) {
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex"), log = scratch.File("wire.log");
  for (const auto& [content, says] : std::vector<std::pair<std::string, const char*>>{
           {"TALVORX\r\n" + HexRecords({{0x1000, {1, 2, 3}}}), "Invalid Firmware Signature"},
           {kSignatureLine + HexRecords({{0x0100, std::vector<std::uint8_t>(32, 0x11)}}),
            "sets no byte inside the application region 0x1000-0xEFFF"}}) {
    WriteFileText(file, content);
    const CliRun run = RunCli(Args({"flash", "--simulate", "--sim-log", log, file}));
    EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused)) << says;
    const auto errors = ErrorLines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_TRUE(Contains(errors[0], says));
    for (const int code : Requests(log)) EXPECT_NE(code, 0x04) << "erase sent";
  }
  // The last file, forced: programmed, and the region is left erased.
  const std::string dump = scratch.File("memory.bin");
  const CliRun forced = RunCli(Args({"flash", "--simulate", "--force", "--sim-dump", dump, file}));
  EXPECT_EQ(forced.exit_code, Code(ExitCode::kSuccess)) << forced.err;
  EXPECT_TRUE(Contains(forced.err, "32 bytes of the file lie outside"));
  EXPECT_TRUE(HoldsFile(ReadFileBytes(dump), file));
}

// The file is read once, before any device is touched: a file rewritten on disk after that
// changes nothing of what is programmed or logged.
TEST(Flash, WhatIsProgrammedAndLoggedIsTheFileAsItWasChecked) {
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex");
  const std::string log = scratch.File("boards.log");
  WriteFileText(file, ReadFileText(SampleFirmware()));
  std::shared_ptr<sim::BootLoader> device = std::make_shared<sim::BootLoader>();
  // A bus that, when the device is opened, lets someone rewrite the file.
  class RewritingBus : public sim::SimBus {
   public:
    explicit RewritingBus(std::string path) : path_(std::move(path)) {}
    OpenResult Open(const std::string& path, HidAccess access) override {
      WriteFileText(path_, kSignatureLine + HexRecords({{kRegionStart, {1, 2, 3}}}));
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
  const CliRun run = RunCli({"flash", "--log", log, file}, setup);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const ImageBuffer memory = device->Memory();
  EXPECT_TRUE(HoldsFile({memory.begin(), memory.end()}, SampleFirmware()));
  const JsonValue line = ParseJson(ReadFileText(log));
  EXPECT_EQ(line["file_sha256"], Shell("sha256sum " + Quoted(SampleFirmware())).out.substr(0, 64));
  EXPECT_EQ(line["file_size"], std::filesystem::file_size(SampleFirmware()));
}

TEST(Flash, DeviceNotThereOrNotOpened) {
  const CliRun none = RunCli(Args({"flash", "--simulate", "--sim-devices", "0", SampleFirmware()}));
  EXPECT_EQ(none.exit_code, Code(ExitCode::kDeviceNotFound));
  EXPECT_TRUE(Contains(none.out, "Device Status: Device Not Connected\n"));
  const auto errors = ErrorLines(none.err);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("fwupgrade: Device Not Found,Restart and Select Firmware Upgrade Mode in the Device", 0),
            0u)
      << errors[0];
  const CliRun unknown = RunCli(Args({"flash", "--simulate", "--path", "sim:hid#9", SampleFirmware()}));
  EXPECT_EQ(unknown.exit_code, Code(ExitCode::kDeviceNotFound));
  EXPECT_TRUE(Contains(unknown.err, "at 'sim:hid#9'"));
  EXPECT_EQ(RunCli(Args({"flash", "--all", "--simulate", "--sim-devices", "0", SampleFirmware()})).exit_code,
            Code(ExitCode::kDeviceNotFound));

  std::shared_ptr<sim::BootLoader> device = std::make_shared<sim::BootLoader>();
  RunSetup setup;
  setup.hardware = [device](std::string&) -> std::unique_ptr<HidBus> {
    auto bus = std::make_unique<sim::SimBus>();
    bus->Add({u"HID\\VID_1209&PID_0001&REV_0100", "/dev/hidraw0", nullptr});
    sim::SimInterface board{std::u16string(sim::kBootLoaderHardwareId), "/dev/hidraw3", device};
    board.write_open_error = board.read_open_error = kErrorAccessDenied;
    bus->Add(board);
    return bus;
  };
  const CliRun denied = RunCli({"flash", SampleFirmware()}, setup);
  EXPECT_EQ(denied.exit_code, Code(ExitCode::kDeviceFailure));
  const auto denied_errors = ErrorLines(denied.err);
  ASSERT_EQ(denied_errors.size(), 1u) << denied.err;
  EXPECT_TRUE(
      Contains(denied_errors[0], "the device at '/dev/hidraw3' was found but could not be opened: permission denied"));
  EXPECT_TRUE(Contains(denied_errors[0], "udev rule"));
  EXPECT_TRUE(device->Log().empty());
}

// Of several devices, --path picks one by its path or its location and leaves the others alone;
// without it the first is taken, and the user is told.
TEST(Flash, OneOfSeveralDevices) {
  ScratchDir scratch;
  const std::string dump = scratch.File("memory.bin");
  for (const char* chosen : {"sim:hid#2", "sim-2"}) {
    const CliRun picked = RunCli(Args({"flash", "--simulate", "--sim-devices", "3", "--path", chosen, "--sim-dump",
                                       dump, "--json", SampleFirmware()}));
    ASSERT_EQ(picked.exit_code, 0) << picked.err;
    EXPECT_FALSE(Contains(picked.err, "note:"));
    const JsonValue json = ParseJson(picked.out);
    EXPECT_EQ(json["path"].get<std::string>(), "sim:hid#2") << chosen;
    EXPECT_EQ(json["location"].get<std::string>(), "sim-2") << chosen;
    EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + ".2"), SampleFirmware()));
    for (const char* untouched : {".1", ".3"})
      EXPECT_EQ(ReadFileBytes(dump + untouched)[kRegionStart], OldByte(kRegionStart));
  }

  const CliRun first =
      RunCli(Args({"flash", "--simulate", "--sim-devices", "3", "--sim-dump", dump, SampleFirmware()}));
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_TRUE(Contains(first.err, "note: 3 devices in Firmware Upgrade Mode are present; using 'sim:hid#1'"));
  EXPECT_TRUE(Contains(first.err, "--path PATH"));
  EXPECT_TRUE(Contains(first.err, "--all"));
  EXPECT_TRUE(HoldsFile(ReadFileBytes(dump + ".1"), SampleFirmware()));
}

}  // namespace
}  // namespace fwup::cli::testing
