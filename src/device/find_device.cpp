#include "device/find_device.hpp"

#include "device/boot_report.hpp"
#include "device/hardware_id.hpp"

namespace fwup {
namespace {

std::u16string FirstString(std::u16string id) {
  if (id.size() > kHardwareIdCapacity) id.resize(kHardwareIdCapacity);
  return id;
}

void TraceReadyAnswer(Tracer& trace, const BootReport& answer) {
  switch (answer[field::kCode]) {
    case 0x09:
      trace.Format("Received CRC value = %lu\r\n", static_cast<unsigned long>(answer[2]));
      trace.Format("Programmed CRC value = %lu,%lu\r\n", static_cast<unsigned long>(answer[3]),
                   static_cast<unsigned long>(answer[4]));
      break;
    case 0xAD:
      trace.Format("Firmware Upgrade Command Received\r\n");
      trace.Format("Computed CRC value = %lu\r\n", static_cast<unsigned long>(answer[2]));
      trace.Format("Programmed CRC value = %lu\r\n", static_cast<unsigned long>(answer[3]));
      break;
    case 0xAE:
      TraceAnswerDump(trace, answer);
      break;
    default:
      break;
  }
}

// The greeting right after the opens. Its answer serves only the trace.
void ReadyExchange(const Discovery& discovery, DeviceLink& link) {
  BootReport request{};
  SetCommand(request, Command::CMD_APP_READY);
  link.DropStaleAnswers(discovery.bounds.answer);
  if (!FailedByErrorCode(link.Write(request, discovery.bounds.write)))
    discovery.trace.Format("App Ready Command send\r\n");
  BootReport answer{};
  (void)link.Read(answer, discovery.bounds.answer);
  TraceReadyAnswer(discovery.trace, answer);
}

}  // namespace

bool Selected(const HidInterfaceInfo& interface, const std::optional<std::string>& only) {
  return interface.matches && (!only || interface.path == *only || interface.location == *only);
}

std::optional<HidInterfaceInfo> FindDevice(const Discovery& discovery, DeviceLink& link, std::uint32_t& DeviceFound) {
  std::unique_ptr<HidEnumeration> set = discovery.bus.Enumerate();
  if (!set) return std::nullopt;
  for (std::uint32_t InterfaceIndex = 0; set->InterfaceAt(InterfaceIndex); ++InterfaceIndex) {
    const std::optional<std::u16string> HardwareId = set->HardwareId(InterfaceIndex);
    if (!HardwareId) return std::nullopt;
    DeviceFound = MatchHardwareId(FirstString(*HardwareId));
    if (DeviceFound != 1) continue;

    const std::optional<std::string> path = set->DevicePath(InterfaceIndex);
    HidInterfaceInfo interface { FirstString(*HardwareId), path.value_or(""), set->Location(InterfaceIndex), true };
    if (discovery.only && (!path || !Selected(interface, discovery.only))) {
      DeviceFound = 0;
      continue;
    }
    if (!path) return std::nullopt;
    OpenResult write = discovery.bus.Open(*path, HidAccess::Write);
    OpenResult read = discovery.bus.Open(*path, HidAccess::Read);
    link.Attach(*path, std::move(write), std::move(read));
    set.reset();  // the device information set is gone before the device is spoken to
    ReadyExchange(discovery, link);
    return interface;
  }
  return std::nullopt;
}

std::vector<HidInterfaceInfo> ListInterfaces(HidBus& bus) {
  std::vector<HidInterfaceInfo> found;
  const std::unique_ptr<HidEnumeration> set = bus.Enumerate();
  if (!set) return found;
  for (std::uint32_t index = 0; set->InterfaceAt(index); ++index) {
    HidInterfaceInfo info;
    info.hardware_id = FirstString(set->HardwareId(index).value_or(std::u16string{}));
    info.path = set->DevicePath(index).value_or(std::string{});
    info.location = set->Location(index);
    info.matches = MatchHardwareId(info.hardware_id) == 1;
    found.push_back(std::move(info));
  }
  return found;
}

}  // namespace fwup
