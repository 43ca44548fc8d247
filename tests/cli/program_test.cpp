// The programs as a user runs them: the demo and the exit status a shell sees, the simulator's
// largest bench, the system's HID layer with no device attached, and the sample firmware made again
// from its generator.
#include <gtest/gtest.h>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

CliRun Fwupgrade(const std::string& arguments) { return Shell(std::string(FWUPGRADE_PROGRAM) + " " + arguments); }

TEST(Program, TheDemoFlashesTheSampleAndTheExitStatusReachesTheShell) {
  const CliRun run = Fwupgrade("flash --simulate " + SampleFirmware());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Device Program: 100% (989/989 packets)\n"));
  EXPECT_TRUE(Contains(run.out, "Firmware download Success\nPress OK to Reboot!\n"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Fwupgrade("").exit_code, Code(ExitCode::kUsage));
  EXPECT_EQ(Fwupgrade("flash --simulate --sim-transfer-time 0 --sim-fault verdict:55 " + SampleFirmware()).exit_code,
            Code(ExitCode::kMismatch));
#if !defined(__SANITIZE_ADDRESS__)  // it reserves terabytes of address space up front
  // The largest bench the simulator plans fits in a small address space: a board is made as it
  // arrives.
  const CliRun bench = Shell("ulimit -v 1000000; " + std::string(FWUPGRADE_PROGRAM) +
                             " flash --watch --count 2 --simulate --sim-devices 2 --sim-arrivals 1000000@0 "
                             "--sim-transfer-time 0 " +
                             SampleFirmware());
  EXPECT_EQ(bench.exit_code, 0) << bench.err;
#endif
}

TEST(Program, NoDevicePresentOnTheSystemsHidLayer) {
  const CliRun info = Fwupgrade("info");
  if (info.err.find("was found but could not be opened") != std::string::npos) GTEST_SKIP() << "a board is attached";
  EXPECT_EQ(info.exit_code, Code(ExitCode::kDeviceNotFound)) << info.err;
  EXPECT_TRUE(Contains(info.out, "Device Status: Device Not Connected\n"));
  const CliRun list = Fwupgrade("list");
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_FALSE(Contains(list.out, "\n* "));  // nothing the tool would use
  EXPECT_EQ(Fwupgrade("flash " + SampleFirmware()).exit_code, Code(ExitCode::kDeviceNotFound));
}

TEST(SampleFirmware, IsWhatItsGeneratorMakesAndCoversMuchOfTheRegion) {
  ScratchDir scratch;
  const std::string made = scratch.File("sample.hex");
  ASSERT_EQ(Shell(std::string(SAMPLE_FIRMWARE_GENERATOR) + " " + made).exit_code, 0);
  EXPECT_EQ(ReadFileText(made), ReadFileText(SampleFirmware()))
      << "examples/sample-firmware.hex differs from what make_sample_firmware makes";
  const auto bytes = ReferenceBytes(SampleFirmware());
  EXPECT_GE(bytes.size(), kRegionSize / 2);
  EXPECT_GE(bytes.begin()->first, kRegionStart);
  EXPECT_LT(bytes.rbegin()->first, kRegionStart + kRegionSize);
}

}  // namespace
}  // namespace fwup::cli::testing
