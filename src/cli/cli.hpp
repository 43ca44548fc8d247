// The command line: parses the arguments, runs one command and turns its outcome into the exit
// code. Nothing below this exits.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.hpp"
#include "ports/hid.hpp"

namespace fwup::cli {

// What the platform gives the shell (see platform.hpp); tests hand in their own.
struct Platform {
  std::function<std::unique_ptr<HidBus>(std::string& why)> open_hardware_bus;
  std::string_view access_denied_advice;
};

// `args` without the program name. Returns the exit code.
int Run(const std::vector<std::string>& args, Console& console, const Platform& platform);

// The text of `fwupgrade --help`.
std::string HelpText();

}  // namespace fwup::cli
