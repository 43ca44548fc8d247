#include "cli/display/terminal_view.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "cli/display/text.hpp"

namespace fwup::cli {
namespace {

// The dialog sets 60 when programming starts and 90 when it is done.
constexpr int kProgramStart = 60;
constexpr int kProgramEnd = 90;

int OverallPercent(const ProgressState& state) {
  if (state.position == kProgramStart && state.total > 0) {
    const std::uint64_t done = std::min(state.sent, state.total);
    return kProgramStart + static_cast<int>(done * (kProgramEnd - kProgramStart) / state.total);
  }
  return std::clamp(state.position, 0, 100);
}

// A live table's lines: the names in a column, each bar as wide as the terminal leaves room for,
// and every line cut at the terminal's edge.
std::vector<std::string> TableLines(const std::vector<LiveRow>& rows, int columns) {
  std::size_t names = 0;
  for (const LiveRow& row : rows) names = std::max(names, row.name.size());
  const int bar = std::clamp(columns - static_cast<int>(names) - 34, 24, 60);
  std::vector<std::vector<std::string>> cells;
  for (const LiveRow& row : rows) {
    cells.push_back({row.name, row.progress ? ProgressBarText(*row.progress, bar) + "  " + row.text : row.text});
  }
  std::vector<std::string> lines = Columns(cells);
  for (std::string& line : lines)
    line.resize(std::min(line.size(), static_cast<std::size_t>(std::max(20, columns - 1))));
  return lines;
}

}  // namespace

std::string ProgressBarText(const ProgressState& state, int width) {
  const int percent = OverallPercent(state);
  char tail[48];
  if (state.total > 0) {
    std::snprintf(tail, sizeof tail, " %3d%%  %u/%u packets", percent, static_cast<unsigned>(state.sent),
                  static_cast<unsigned>(state.total));
  } else {
    std::snprintf(tail, sizeof tail, " %3d%%", percent);
  }
  const int inner = std::max(10, std::min(50, width - static_cast<int>(std::string_view(tail).size()) - 2));
  const int filled = inner * percent / 100;
  std::string bar = "[";  // appended piece by piece: g++ 12 warns falsely (-Wrestrict) on "[" + temporary
  bar.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(inner - filled), '-');
  return bar.append("]").append(tail);
}

Screen::Screen(Console& console, bool quiet, bool verbose, std::vector<std::string> rows, bool table)
    : console_(console),
      quiet_(quiet || table),
      verbose_(verbose),
      bench_(!rows.empty()),
      live_(quiet || !console.terminal.is_terminal        ? Live::Off
            : !bench_ && !table                           ? Live::Bar
            : !verbose && console.terminal.cursor_control ? Live::Rows
                                                          : Live::Off) {
  if (rows.empty()) rows.emplace_back();
  for (std::string& path : rows) rows_.push_back({std::move(path), ProgressState{}, "waiting"});
  tenths_printed_.resize(rows_.size());
  if (bench_ && live_ == Live::Rows) Draw(TableLines(rows_, console_.terminal.columns));
}

void Screen::Finish() {
  const std::lock_guard lock(mutex_);
  if (live_ == Live::Bar && !drawn_.empty()) console_.out << '\n';
  drawn_.clear();
  console_.out << std::flush;
}

void Screen::Show(const std::vector<LiveRow>& rows) {
  const std::lock_guard lock(mutex_);
  if (live_ == Live::Rows) Draw(TableLines(rows, console_.terminal.columns));
}

void Screen::Say(std::ostream& stream, std::string_view line) {
  const std::lock_guard lock(mutex_);
  Print(stream, line);
}

// What the dialog shows, as lines; where the rows are redrawn in place, only in the rows. (A row's
// name, which Prefix reads, never changes.)
void Screen::Event(std::size_t row, std::ostream& stream, std::string_view text) {
  if (!quiet_ && live_ != Live::Rows) Say(stream, Prefix(row) + std::string(text));
}

// Notes and trace lines go to standard error even with --json.
void Screen::Note(std::size_t row, std::string_view text) { Say(console_.err, Prefix(row) + std::string(text)); }

