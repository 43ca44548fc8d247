#pragma once

#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::bench {

class QuietView : public View {
 public:
  void SetStatusText(std::string_view) override {}
  void SetVersionText(std::string_view) override {}
  void SetProgress(int) override {}
  void ShowBox(const Box&) override {}
  void PrintToStdout(std::string_view) override {}
};

class QuietTrace : public Trace {
 public:
  void Line(std::string_view) override {}
};

}  // namespace fwup::bench
