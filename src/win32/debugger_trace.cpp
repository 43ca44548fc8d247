#include "win32/debugger_trace.hpp"

#include <windows.h>

#include "win32/wide_text.hpp"

namespace fwup::win32 {

void DebuggerTrace::Line(std::string_view text) { OutputDebugStringW(Widen(text).c_str()); }

}  // namespace fwup::win32
