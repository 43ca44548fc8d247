// The core's View and Trace for the command line: everything is recorded for the outcome and
// --json, and handed to a Display to be shown.
#pragma once

#include <string>
#include <vector>

#include "cli/display.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::cli {

struct ViewRecord {
  std::vector<std::string> statuses;
  std::string version_text;
  std::vector<Box> boxes;
  ProgressState progress;
};

class ShellView : public View, public Trace {
 public:
  ShellView(Display& display, bool verbose) : display_(display), verbose_(verbose) {}

  void SetStatusText(std::string_view text) override;
  void SetVersionText(std::string_view text) override;
  void SetProgress(int position) override;
  void ShowBox(const Box& box) override;
  void PrintToStdout(std::string_view text) override;
  void PacketsSent(std::uint32_t sent, std::uint32_t total) override;
  void Line(std::string_view text) override;  // Trace

  const ViewRecord& record() const { return record_; }
  Display& display() { return display_; }

 private:
  Display& display_;
  bool verbose_;
  ViewRecord record_;
};

}  // namespace fwup::cli
