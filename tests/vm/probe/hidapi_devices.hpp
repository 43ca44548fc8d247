// hidapi's own view of every present device, one line each, for a scenario's evidence: what the
// shipped adapter builds its interfaces from.
#pragma once

#include <string>

namespace fwup::vm {

std::string DescribeHidapiDevices();

}  // namespace fwup::vm
