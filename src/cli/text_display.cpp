#include "cli/text_display.hpp"

#include "cli/text.hpp"

namespace fwup::cli {

void TextDisplay::Status(std::string_view text) {
  if (!quiet_) Print(console_.out, "Device Status: " + std::string(text));
}

void TextDisplay::Version(std::string_view text) {
  if (!quiet_) Print(console_.out, text);
}

// Verdicts are the run's result and go to standard output; failure boxes go to standard error.
void TextDisplay::ShowBox(const Box& box) {
  if (quiet_) return;
  std::ostream& stream = box.caption == "Message" ? console_.out : console_.err;
  for (const std::string& line : Lines(box.text)) Print(stream, line);
}

void TextDisplay::StdoutText(std::string_view text) {
  if (quiet_) return;
  for (const std::string& line : Lines(text)) Print(console_.out, line);
}

void TextDisplay::Progress(const ProgressState& state) {
  state_ = state;
  if (quiet_) return;
  if (Live()) {
    DrawBar();
    return;
  }
  const int tenth = PacketTenth(state);
  if (state.total > 0 && tenth > tenth_printed_) {
    tenth_printed_ = tenth;
    Print(console_.out, "Device Program: " + std::to_string(tenth * 10) + "% (" + std::to_string(state.sent) + "/" +
                            std::to_string(state.total) + " packets)");
  }
}

void TextDisplay::TraceLine(std::string_view text) {
  for (const std::string& line : Lines(text)) Print(console_.err, line);
}

void TextDisplay::Note(std::string_view text) { Print(console_.err, text); }

void TextDisplay::Finish() {
  if (!bar_shown_) return;
  console_.out << '\n' << std::flush;
  bar_shown_ = false;
}

// Each line goes out as it comes, so that a log or a bench's reader sees it while the upgrade
// runs, not at its end.
void TextDisplay::Print(std::ostream& stream, std::string_view line) {
  ClearBar();
  stream << line << '\n' << std::flush;
  if (bar_shown_) console_.out << last_bar_ << std::flush;
}

void TextDisplay::ClearBar() {
  if (!bar_shown_) return;
  console_.out << '\r' << std::string(last_bar_.size(), ' ') << '\r' << std::flush;
}

void TextDisplay::DrawBar() {
  const std::string bar = ProgressBarText(state_, console_.terminal.columns - 1);
  if (bar_shown_ && bar == last_bar_) return;
  console_.out << '\r' << bar;
  if (bar.size() < last_bar_.size()) console_.out << std::string(last_bar_.size() - bar.size(), ' ');
  console_.out << std::flush;
  last_bar_ = bar;
  bar_shown_ = true;
}

}  // namespace fwup::cli