void Screen::Update(std::size_t index, const std::string* text, const ProgressState* progress) {
  if (!bench_ && !progress) return;
  const std::lock_guard lock(mutex_);
  LiveRow& row = rows_.at(index);
  if (text) row.text = *text;
  if (progress) row.progress = *progress;
  if (live_ == Live::Bar) return Draw({ProgressBarText(*row.progress, console_.terminal.columns - 1)});
  if (live_ == Live::Rows && bench_) return Draw(TableLines(rows_, console_.terminal.columns));
  // Elsewhere a line for each tenth of the packets.
  if (quiet_ || !progress || progress->total == 0) return;
  const int tenth = static_cast<int>(std::uint64_t{std::min(progress->sent, progress->total)} * 10 / progress->total);
  if (tenth <= tenths_printed_[index]) return;
  tenths_printed_[index] = tenth;
  Print(console_.out, Prefix(index) + "Device Program: " + std::to_string(tenth * 10) + "% (" +
                          std::to_string(progress->sent) + "/" + std::to_string(progress->total) + " packets)");
}

// Each line goes out as it comes, so that a log or a bench's reader sees it while the upgrade
// runs; what is live is cleared for it and drawn again below it, never written through.
void Screen::Print(std::ostream& stream, std::string_view line) {
  const std::size_t shown = drawn_.size();
  if (shown > 0) {
    if (live_ == Live::Bar) {
      console_.out << '\r' << std::string(drawn_[0].size(), ' ') << '\r';
    } else {
      console_.out << "\x1b[" << shown << "A\r\x1b[J";
    }
    console_.out << std::flush;
  }
  stream << line << '\n' << std::flush;
  if (shown == 0) return;
  if (live_ == Live::Bar) {
    console_.out << drawn_[0] << std::flush;  // the clearing left the cursor at the line's start
  } else {
    Draw(std::exchange(drawn_, {}));
  }
}

// Only what changed is written again: the bar over itself; of the rows (which are never taken
// away), those whose text changed, the cursor first going back up to the top row.
void Screen::Draw(std::vector<std::string> lines) {
  if (lines == drawn_) return;
  std::string frame;
  if (live_ == Live::Bar) {
    const std::size_t before = drawn_.empty() ? 0 : drawn_[0].size();
    frame = "\r" + lines[0] + std::string(before - std::min(before, lines[0].size()), ' ');
  } else {
    if (!drawn_.empty()) frame = "\x1b[" + std::to_string(drawn_.size()) + "A";
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i >= drawn_.size() || lines[i] != drawn_[i]) frame += "\r\x1b[K" + lines[i];
      frame += '\n';
    }
  }
  console_.out << frame << std::flush;
  drawn_ = std::move(lines);
}

void DeviceView::SetStatusText(std::string_view text) {
  record_.statuses.emplace_back(text);
  screen_.Update(row_, &record_.statuses.back(), nullptr);
  screen_.Event(row_, screen_.console_.out, "Device Status: " + std::string(text));
}

void DeviceView::SetVersionText(std::string_view text) {
  record_.version_text = text;
  screen_.Event(row_, screen_.console_.out, text);
}

void DeviceView::SetProgress(int position) {
  record_.progress.position = position;
  screen_.Update(row_, nullptr, &record_.progress);
}

void DeviceView::PacketsSent(std::uint32_t sent, std::uint32_t total) {
  record_.progress.sent = sent;
  record_.progress.total = total;
  screen_.Update(row_, nullptr, &record_.progress);
}

// Verdicts are the run's result and go to standard output; failure boxes go to standard error.
// A row shows a failure box on one line; a verdict's status says it best when the core set one
// (it sets 100 and the status only with the device's verdict), else the box's first line.
void DeviceView::ShowBox(const Box& box) {
  record_.boxes.push_back(box);
  const bool verdict = box.kind == BoxKind::Verdict;
  std::ostream& stream = verdict ? screen_.console_.out : screen_.console_.err;
  const std::vector<std::string> lines = Lines(box.text);
  if (!screen_.bench_) {
    for (const std::string& line : lines) screen_.Event(row_, stream, line);
    return;
  }
  const std::string line = OneLine(box.text);
  const std::string shown = !verdict ? line : lines.empty() ? std::string() : lines.front();
  if (!verdict || record_.progress.position != 100) screen_.Update(row_, &shown, nullptr);
  screen_.Event(row_, stream, line);
}

void DeviceView::PrintToStdout(std::string_view text) {
  for (const std::string& line : Lines(text)) screen_.Event(row_, screen_.console_.out, line);
}

void DeviceView::Line(std::string_view text) {
  if (!screen_.verbose_) return;
  for (const std::string& line : Lines(text)) screen_.Note(row_, line);
}

}  // namespace fwup::cli
