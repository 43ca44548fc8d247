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

struct Discovery {
  HidBus& bus;
  Tracer& trace;
  AnswerBounds bounds;
  // When set, only the interface with this path can match (a shell's choice among several).
  std::optional<std::string> only_path;
};

// Stores every comparison's result in DeviceFound; on a match opens `link` and runs the ready
// exchange. A failed open is not detected here: its handle stays invalid.
void FindDevice(const Discovery& discovery, DeviceLink& link, std::uint32_t& DeviceFound);

struct HidInterfaceInfo {
  std::u16string hardware_id;
  std::string path;
  std::string location;  // empty when the platform gives none
  bool matches = false;
};

// Every present interface in walk order, for shells that list them.
std::vector<HidInterfaceInfo> ListInterfaces(HidBus& bus);

}  // namespace fwup
