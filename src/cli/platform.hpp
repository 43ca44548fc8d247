// What the command-line shell takes from the platform it runs on. Each platform's adapter
// defines these functions, and the build links the one for the target: the hidapi adapter on
// Linux and macOS, the SetupAPI adapter on Windows. The shell's own sources stay portable.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ports/hid.hpp"

namespace fwup::cli {

// The platform's HID bus; null, with `why` set, when its HID layer cannot start.
std::unique_ptr<HidBus> OpenHardwareBus(std::string& why);

// What a user should do when the device was found but opening it was refused.
std::string_view AccessDeniedAdvice();

struct TerminalInfo {
  bool is_terminal = false;     // standard output is a terminal: progress is redrawn in place
  int columns = 80;             // its width
  bool cursor_control = false;  // it understands the cursor-up and erase-line sequences
};

// What standard output is.
TerminalInfo DetectStdoutTerminal();

}  // namespace fwup::cli
