#include "sim/sim_bus.hpp"

namespace fwup::sim {

class SimEnumeration : public HidEnumeration {
 public:
  explicit SimEnumeration(SimBus& bus) : bus_(bus) {
    const std::lock_guard lock(bus_.mutex_);
    ++bus_.counters_.enumerations;
    interfaces_ = bus_.interfaces_;
  }
  ~SimEnumeration() override {
    const std::lock_guard lock(bus_.mutex_);
    ++bus_.counters_.enumerations_ended;
  }

  bool InterfaceAt(std::uint32_t index) override { return index < interfaces_.size(); }

  std::optional<std::u16string> HardwareId(std::uint32_t index) override {
    const std::lock_guard lock(bus_.mutex_);
    ++bus_.counters_.hardware_ids_read;
    if (interfaces_.at(index).hardware_id_unavailable) return std::nullopt;
    return interfaces_.at(index).hardware_id;
  }

  std::optional<std::string> DevicePath(std::uint32_t index) override {
    const std::lock_guard lock(bus_.mutex_);
    ++bus_.counters_.paths_read;
    if (interfaces_.at(index).path_unavailable) return std::nullopt;
    return interfaces_.at(index).path;
  }

  std::string Location(std::uint32_t index) override { return interfaces_.at(index).location; }

 private:
  SimBus& bus_;
  std::vector<SimInterface> interfaces_;
};

namespace {

class SimLink : public HidLink {
 public:
  explicit SimLink(std::shared_ptr<BootLoader> device) : device_(std::move(device)) {}

  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound) override {
    if (!device_) return TransferResult::Failed(kErrorInvalidParameter);
    return device_->Write(report, bound);
  }
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override {
    if (!device_) return TransferResult::Failed(kErrorTimeout);
    return device_->Read(report, bound);
  }

 private:
  std::shared_ptr<BootLoader> device_;
};

}  // namespace

std::unique_ptr<SimBus> SimBus::WithBootLoader(BootLoaderConfig config) {
  auto bus = std::make_unique<SimBus>();
  bus->AddBootLoaders(1, config);
  return bus;
}

std::vector<std::shared_ptr<BootLoader>> SimBus::AddBootLoaders(unsigned count, BootLoaderConfig config) {
  std::vector<std::shared_ptr<BootLoader>> added;
  for (unsigned i = 0; i < count; ++i) {
    auto device = std::make_shared<BootLoader>(config);
    std::size_t number = 0;
    {
      const std::lock_guard lock(mutex_);
      for (const SimInterface& interface : interfaces_) number += interface.device ? 1 : 0;
    }
    const std::string number_text = std::to_string(number + 1);
    SimInterface interface { std::u16string(kBootLoaderHardwareId), "sim:hid#" + number_text, device };
    interface.location = "sim-" + number_text;
    Add(std::move(interface));
    added.push_back(std::move(device));
  }
  return added;
}

void SimBus::Add(SimInterface interface) {
  const std::lock_guard lock(mutex_);
  interfaces_.push_back(std::move(interface));
}

void SimBus::Remove(const std::string& path) {
  const std::lock_guard lock(mutex_);
  std::erase_if(interfaces_, [&path](const SimInterface& interface) { return interface.path == path; });
}

std::unique_ptr<HidEnumeration> SimBus::Enumerate() { return std::make_unique<SimEnumeration>(*this); }

OpenResult SimBus::Open(const std::string& path, HidAccess access) {
  const std::lock_guard lock(mutex_);
  if (list_opens_) counters_.opened.push_back(path);
  for (const SimInterface& interface : interfaces_) {
    if (interface.path != path) continue;
    const std::uint32_t error = access == HidAccess::Write ? interface.write_open_error : interface.read_open_error;
    if (error != kErrorSuccess) return {nullptr, error};
    return {std::make_unique<SimLink>(interface.device), kErrorSuccess};
  }
  return {nullptr, kErrorFileNotFound};
}

std::shared_ptr<BootLoader> SimBus::Device(std::size_t index) const {
  const std::lock_guard lock(mutex_);
  std::size_t seen = 0;
  for (const SimInterface& interface : interfaces_) {
    if (interface.device && seen++ == index) return interface.device;
  }
  return nullptr;
}

BusCounters SimBus::Counters() const {
  const std::lock_guard lock(mutex_);
  return counters_;
}

}  // namespace fwup::sim
