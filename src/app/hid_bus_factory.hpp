// Which HID bus the dialog program speaks through, chosen at link time: SetupAPI in the
// product, a test bus in the end-to-end test build.
#pragma once

#include <memory>

#include "ports/hid.hpp"

namespace fwup::app {

std::unique_ptr<HidBus> MakeHidBus();

}  // namespace fwup::app
