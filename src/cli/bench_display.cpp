#include "cli/bench_display.hpp"

#include <algorithm>

#include "cli/text.hpp"

namespace fwup::cli {

class BenchDisplay::RowDisplay : public Display {
 public:
  RowDisplay(BenchDisplay& bench, std::size_t index) : bench_(bench), index_(index) {}

  void Status(std::string_view text) override {
    const std::string line(text);
    verdict_shown_ = line == "CRC Matched" || line == "CRC Not Matched";
    bench_.Update(index_, &line, nullptr);
    bench_.PrintEvent(index_, bench_.console_.out, "Device Status: " + line);
  }
  void Version(std::string_view text) override { bench_.PrintEvent(index_, bench_.console_.out, text); }
  void ShowBox(const Box& box) override {
    const std::string line = OneLine(box.text);
    // A verdict's status says it best; a box without a verdict, or a failure, says it itself.
    const std::vector<std::string> lines = Lines(box.text);
    const std::string shown = box.caption != "Message" ? line : lines.empty() ? std::string() : lines.front();
    if (box.caption != "Message" || !verdict_shown_) bench_.Update(index_, &shown, nullptr);
    bench_.PrintEvent(index_, box.caption == "Message" ? bench_.console_.out : bench_.console_.err, line);
  }
  void StdoutText(std::string_view text) override {
    for (const std::string& line : Lines(text)) bench_.PrintEvent(index_, bench_.console_.out, line);
  }
  void Progress(const ProgressState& state) override { bench_.Update(index_, nullptr, &state); }
  void TraceLine(std::string_view text) override {
    for (const std::string& line : Lines(text)) bench_.PrintTrace(index_, line);
  }
  void Note(std::string_view text) override { bench_.PrintNote(index_, text); }

 private:
  BenchDisplay& bench_;
  std::size_t index_;
  bool verdict_shown_ = false;
};

BenchDisplay::BenchDisplay(Console& console, std::vector<std::string> paths, bool quiet, bool verbose)
    : console_(console),
      quiet_(quiet),
      live_(!quiet && !verbose && console.terminal.is_terminal && console.terminal.cursor_control) {
  for (std::size_t i = 0; i < paths.size(); ++i) {
    path_width_ = std::max(path_width_, paths[i].size());
    rows_.push_back({std::move(paths[i]), "waiting", {}, 0});
    row_displays_.push_back(std::make_unique<RowDisplay>(*this, i));
  }
  drawn_.resize(rows_.size());
  if (Live()) {
    const std::lock_guard lock(mutex_);
    Redraw();
  }
}

BenchDisplay::~BenchDisplay() = default;

Display& BenchDisplay::Row(std::size_t index) { return *row_displays_.at(index); }

void BenchDisplay::Finish() {
  const std::lock_guard lock(mutex_);
  if (Live()) Redraw();
  console_.out << std::flush;
  for (const std::string& note : deferred_notes_) console_.err << note << '\n';
  deferred_notes_.clear();
}

void BenchDisplay::Update(std::size_t index, const std::string* text, const ProgressState* progress) {
  const std::lock_guard lock(mutex_);
  RowState& row = rows_.at(index);
  if (text) row.text = *text;
  if (progress) row.progress = *progress;
  if (Live()) {
    Redraw();
    return;
  }
  if (!quiet_ && progress && progress->total > 0) {
    const int tenth = PacketTenth(*progress);
    if (tenth > row.tenth_printed) {
      row.tenth_printed = tenth;
      console_.out << row.path << ": Device Program: " << tenth * 10 << "% (" << progress->sent << "/"
                   << progress->total << " packets)\n"
                   << std::flush;
    }
  }
}

// Events are lines of their own only where the rows are not redrawn in place, and not with --json.
void BenchDisplay::PrintEvent(std::size_t index, std::ostream& stream, std::string_view text) {
  if (Live() || quiet_) return;
  const std::lock_guard lock(mutex_);
  stream << rows_.at(index).path << ": " << text << '\n' << std::flush;
}

// Rows are never drawn in place while trace lines are printed.
void BenchDisplay::PrintTrace(std::size_t index, std::string_view text) {
  const std::lock_guard lock(mutex_);
  console_.err << rows_.at(index).path << ": " << text << '\n';
}

// A note would break the rows drawn in place, so it waits for the end there.
void BenchDisplay::PrintNote(std::size_t index, std::string_view text) {
  const std::lock_guard lock(mutex_);
  std::string line = rows_.at(index).path + ": " + std::string(text);
  if (Live()) {
    deferred_notes_.push_back(std::move(line));
  } else {
    console_.err << line << '\n';
  }
}

void BenchDisplay::Redraw() {
  // Only rows whose text changed are written again; the cursor goes back up to the first row.
  std::string frame;
  if (drawn_once_) frame += "\x1b[" + std::to_string(rows_.size()) + "A";
  bool changed = !drawn_once_;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::string text = RowText(rows_[i]);
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

std::string BenchDisplay::RowText(const RowState& row) const {
  std::string text = row.path;
  text.append(path_width_ - row.path.size() + 2, ' ');
  const int bar_width = std::clamp(console_.terminal.columns - static_cast<int>(path_width_) - 34, 24, 60);
  text += ProgressBarText(row.progress, bar_width) + "  " + row.text;
  const auto limit = static_cast<std::size_t>(std::max(20, console_.terminal.columns - 1));
  if (text.size() > limit) text.resize(limit);
  return text;
}

}  // namespace fwup::cli
