// Before connecting: --wait, and telling the user when more than one device is present.
#pragma once

#include <string>
#include <vector>

#include "cli/command.hpp"
#include "cli/display.hpp"

namespace fwup::cli {

// Waits when --wait asks for it, then returns the paths of the matching devices present (with
// --path, only that one). With several and no --path, says which one the walk takes and how to
// pick another; the paths of the others go into the JSON result.
std::vector<std::string> SelectDevices(Context& context, Display& display);

}  // namespace fwup::cli
