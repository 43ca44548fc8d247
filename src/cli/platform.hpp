// What the command-line shell takes from the platform it runs on. Each platform's adapter
// defines these functions, and the build links the one for the target: the hidapi adapter on
// Linux and macOS, the SetupAPI adapter on Windows. The shell's own sources stay portable.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ports/hid.hpp"

namespace fwup::cli {

// The arguments after the program's name, in UTF-8. On Windows they are read again from the
// UTF-16 command line: argv holds them in the ANSI code page, which cannot spell every file name.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Lets standard output and standard error take UTF-8 whatever they are connected to: a Windows
// console is given the text as UTF-16, since its own code page is seldom UTF-8.
void UseUtf8StandardStreams();

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
