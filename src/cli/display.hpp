// How the shell shows what the core tells the dialog. A display for one device prints lines and
// a progress bar; the bench display for several devices gives each its own line.
#pragma once

#include <string_view>

#include "cli/progress.hpp"
#include "ports/view.hpp"

namespace fwup::cli {

class Display {
 public:
  virtual ~Display() = default;
  virtual void Status(std::string_view text) = 0;   // the dialog's status line
  virtual void Version(std::string_view text) = 0;  // the dialog's version line
  virtual void ShowBox(const Box& box) = 0;
  virtual void StdoutText(std::string_view text) = 0;  // what the tool prints to standard output
  virtual void Progress(const ProgressState& state) = 0;
  virtual void TraceLine(std::string_view text) = 0;  // a debugger trace line (-v)
  virtual void Note(std::string_view text) = 0;       // a remark of the shell's own
};

}  // namespace fwup::cli
