// The core's View and Trace on the terminal, with a record of what they were told for --json and
// the summary. A Screen is where the devices' views print: for one device, lines and, on a
// terminal, a progress bar redrawn in place on the last line; for flash --all, a row per device,
// redrawn in place where the terminal allows, otherwise each event on a line of its own that
// begins with the device's path; for flash --watch, the table of its slots. With --json (quiet)
// only notes and trace lines are printed. Safe to use from the threads of the devices.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::cli {

// Where an upgrade is: the dialog's progress position, refined between 60 and 90 by the packets
// sent, so that the bar moves with every packet while the dialog keeps its fixed positions.
struct ProgressState {
  int position = 0;  // the dialog's, 0 to 100
  std::uint32_t sent = 0;
  std::uint32_t total = 0;
};

// "[#########-----------]  45%  445/989 packets" in at most `width` characters (at least a short
// bar and the percentage).
std::string ProgressBarText(const ProgressState& state, int width);

struct ViewRecord {
  std::vector<std::string> statuses;
  std::string version_text;
  std::vector<Box> boxes;
  ProgressState progress;
};

// A row of the live table of flash --all and --watch: a name, a progress bar when it has one, a text.
struct LiveRow {
  std::string name;
  std::optional<ProgressState> progress;
  std::string text;
};

class Screen {
 public:
  // `rows`: the paths of flash --all's devices; none for one device. With `table` (flash --watch),
  // the views show only notes and trace lines, and the caller draws the rows (Show).
  Screen(Console& console, bool quiet, bool verbose, std::vector<std::string> rows = {}, bool table = false);
  // Ends the progress line.
  void Finish();
  // flash --watch: the rows, redrawn where they changed; a line above them.
  void Show(const std::vector<LiveRow>& rows);
  void Say(std::ostream& stream, std::string_view line);

 private:
  friend class DeviceView;
  // What is redrawn in place while the run goes on: nothing, one device's bar on the cursor's line,
  // or rows below the lines. It owns the terminal meanwhile: every line goes above it.
  enum class Live { Off, Bar, Rows };

  void Event(std::size_t row, std::ostream& stream, std::string_view text);
  void Note(std::size_t row, std::string_view text);
  void Update(std::size_t row, const std::string* text, const ProgressState* progress);
  void Print(std::ostream& stream, std::string_view line);
  void Draw(std::vector<std::string> lines);
  std::string Prefix(std::size_t row) const { return bench_ ? rows_[row].name + ": " : std::string(); }

  Console& console_;
  bool quiet_;
  bool verbose_;
  bool bench_;
  Live live_;
  std::mutex mutex_;
  std::vector<LiveRow> rows_;  // text: the last status, or the failure or verdict box
  std::vector<int> tenths_printed_;
  std::vector<std::string> drawn_;  // what is live, as last drawn
};

class DeviceView : public View, public Trace {
 public:
  DeviceView(Screen& screen, std::size_t row = 0) : screen_(screen), row_(row) {}

  void SetStatusText(std::string_view text) override;
  void SetVersionText(std::string_view text) override;
  void SetProgress(int position) override;
  void ShowBox(const Box& box) override;
  void PrintToStdout(std::string_view text) override;
  void PacketsSent(std::uint32_t sent, std::uint32_t total) override;
  void Line(std::string_view text) override;  // a trace line: printed with -v

  void Note(std::string_view text) { screen_.Note(row_, text); }  // a remark of the shell's own
  const ViewRecord& record() const { return record_; }

 private:
  Screen& screen_;
  std::size_t row_;
  ViewRecord record_;
};

}  // namespace fwup::cli
