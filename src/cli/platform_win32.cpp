// The command-line shell's platform on Windows: the SetupAPI bus of the Windows adapter, and the
// console.
#include <windows.h>

#include "cli/platform.hpp"
#include "win32/setupapi_bus.hpp"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace fwup::cli {

std::unique_ptr<HidBus> OpenHardwareBus(std::string&) { return std::make_unique<win32::SetupApiBus>(); }

std::string_view AccessDeniedAdvice() {
  return "close any other program that has the device open, then run this again";
}

// A console, not a pipe, a file or NUL (which _isatty would take for a terminal).
TerminalInfo DetectStdoutTerminal() {
  TerminalInfo info;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) return info;
  info.is_terminal = true;
  CONSOLE_SCREEN_BUFFER_INFO buffer;
  if (GetConsoleScreenBufferInfo(out, &buffer)) info.columns = buffer.srWindow.Right - buffer.srWindow.Left + 1;
  info.cursor_control = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  return info;
}

}  // namespace fwup::cli
