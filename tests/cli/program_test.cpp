// The programs as a user runs them: the demo, the exit status a shell sees, the system's HID
// layer with no device attached, and the sample firmware made again from its generator.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "cli/exit_code.hpp"
#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

struct ProgramRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

ProgramRun RunProgram(const std::string& program, const std::string& arguments) {
  ScratchDir scratch;
  const std::string out = scratch.File("out.txt");
  const std::string err = scratch.File("err.txt");
  const int status = std::system((program + " " + arguments + " >" + out + " 2>" + err + " </dev/null").c_str());
  ProgramRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFileText(out);
  run.err = ReadFileText(err);
  return run;
}

ProgramRun Fwupgrade(const std::string& arguments) { return RunProgram(FWUPGRADE_PROGRAM, arguments); }

TEST(Program, TheDemoFlashesTheSampleIntoTheSimulatedBootLoader) {
  const ProgramRun run = Fwupgrade("flash --simulate " + SampleFirmware());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Device Program: 100% (989/989 packets)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Device Status: CRC Matched\n"), std::string::npos);
  EXPECT_NE(run.out.find("Firmware download Success\nPress OK to Reboot!\n"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST(Program, ExitStatusReachesTheShell) {
  EXPECT_EQ(Fwupgrade("").exit_code, ToInt(ExitCode::kUsage));
  EXPECT_EQ(Fwupgrade("check /nonexistent.hex").exit_code, ToInt(ExitCode::kFileRefused));
  EXPECT_EQ(Fwupgrade("flash --simulate --sim-transfer-time 0 --sim-fault verdict:55 " + SampleFirmware()).exit_code,
            ToInt(ExitCode::kMismatch));
}

TEST(Program, NoDevicePresentOnTheSystemsHidLayer) {
  const ProgramRun info = Fwupgrade("info");
  if (info.err.find("was found but could not be opened") != std::string::npos) GTEST_SKIP() << "a board is attached";
  EXPECT_EQ(info.exit_code, ToInt(ExitCode::kDeviceNotFound)) << info.err;
  EXPECT_NE(info.out.find("Device Status: Device Not Connected\n"), std::string::npos);
  EXPECT_NE(info.err.find("Device Not Found,Restart and Select Firmware Upgrade Mode in the Device"),
            std::string::npos);

  const ProgramRun list = Fwupgrade("list");
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_EQ(list.out.find("\n* "), std::string::npos) << list.out;  // nothing the tool would use

  EXPECT_EQ(Fwupgrade("flash " + SampleFirmware()).exit_code, ToInt(ExitCode::kDeviceNotFound));
}

TEST(SampleFirmware, IsWhatItsGeneratorMakes) {
  ScratchDir scratch;
  const std::string made = scratch.File("sample.hex");
  ASSERT_EQ(RunProgram(SAMPLE_FIRMWARE_GENERATOR, made).exit_code, 0);
  EXPECT_EQ(ReadFileText(made), ReadFileText(SampleFirmware()))
      << "examples/sample-firmware.hex differs from what make_sample_firmware makes";
}

TEST(SampleFirmware, CoversAGoodPartOfTheSimulatedRegionAndNothingOutsideIt) {
  const auto bytes = ReferenceBytes(SampleFirmware());
  EXPECT_GE(bytes.size(), 57344u / 2);
  EXPECT_GE(bytes.begin()->first, 4096u);
  EXPECT_LT(bytes.rbegin()->first, 4096u + 57344u);
  EXPECT_EQ(ReadFileText(SampleFirmware()).rfind("TALVORK\r\n", 0), 0u);
}

}  // namespace
}  // namespace fwup::cli::testing
