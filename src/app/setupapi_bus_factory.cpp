#include "app/hid_bus_factory.hpp"
#include "win32/setupapi_bus.hpp"

namespace fwup::app {

std::unique_ptr<HidBus> MakeHidBus() { return std::make_unique<win32::SetupApiBus>(); }

}  // namespace fwup::app
