// The simulated HID bus: a list of interfaces in walk order, some of them simulated boot
// loaders. Platform failures of the walk and of the opens can be switched on per interface.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ports/hid.hpp"
#include "sim/boot_loader.hpp"

namespace fwup::sim {

// The hardware ID that Windows gives such a device, and the one a hidapi adapter builds.
inline constexpr std::u16string_view kBootLoaderHardwareId = u"HID\\VID_7E51&PID_0A3D&REV_0100";

struct SimInterface {
  std::u16string hardware_id;
  std::string path;
  std::shared_ptr<BootLoader> device;  // null: an interface that is not ours and never answers
  // Platform failures: no memory for the hardware ID or the detail record, failed opens.
  bool hardware_id_unavailable = false;
  bool path_unavailable = false;
  std::uint32_t write_open_error = kErrorSuccess;
  std::uint32_t read_open_error = kErrorSuccess;
  std::string location{};  // the socket the device sits in; empty: none, as for a uhid device
};

// What the walk asked of the bus, for tests.
struct BusCounters {
  unsigned enumerations = 0;
  unsigned enumerations_ended = 0;
  unsigned hardware_ids_read = 0;
  unsigned paths_read = 0;
  std::vector<std::string> opened;  // paths, in order of the opens, unless SimBus::ListOpens(false)
};

class SimBus : public HidBus {
 public:
  // One simulated boot loader, alone on the bus.
  static std::unique_ptr<SimBus> WithBootLoader(BootLoaderConfig config = {});

  // Adds `count` boot loaders with paths "sim:hid#1", "sim:hid#2", ... at locations "sim-1",
  // "sim-2", ...; returns them.
  std::vector<std::shared_ptr<BootLoader>> AddBootLoaders(unsigned count, BootLoaderConfig config = {});
  void Add(SimInterface interface);
  // The interface at `path` is unplugged; a link open on it stays with its device.
  void Remove(const std::string& path);

  std::unique_ptr<HidEnumeration> Enumerate() override;
  OpenResult Open(const std::string& path, HidAccess access) override;

  std::shared_ptr<BootLoader> Device(std::size_t index = 0) const;
  BusCounters Counters() const;
  // Off: the paths opened are not listed, as a bench running all day must not keep them.
  void ListOpens(bool list) { list_opens_ = list; }

 private:
  friend class SimEnumeration;
  mutable std::mutex mutex_;
  std::vector<SimInterface> interfaces_;
  BusCounters counters_;
  bool list_opens_ = true;
};

}  // namespace fwup::sim
