// Any wide string as the first hardware ID of a present interface: the match must end, and the
// walk must open the device exactly when the match says so.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/find_device.hpp"
#include "device/hardware_id.hpp"
#include "fuzz_support.hpp"
#include "sim/sim_bus.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string id;
  for (std::size_t i = 0; i + 1 < size; i += 2) id.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));

  const std::uint32_t match = fwup::MatchHardwareId(id);
  if (match > 1) std::abort();

  fwup::sim::SimBus bus;
  bus.Add({id, "fuzz", std::make_shared<fwup::sim::BootLoader>()});
  fwup::fuzz::QuietTrace trace_port;
  fwup::Tracer trace(trace_port);
  fwup::DeviceLink link;
  std::uint32_t DeviceFound = 0;
  fwup::FindDevice({bus, trace, {}, std::nullopt}, link, DeviceFound);
  const auto counters = bus.Counters();
  if (DeviceFound != (counters.opened.size() == 2 ? 1u : 0u)) std::abort();
  if (counters.enumerations != counters.enumerations_ended) std::abort();
  // Only the first 259 characters take part, as the walk keeps no more.
  if (id.size() <= fwup::kHardwareIdCapacity && DeviceFound != match) std::abort();
  return 0;
}
