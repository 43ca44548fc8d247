// Trace lines to the debugger channel (OutputDebugStringW).
#pragma once

#include "ports/trace.hpp"

namespace fwup::win32 {

class DebuggerTrace : public Trace {
 public:
  void Line(std::string_view text) override;
};

}  // namespace fwup::win32
