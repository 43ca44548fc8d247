// How a run is shown: a bar that moves with every packet on a terminal, a line per tenth
// otherwise, nothing but notes and trace lines with --json.
#include "cli/display/terminal_view.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "cli_runner.hpp"

namespace fwup::cli {
namespace {

using testing::Contains;
using testing::Count;

TEST(Progress, TheBarFollowsThePacketsBetweenTheDialogsPositionsAndFitsItsWidth) {
  const std::string bar = ProgressBarText({60, 495, 990}, 60);
  EXPECT_EQ(bar, "[###########################---------]  75%  495/990 packets");
  EXPECT_LE(bar.size(), 60u);
  EXPECT_EQ(ProgressBarText({10, 0, 0}, 12), "[#---------]  10%");  // never narrower than 10
  EXPECT_EQ(ProgressBarText({60, 5, 0}, 17), "[######----]  60%");  // an empty region sends nothing
  EXPECT_EQ(ProgressBarText({60, 989, 989}, 30).substr(12), "  90%  989/989 packets");
  EXPECT_EQ(ProgressBarText({90, 989, 989}, 30).substr(12), "  90%  989/989 packets");
  EXPECT_EQ(ProgressBarText({100, 989, 989}, 30).substr(12), " 100%  989/989 packets");
  EXPECT_EQ(ProgressBarText({150, 0, 0}, 17), "[##########] 100%");
}

TEST(Progress, RedrawsTheBarForEveryPacketOnATerminal) {
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
  EXPECT_TRUE(Contains(run.out, "\rDevice Status: CRC Matched\n"));
  const std::string last_line = "\n[##################################################] 100%  989/989 packets\n";
  ASSERT_GE(run.out.size(), last_line.size());
  EXPECT_EQ(run.out.substr(run.out.size() - last_line.size()), last_line);
}

// Quiet (--json) shows only notes and traces and records the rest; trace lines only when
// verbose; each device's lines of a bench begin with its path.
TEST(DeviceView, ShowsWhatItsScreenAllows) {
  std::ostringstream out, err;
  Console console{out, err, {true, 80, true}};
  Screen quiet(console, true, true);
  DeviceView view(quiet);
  view.SetStatusText("Device Erase");
  view.ShowBox({"Program Write Failed", "Firmware Upgrade", 0, BoxOwner::Dialog});
  view.SetProgress(60);
  view.PacketsSent(3, 10);
  view.PrintToStdout("Computing CRC. Please wait...\r\n");
  view.Note("note: something");
  view.Line("Image CRC value = 7\r\n");
  quiet.Finish();
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "note: something\nImage CRC value = 7\n");
  EXPECT_EQ(view.record().statuses, std::vector<std::string>{"Device Erase"});
  ASSERT_EQ(view.record().boxes.size(), 1u);
  EXPECT_EQ(view.record().progress.total, 10u);

  err.str("");
  console.terminal = {};
  Screen quiet_trace(console, false, false);
  DeviceView(quiet_trace).Line("not shown\r\n");
  EXPECT_EQ(err.str(), "");
  Screen bench(console, false, true, {"/dev/hidraw1", "/dev/hidraw2"});
  DeviceView second(bench, 1);
  second.SetStatusText("Device Erase");
  second.ShowBox({"Checking Device Active \r\nRead Failed", "Firmware Upgrade", 0, BoxOwner::Dialog});
  second.Line("a trace\r\n");
  bench.Finish();
  EXPECT_EQ(out.str(), "/dev/hidraw2: Device Status: Device Erase\n");
  EXPECT_EQ(err.str(), "/dev/hidraw2: Checking Device Active  / Read Failed\n/dev/hidraw2: a trace\n");
}

// While rows are live, a note (a board's, with --watch) goes above them and they are drawn again
// below it whole, so that it never lands inside the table.
TEST(Screen, ANoteWhileTheRowsAreLiveGoesAboveThem) {
  std::ostringstream both;
  Console console{both, both, {true, 80, true}};
  Screen table(console, false, false, {}, true);
  table.Show({{"SLOT", std::nullopt, "STATE"}, {"1-1", ProgressState{60, 1, 2}, "Device Program"}});
  const std::string rows = both.str();
  ASSERT_EQ(Count(rows, "\n"), 2u);
  DeviceView(table).Note("note: 4 bytes lie outside the region");
  EXPECT_EQ(both.str(), rows + "\x1b[2A\r\x1b[Jnote: 4 bytes lie outside the region\n" + rows);
}

}  // namespace
}  // namespace fwup::cli
