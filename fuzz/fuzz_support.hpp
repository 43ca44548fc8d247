// What the fuzz targets share: ports that swallow everything the core shows.
#pragma once

#include <string_view>

#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::fuzz {

class QuietView : public View {
 public:
  void SetStatusText(std::string_view) override {}
  void SetVersionText(std::string_view) override {}
  void SetProgress(int position) override;
  void ShowBox(const Box&) override {}
  void PrintToStdout(std::string_view) override {}
};

class QuietTrace : public Trace {
 public:
  void Line(std::string_view text) override;
};

}  // namespace fwup::fuzz
