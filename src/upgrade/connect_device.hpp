#pragma once

#include <string_view>

#include "upgrade/session.hpp"

namespace fwup {

// What the dialog says when no device in Firmware Upgrade Mode is attached.
inline constexpr std::string_view kDeviceNotFoundText =
    "Device Not Found,Restart and Select Firmware Upgrade Mode in the Device";

// Runs discovery, shows whether the device is connected, and asks for the application firmware
// and boot loader versions.
Connected ConnectDevice(HidBus& bus, Connection& connection, const RunSettings& settings, Shown& shown);

}  // namespace fwup
