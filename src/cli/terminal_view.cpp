#include "cli/terminal_view.hpp"

#include <algorithm>
#include <cstdio>

#include "cli/text.hpp"

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

Screen::Screen(Console& console, bool quiet, bool verbose, std::vector<std::string> rows)
    : console_(console),
      quiet_(quiet),
      verbose_(verbose),
      bench_(!rows.empty()),
      live_(!quiet && console.terminal.is_terminal && (!bench_ || (!verbose && console.terminal.cursor_control))) {
  for (std::string& path : rows) {
    path_width_ = std::max(path_width_, path.size());
    rows_.emplace_back().path = std::move(path);
  }
  if (rows_.empty()) rows_.emplace_back();
  drawn_.resize(rows_.size());
  if (bench_ && live_) {
    const std::lock_guard lock(mutex_);
    Redraw();
  }
}

void Screen::Finish() {
  const std::lock_guard lock(mutex_);
  if (bench_ && live_) Redraw();
  if (!bench_ && drawn_once_) {
    console_.out << '\n';
    drawn_once_ = false;
  }
  console_.out << std::flush;
  for (const std::string& note : deferred_notes_) console_.err << note << '\n';
  deferred_notes_.clear();
}

// What the dialog shows, as lines; where the rows are redrawn in place, only in the rows.
void Screen::Event(std::size_t row, std::ostream& stream, std::string_view text) {
  if (quiet_ || (bench_ && live_)) return;
  const std::lock_guard lock(mutex_);
  Print(stream, Prefix(row) + std::string(text));
}

// Notes and trace lines go to standard error even with --json. A note would break the rows drawn
// in place, so it waits for the end there.
void Screen::Note(std::size_t row, std::string_view text, bool trace) {
  const std::lock_guard lock(mutex_);
  std::string line = Prefix(row) + std::string(text);
  if (bench_ && live_ && !trace) {
    deferred_notes_.push_back(std::move(line));
  } else {
    Print(console_.err, line);
  }
}

void Screen::Update(std::size_t index, const std::string* text, const ProgressState* progress) {
  if (!bench_ && !progress) return;
  const std::lock_guard lock(mutex_);
  Row& row = rows_.at(index);
  if (text) row.text = *text;
  if (progress) row.progress = *progress;
  if (live_) {
    if (bench_) return Redraw();
    const std::string bar = ProgressBarText(row.progress, console_.terminal.columns - 1);
    if (drawn_once_ && bar == drawn_[0]) return;
    console_.out << '\r' << bar;
    if (bar.size() < drawn_[0].size()) console_.out << std::string(drawn_[0].size() - bar.size(), ' ');
    console_.out << std::flush;
    drawn_[0] = bar;
    drawn_once_ = true;
    return;
  }
  // Elsewhere a line for each tenth of the packets.
  if (quiet_ || !progress || progress->total == 0) return;
  const int tenth = static_cast<int>(std::uint64_t{std::min(progress->sent, progress->total)} * 10 / progress->total);
  if (tenth <= row.tenth_printed) return;
  row.tenth_printed = tenth;
  Print(console_.out, Prefix(index) + "Device Program: " + std::to_string(tenth * 10) + "% (" +
                          std::to_string(progress->sent) + "/" + std::to_string(progress->total) + " packets)");
}

// Each line goes out as it comes, so that a log or a bench's reader sees it while the upgrade
// runs; one device's bar is cleared for it and drawn again below it.
void Screen::Print(std::ostream& stream, std::string_view line) {
  const bool bar = !bench_ && drawn_once_;
  if (bar) console_.out << '\r' << std::string(drawn_[0].size(), ' ') << '\r' << std::flush;
  stream << line << '\n' << std::flush;
  if (bar) console_.out << drawn_[0] << std::flush;
}

// Only rows whose text changed are written again; the cursor goes back up to the first row.
void Screen::Redraw() {
  std::string frame;
  if (drawn_once_) frame += "\x1b[" + std::to_string(rows_.size()) + "A";
  bool changed = !drawn_once_;
  const int columns = console_.terminal.columns;
  const int bar_width = std::clamp(columns - static_cast<int>(path_width_) - 34, 24, 60);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::string text = rows_[i].path + std::string(path_width_ - rows_[i].path.size() + 2, ' ') +
                       ProgressBarText(rows_[i].progress, bar_width) + "  " + rows_[i].text;
    text.resize(std::min(text.size(), static_cast<std::size_t>(std::max(20, columns - 1))));
    if (!drawn_once_ || text != drawn_[i]) {
      changed = true;
      frame += "\r\x1b[K" + text;
      drawn_[i] = std::move(text);
    }
    frame += "\n";
  }
  drawn_once_ = true;
  if (changed) console_.out << frame << std::flush;
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
  for (const std::string& line : Lines(text)) screen_.Note(row_, line, true);
}

}  // namespace fwup::cli
