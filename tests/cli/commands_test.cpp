// fwupgrade list, info, check and image.
#include <gtest/gtest.h>

#include "cli_runner.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::cli::testing {
namespace {

TEST(List, ShowsEveryInterfaceInWalkOrderAndMarksTheOneUsed) {
  RunSetup setup;
  setup.hardware = [](std::string&) {
    auto bus = std::make_unique<sim::SimBus>();
    bus->Add({u"HID\\VID_1209&PID_0001&REV_0100", "/dev/hidraw0", nullptr});
    bus->Add({std::u16string(sim::kBootLoaderHardwareId), "/dev/hidraw1", std::make_shared<sim::BootLoader>()});
    sim::SimInterface plugged{u"HID\\VID_7E51&PID_0A3D", "/dev/hidraw2", std::make_shared<sim::BootLoader>()};
    plugged.location = "1-2.3";
    bus->Add(plugged);
    bus->Add({u"HID\\vid_7e51&pid_0a3d", "/dev/hidraw3", nullptr});  // lower case does not match
    return bus;
  };
  const CliRun run = RunCli({"list"}, setup);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "  HARDWARE ID                     LOCATION  PATH\n"
            "  HID\\VID_1209&PID_0001&REV_0100  -         /dev/hidraw0\n"
            "* HID\\VID_7E51&PID_0A3D&REV_0100  -         /dev/hidraw1\n"
            "+ HID\\VID_7E51&PID_0A3D           1-2.3     /dev/hidraw2\n"
            "  HID\\vid_7e51&pid_0a3d           -         /dev/hidraw3\n"
            "4 interfaces, 2 in Firmware Upgrade Mode. *: the one the tool would use; +: another (pick it with --path "
            "PATH).\n");
  // --path, by path or by location, moves the mark, and JSON says the same.
  for (const char* chosen : {"/dev/hidraw2", "1-2.3"}) {
    EXPECT_TRUE(JsonHas(RunCli({"list", "--json", "--path", chosen}, setup).out,
                        R"({"used": "/dev/hidraw2", "interfaces": [{"used": false}, {"location": null, "used": false},
                            {"location": "1-2.3", "used": true, "matches": true}, {"matches": false}]})"))
        << chosen;
  }
  EXPECT_EQ(RunCli({"list"}).out, "No HID interface is present.\n");
}

TEST(Info, ShowsTheStatusVersionsAndRegionWithoutErasing) {
  ScratchDir scratch;
  const std::string log = scratch.File("wire.log");
  const CliRun run = RunCli(Args({"info", "--simulate", "--sim-log", log}));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "Device Status: Device Connected and Firmware Upgrade Mode\n"
            "Current Application Firmware Version: 2.4.1 and Boot Version:1.0.7\n"
            "Device Path: sim:hid#1\n"
            "Location: sim-1\n"
            "Application Region: 0x1000-0xEFFF (57344 bytes)\n");
  EXPECT_EQ(run.err, "");
  // Ready, the two version queries and the device info query, each answered; nothing else.
  EXPECT_EQ(Requests(log), (std::vector<int>{0xA2, 0xAD, 0xAE, 0x02}));
  EXPECT_EQ(ReadWireLog(log).size(), 8u);

  EXPECT_TRUE(JsonHas(RunCli(Args({"info", "--simulate", "--json"})).out,
                      R"({"path": "sim:hid#1", "location": "sim-1", "versions": {"application": "2.4.1"},
                          "region": {"size": 57344}})"));

  // Trace lines go to stderr with -v, without CR, and change nothing else.
  const CliRun verbose = RunCli(Args({"info", "--simulate", "-v"}));
  for (const char* line :
       {"App Ready Command send\n", "Rawdata[64] = 0x0\n", "ApplicationFirmwareStartAddress = 4096\n"})
    EXPECT_TRUE(Contains(verbose.err, line)) << line;
  EXPECT_EQ(verbose.err.find('\r'), std::string::npos);
  EXPECT_EQ(verbose.out, run.out);
}

TEST(Info, FailedVersionQueryOrInfoQuery) {
  const CliRun version = RunCli(Args({"info", "--simulate", "--json", "--sim-fault", "fail-read@app-version"}));
  EXPECT_EQ(version.exit_code, Code(ExitCode::kDeviceFailure)) << version.err;
  EXPECT_TRUE(JsonHas(version.out, R"({"status": ["Device Connected and Firmware Upgrade Mode", "Version Query Failed"],
      "versions": {"application": null}, "version_line": " and Boot Version:1.0.7",
      "region": {"size": 57344}})"));  // the region is still shown
  EXPECT_TRUE(Contains(ParseJson(version.out)["error"]["message"].get<std::string>(), "Version Query Failed"));

  const CliRun info = RunCli(Args({"info", "--simulate", "--sim-fault", "no-answer@info"}));
  EXPECT_EQ(info.exit_code, Code(ExitCode::kDeviceFailure));
  EXPECT_TRUE(Contains(info.err, "Query Device Info Failed"));
}

