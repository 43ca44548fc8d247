// The display of one device. On a terminal the progress bar stays on the last line and is
// redrawn in place with every packet, the other lines appear above it; otherwise every line is
// printed once and programming reports each tenth of the packets. With --json nothing but notes
// and trace lines is printed: the outcome goes into the JSON.
#pragma once

#include <ostream>
#include <string_view>

#include "cli/console.hpp"
#include "cli/display.hpp"

namespace fwup::cli {

class TextDisplay : public Display {
 public:
  TextDisplay(Console& console, bool quiet) : console_(console), quiet_(quiet) {}

  void Status(std::string_view text) override;
  void Version(std::string_view text) override;
  void ShowBox(const Box& box) override;
  void StdoutText(std::string_view text) override;
  void Progress(const ProgressState& state) override;
  void TraceLine(std::string_view text) override;
  void Note(std::string_view text) override;

  // Ends the progress line; call before anything else is printed after the run.
  void Finish();

 private:
  void Print(std::ostream& stream, std::string_view line);
  void ClearBar();
  void DrawBar();
  bool Live() const { return !quiet_ && console_.terminal.is_terminal; }

  Console& console_;
  bool quiet_;
  bool bar_shown_ = false;
  ProgressState state_;
  int tenth_printed_ = 0;
  std::string last_bar_;
};

}  // namespace fwup::cli
