// The command line: parses the arguments, runs one command and turns its outcome into the exit
// code. Nothing below this exits. The program's entry (main.cpp) hands in what the platform layer
// gives; tests hand in their own.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "os/system.hpp"
#include "ports/hid.hpp"

namespace fwup::cli {

using os::TerminalInfo;

// Where the shell writes: standard output (with what kind of terminal it is) and standard error.
struct Console {
  std::ostream& out;
  std::ostream& err;
  TerminalInfo terminal;
  // Why standard output could not be written, asked at the end of the run: empty when it could,
  // and when its reader went away, which changes no outcome. Unset: the caller's own stream.
  std::function<std::string()> out_failure = nullptr;
};

struct Platform {
  // The platform's HID bus; null, with `why` set, when its HID layer cannot start.
  std::function<std::unique_ptr<HidBus>(std::string& why)> open_hardware_bus;
  // What a user should do when the device was found but opening it was refused.
  std::string_view access_denied_advice;
  // Before the first device is reached: Ctrl-C and SIGTERM then ask the run to stop between two
  // requests instead of ending the process. Commands without a device never start it.
  std::function<void()> take_stop_signals;
};

// `args` without the program name, in UTF-8. Returns the exit code.
int Run(const std::vector<std::string>& args, Console& console, const Platform& platform);

}  // namespace fwup::cli
