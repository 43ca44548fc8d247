// The display of flash --all: each device has its own line. On a terminal that understands
// cursor control the lines are redrawn in place as the devices move on; otherwise each event is
// printed as a line of its own, prefixed with the device's path. Safe to use from the threads
// of the devices.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/console.hpp"
#include "cli/display.hpp"

namespace fwup::cli {

class BenchDisplay {
 public:
  // `verbose`: trace lines are printed as they come, so the rows are not redrawn in place.
  BenchDisplay(Console& console, std::vector<std::string> paths, bool quiet, bool verbose);
  ~BenchDisplay();
  BenchDisplay(const BenchDisplay&) = delete;
  BenchDisplay& operator=(const BenchDisplay&) = delete;

  Display& Row(std::size_t index);
  // Ends the live lines; call once every device is done.
  void Finish();

 private:
  class RowDisplay;
  struct RowState {
    std::string path;
    std::string text;  // the last status, or the failure or verdict box
    ProgressState progress;
    int tenth_printed = 0;
  };

  void Update(std::size_t index, const std::string* text, const ProgressState* progress);
  void PrintEvent(std::size_t index, std::ostream& stream, std::string_view text);
  void PrintNote(std::size_t index, std::string_view text);
  void PrintTrace(std::size_t index, std::string_view text);
  void Redraw();
  std::string RowText(const RowState& row) const;
  bool Live() const { return live_; }

  Console& console_;
  bool quiet_;
  bool live_;
  std::vector<std::string> deferred_notes_;
  std::size_t path_width_ = 0;
  std::mutex mutex_;
  std::vector<RowState> rows_;
  std::vector<std::string> drawn_;
  bool drawn_once_ = false;
  std::vector<std::unique_ptr<RowDisplay>> row_displays_;
};

}  // namespace fwup::cli
