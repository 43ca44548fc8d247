// Trace lines to the debugger channel (OutputDebugStringW).
#pragma once

#include <windows.h>

#include "ports/trace.hpp"
#include "win32/wide_text.hpp"

namespace fwup::win32 {

class DebuggerTrace : public Trace {
 public:
  void Line(std::string_view text) override { OutputDebugStringW(Widen(text).c_str()); }
};

}  // namespace fwup::win32
