// The core's View and Trace on the terminal, with a record of what they were told for --json and
// the summary. A Screen is where the devices' views print: for one device, lines and, on a
// terminal, a progress bar redrawn in place on the last line; for flash --all, a row per device,
// redrawn in place where the terminal allows, otherwise each event on a line of its own that
// begins with the device's path. With --json (quiet) only notes and trace lines are printed.
// Safe to use from the threads of the devices.
#pragma once

#include <cstdint>
#include <mutex>
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

class Screen {
 public:
  // `rows`: the paths of flash --all's devices; none for one device.
  Screen(Console& console, bool quiet, bool verbose, std::vector<std::string> rows = {});
  // Ends the progress line or the rows, and prints the notes that waited for it.
  void Finish();

 private:
  friend class DeviceView;
  struct Row {
    std::string path;
    std::string text = "waiting";  // the last status, or the failure or verdict box
    ProgressState progress;
    int tenth_printed = 0;
  };

  void Event(std::size_t row, std::ostream& stream, std::string_view text);
  void Note(std::size_t row, std::string_view text, bool trace);
  void Update(std::size_t row, const std::string* text, const ProgressState* progress);
  void Print(std::ostream& stream, std::string_view line);  // above the bar, for one device
  std::string Prefix(std::size_t row) const { return bench_ ? rows_[row].path + ": " : std::string(); }
  void Redraw();

  Console& console_;
  bool quiet_;
  bool verbose_;
  bool bench_;
  bool live_;
  std::mutex mutex_;
  std::vector<Row> rows_;
  std::size_t path_width_ = 0;
  std::vector<std::string> drawn_;  // the rows or the bar as last drawn
  bool drawn_once_ = false;
  std::vector<std::string> deferred_notes_;
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

  void Note(std::string_view text) { screen_.Note(row_, text, false); }  // a remark of the shell's own
  const ViewRecord& record() const { return record_; }

 private:
  Screen& screen_;
  std::size_t row_;
  ViewRecord record_;
};

}  // namespace fwup::cli
