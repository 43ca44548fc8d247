// The device server's control commands: one line in, one line out ("ok ..." or "error ..."),
// so that a scenario script switches the device's behaviour between runs without restarting it.
#pragma once

#include <string>
#include <string_view>

#include "served_device.hpp"

namespace fwup::vm {

struct ControlResult {
  std::string reply;
  bool quit = false;
};

ControlResult RunControlCommand(ServedDevice& device, std::string_view line);

// One line per command, for --help and the "help" command.
std::string ControlHelp();

}  // namespace fwup::vm
