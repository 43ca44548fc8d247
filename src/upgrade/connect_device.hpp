#pragma once

namespace fwup {

class Session;

// Runs discovery, shows whether the device is connected, and asks for the application firmware
// and boot loader versions.
void ConnectDevice(Session& session);

}  // namespace fwup
