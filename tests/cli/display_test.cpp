// How progress is drawn: a bar that moves with every packet on a terminal, a line per tenth
// otherwise; and the summary table of flash --all.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/flash_report.hpp"
#include "cli/progress.hpp"
#include "cli/text_display.hpp"
#include "cli_runner.hpp"

namespace fwup::cli {
namespace {

using testing::Count;

TEST(Progress, FollowsThePacketsBetweenTheDialogsPositions) {
  EXPECT_EQ(OverallPercent({50, 0, 0}), 50);
  EXPECT_EQ(OverallPercent({60, 0, 989}), 60);
  EXPECT_EQ(OverallPercent({60, 495, 990}), 75);
  EXPECT_EQ(OverallPercent({60, 989, 989}), 90);
  EXPECT_EQ(OverallPercent({90, 989, 989}), 90);
  EXPECT_EQ(OverallPercent({100, 989, 989}), 100);
  EXPECT_EQ(OverallPercent({60, 5, 0}), 60);  // an empty region sends nothing
}

TEST(Progress, BarFitsItsWidthAndShowsThePackets) {
  const std::string bar = ProgressBarText({60, 495, 990}, 60);
  EXPECT_EQ(bar, "[###########################---------]  75%  495/990 packets");
  EXPECT_LE(bar.size(), 60u);
  EXPECT_EQ(ProgressBarText({10, 0, 0}, 12), "[#---------]  10%");  // never narrower than 10
  EXPECT_EQ(PacketTenth({60, 98, 989}), 0);
  EXPECT_EQ(PacketTenth({60, 99, 989}), 1);
  EXPECT_EQ(PacketTenth({60, 989, 989}), 10);
}

TEST(TextDisplay, RedrawsTheBarForEveryPacketOnATerminal) {
  testing::RunSetup terminal;
  terminal.terminal = {true, 80, true};
  const testing::CliRun run =
      testing::RunCli(testing::Args({"flash", "--simulate", testing::SampleFirmware()}), terminal);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (unsigned sent = 1; sent <= 989; ++sent) {
    const std::string shown = std::to_string(sent) + "/989 packets";
    ASSERT_NE(run.out.find("  " + shown), std::string::npos) << sent;
  }
  EXPECT_EQ(Count(run.out, "Device Program: "), 0u);  // no lines per tenth: the bar shows it
  // Lines printed during the run stay above the bar, which ends the output at 100%.
  EXPECT_NE(run.out.find("\rDevice Status: CRC Matched\n"), std::string::npos);
  const std::string last_line = "\n[##################################################] 100%  989/989 packets\n";
  ASSERT_GE(run.out.size(), last_line.size());
  EXPECT_EQ(run.out.substr(run.out.size() - last_line.size()), last_line);
}

TEST(TextDisplay, PrintsATenthAtATimeWhenNotATerminal) {
  const testing::CliRun run = testing::RunCli(testing::Args({"flash", "--simulate", testing::SampleFirmware()}));
  ASSERT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_EQ(Count(run.out, "Device Program: "), 10u);
  EXPECT_NE(run.out.find("Device Program: 10% (99/989 packets)\n"), std::string::npos);
  EXPECT_NE(run.out.find("Device Program: 100% (989/989 packets)\n"), std::string::npos);
}

TEST(TextDisplay, QuietShowsOnlyNotesAndTraces) {
  std::ostringstream out;
  std::ostringstream err;
  Console console{out, err, {true, 80, true}};
  TextDisplay display(console, true);
  display.Status("Device Erase");
  display.ShowBox({"Program Write Failed", "Firmware Upgrade", 0, BoxOwner::Dialog});
  display.Progress({60, 3, 10});
  display.StdoutText("Computing CRC. Please wait...\r\n");
  display.Note("note: something");
  display.TraceLine("Image CRC value = 7\r\n");
  display.Finish();
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "note: something\nImage CRC value = 7\n");
}

TEST(Summary, TableHasAColumnPerFieldAndRightAlignedSeconds) {
  DeviceOutcome first;
  first.path = "/dev/hidraw3";
  first.app_version_taken = first.boot_version_taken = true;
  first.app_version = "2.4.1";
  first.boot_version = "1.0.7";
  first.result = "CRC Matched";
  first.seconds = 1.234;
  DeviceOutcome second;
  second.path = "/dev/hidraw12";
  second.result = "Device Not Found";
  second.seconds = 12.5;
  EXPECT_EQ(SummaryTable({first, second}),
            "PATH           APPLICATION  BOOT   VERDICT           SECONDS\n"
            "/dev/hidraw3   2.4.1        1.0.7  CRC Matched          1.23\n"
            "/dev/hidraw12  -            -      Device Not Found    12.50\n");
}

}  // namespace
}  // namespace fwup::cli
