// What the shell asks of the system beyond its files: the arguments, the standard streams and what
// kind of terminal standard output is, the stop requests (Ctrl-C, SIGTERM, a closing console), the
// HID bus of the hardware, this computer's name and a file's digest.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ports/hid.hpp"

namespace fwup::os {

struct TerminalInfo {
  bool is_terminal = false;     // standard output is a terminal: progress is redrawn in place
  int columns = 80;             // its width
  bool cursor_control = false;  // it understands the cursor-up and erase-line sequences
};

struct Process {
  std::vector<std::string> arguments;  // without the program name, in UTF-8
  TerminalInfo terminal;
  // Why standard output could not be written, empty when it could or its reader went away; null
  // for a Windows console, whose writes go out as they come.
  std::function<std::string()> out_failure;
};

// Returns the line to write on standard error when a stop request is taken; null when the process
// is to end as if nothing took it.
using StopHandler = const char* (*)();

// First thing in main: points std::cout and std::cerr at the platform's standard output and error,
// and makes a reader that went away or a file-size limit fail a write instead of ending the
// process. On Windows `on_stop` takes Ctrl-C, Ctrl-Break and a closing console from here on;
// elsewhere SIGINT, SIGTERM and SIGHUP from TakeStopSignals on, blocked in every thread and taken
// by one of their own so that no transfer is cut short by EINTR. It starts that thread: only the
// commands that reach devices call it, before any other thread starts.
Process StartProcess(int argc, char** argv, StopHandler on_stop);
void TakeStopSignals();

// The hardware's HID bus: hidapi on Linux and macOS, SetupAPI on Windows. Null, with `why` set,
// when the platform's HID layer cannot start.
std::unique_ptr<HidBus> OpenHidBus(std::string& why);
// What a user should do when the device was found but opening it was refused.
extern const std::string_view kAccessDeniedAdvice;

// This computer's name; empty when the system does not say.
std::string HostName();
// The SHA-256 of `bytes` by the platform's own digest (BCrypt on Windows, OpenSSL's libcrypto,
// loaded for the first digest, elsewhere); nothing when it failed or is missing.
std::optional<std::array<std::uint8_t, 32>> Sha256(std::span<const std::uint8_t> bytes);

}  // namespace fwup::os
