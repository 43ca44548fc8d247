// The discovery walk: the first present HID interface whose hardware ID matches is opened twice
// and greeted with CMD_APP_READY.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_link.hpp"
#include "ports/hid.hpp"
#include "ports/trace.hpp"

namespace fwup {

struct HidInterfaceInfo {
  std::u16string hardware_id;
  std::string path;
  std::string location;  // empty when the platform gives none
  bool matches = false;
};

// Whether the walk may take `interface`: its hardware ID matches and, when a shell chose one
// device among several, it is at that path or that location.
bool Selected(const HidInterfaceInfo& interface, const std::optional<std::string>& only);

struct Discovery {
  HidBus& bus;
  Tracer& trace;
  AnswerBounds bounds;
  std::optional<std::string> only;  // the path or location of the one interface to take
};

// Stores every comparison's result in DeviceFound; on a match opens `link` and runs the ready
// exchange, and returns the interface taken. A failed open is not detected here: its handle
// stays invalid.
std::optional<HidInterfaceInfo> FindDevice(const Discovery& discovery, DeviceLink& link, std::uint32_t& DeviceFound);

// Every present interface in walk order, for shells that list them.
std::vector<HidInterfaceInfo> ListInterfaces(HidBus& bus);

}  // namespace fwup