// Data the 64 KiB image cannot hold is dropped, as the dialog drops it, but said, by check,
// flash and image alike.
TEST(Check, CountsWhatTheFileSetsAgainstTheRegion) {
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex");
  WriteFileText(
      file, kSignatureLine + ":020000040001F9\r\n" + ":03000000AABBCCCC\r\n" +  // 3 bytes at 0x10000
                ":020000040000FA\r\n" + ":04FFFE001122334455\r\n" +             // 2 of 4 past 0xFFFF
                HexRecords({{0x0800, std::vector<std::uint8_t>(16, 1)}, {0x2000, std::vector<std::uint8_t>(32, 2)}}));
  const CliRun run = RunCli({"check", file});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  for (const char* line :
       {"Set by the file: 32 bytes inside the region, 18 outside it\n",
        "5 bytes lie above the 64 KiB image and are ignored", "Accepted: flash would program this file.\n"})
    EXPECT_TRUE(Contains(run.out, line));
  EXPECT_TRUE(JsonHas(RunCli({"check", "--json", file}).out,
                      R"({"accepted": true, "load": "loaded", "bytes_in_region": 32, "bytes_outside_region": 18,
                          "bytes_above_image": 5, "end_record_line": 9})"));
  const CliRun flash = RunCli(Args({"flash", "--simulate", file}));
  EXPECT_EQ(flash.exit_code, 0) << flash.err;
  EXPECT_TRUE(Contains(flash.err, "5 bytes lie above the 64 KiB image"));
  EXPECT_TRUE(Contains(RunCli({"image", file, "-o", scratch.File("image.bin")}).out,
                       "Note: 5 bytes lie above the 64 KiB image and are ignored.\n"));

  const CliRun low = RunCli({"check", file, "--region", "0x800:0x10"});
  EXPECT_EQ(low.exit_code, 0);
  EXPECT_TRUE(Contains(low.out, "16 bytes inside the region, 34 outside it"));
  const CliRun none = RunCli({"check", file, "--region", "0x4000:4096"});
  EXPECT_EQ(none.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_TRUE(Contains(none.err, "sets no byte inside the application region 0x4000-0x4FFF"));
  for (const char* bad : {"4096", "x:1", "4096:", "65535:2", "-1:5"}) {
    EXPECT_EQ(RunCli({"check", file, "--region", bad}).exit_code, Code(ExitCode::kUsage)) << bad;
  }
}

// Each kind of refusal: the dialog's text and what the command line adds, on one line. The
// reason for each kind of defective record is held by the loader's own tests.
TEST(Check, RefusesWithTheReason) {
  const std::vector<std::tuple<std::string, const char*, const char*>> cases = {
      {"talvork\r\n" + HexRecords({{0x1000, {1}}}), "Invalid Firmware Signature", "TALVORK"},
      {"TALV", "Invalid Firmware Signature", "pick the right file"},
      {"", "Invalid Firmware File: Empty", "is empty"},
      {kSignatureLine + ":01100000559A\r\n", "No End Record", "cut short"},
      {kSignatureLine + ":01100000559B\r\n:00000001FF\r\n", "Invalid Firmware Record at Line 2", "line 2: checksum 9B"},
      {kSignatureLine + ":01100000559A\r:00000001FF\r", "No End Record", "its lines end in CR alone"}};
  ScratchDir scratch;
  const std::string file = scratch.File("firmware.hex");
  for (const auto& [content, said, detail] : cases) {
    WriteFileText(file, content);
    const CliRun run = RunCli({"check", file});
    EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused)) << said;
    EXPECT_TRUE(Contains(run.err, said));
    EXPECT_TRUE(Contains(run.err, detail));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_TRUE(JsonHas(RunCli({"check", "--json", file}).out,  // the last: CR alone
                      R"({"accepted": false, "load": "missing-end-record", "error": {"kind": "file-refused"},
                          "exit_code": 5})"));
  WriteFileText(file, kSignatureLine + ":01100000559B\r\n:00000001FF\r\n");
  EXPECT_EQ(ParseJson(RunCli({"check", "--json", file}).out)["first_defect"]["line"].get<double>(), 2);
}

// A file name is taken and printed back byte for byte: UTF-8 in any script, and on Linux a name
// that is not UTF-8 at all.
TEST(Check, NamesTheFileAsGiven) {
  ScratchDir scratch;
  for (const std::string name : {"прошивка-固件.hex", "caf\xE9.hex"}) {
    const std::string file = scratch.File(name);
    WriteFileText(file, "TALVORX\r\n:00000001FF\r\n");
    const CliRun run = RunCli({"check", file});
    EXPECT_EQ(run.exit_code, Code(ExitCode::kFileRefused)) << run.err;
    EXPECT_TRUE(Contains(run.out, "File: " + file + "\n"));
    EXPECT_TRUE(Contains(run.err, "'" + file + "' does not begin with the signature"));
  }
}

TEST(Image, WritesTheFilesBytesOverErasedBytesOrNothing) {
  ScratchDir scratch;
  const std::string out = scratch.File("image.bin");
  const CliRun run = RunCli({"image", SampleFirmware(), "-o", out});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(HoldsFile(ReadFileBytes(out), SampleFirmware(), 0, 65536));
  EXPECT_TRUE(Contains(run.out, std::to_string(ReferenceBytes(SampleFirmware()).size()) + " of them set by the file"));

  const std::string file = scratch.File("firmware.hex");
  WriteFileText(file, kSignatureLine + ":01100000559B\r\n:00000001FF\r\n");
  const std::string refused = scratch.File("refused.bin");
  const CliRun bad = RunCli({"image", file, "-o", refused});
  EXPECT_EQ(bad.exit_code, Code(ExitCode::kFileRefused));
  EXPECT_TRUE(Contains(bad.err, "nothing was written"));
  EXPECT_FALSE(std::filesystem::exists(refused));
  EXPECT_EQ(RunCli({"image", SampleFirmware(), "-o", "/nonexistent/dir/image.bin"}).exit_code,
            Code(ExitCode::kOutputFailed));
}

}  // namespace
}  // namespace fwup::cli::testing
