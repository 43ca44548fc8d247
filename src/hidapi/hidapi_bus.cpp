#include "hidapi/hidapi_bus.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace fwup::hidapi {
namespace {

// An input report as hidapi hands it over: the 64 data bytes, without the report-ID byte.
constexpr std::size_t kInputDataSize = kReportSize - 1;

// "HID\VID_7E51&PID_0A3D&REV_0100": upper-case hex, as Windows writes the first hardware ID.
std::u16string HardwareIdOf(const DeviceEntry& entry) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  const auto hex4 = [](std::uint16_t value) {
    std::u16string digits;
    for (int shift = 12; shift >= 0; shift -= 4) digits += kHex[(value >> shift) & 0xF];
    return digits;
  };
  return u"HID\\VID_" + hex4(entry.vendor_id) + u"&PID_" + hex4(entry.product_id) + u"&REV_" +
         hex4(entry.release_number);
}

class HidapiEnumeration : public HidEnumeration {
 public:
  // hidraw lists a node once per top-level collection, all under one path; the node is one
  // interface to open, as Windows lists it once.
  explicit HidapiEnumeration(std::vector<DeviceEntry> all) {
    std::unordered_set<std::string> seen;
    for (DeviceEntry& entry : all) {
      if (seen.insert(entry.path).second) entries_.push_back(std::move(entry));
    }
  }

  bool InterfaceAt(std::uint32_t index) override { return index < entries_.size(); }
  std::optional<std::u16string> HardwareId(std::uint32_t index) override { return HardwareIdOf(entries_.at(index)); }
  std::optional<std::string> DevicePath(std::uint32_t index) override { return entries_.at(index).path; }
  std::string Location(std::uint32_t index) override { return entries_.at(index).location; }

 private:
  std::vector<DeviceEntry> entries_;
};

class HidapiLink : public HidLink {
 public:
  explicit HidapiLink(std::unique_ptr<Device> device) : device_(std::move(device)) {}

  // The report goes out whole: byte 0 is the report ID, 0 because the boot loader's reports
  // carry none, and hidapi takes it off or passes it on as the platform needs. hidapi's write
  // takes no time limit; the kernel gives up on a USB output report after 5 s with ETIMEDOUT,
  // and nothing of it went out, so a longer bound is kept by sending it again until the bound.
  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound) override {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    CallResult result = device_->Write(report);
    while (result.value < 0 && static_cast<std::errc>(result.error) == std::errc::timed_out &&
           std::chrono::steady_clock::now() < deadline) {
      result = device_->Write(report);
    }
    if (result.value < 0) return TransferResult::Failed(PlatformErrorOf(result.error));
    if (result.value == 0) return TransferResult::Failed(kErrorGenFailure);  // nothing went out
    return TransferResult::Done();
  }

  // hidapi delivers the 64 data bytes; they are bytes 1 to 64 of the report, and byte 0, the
  // report ID that the device does not send, is 0.
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override {
    std::array<std::uint8_t, kInputDataSize> data{};
    const auto milliseconds = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(bound.count(), 0, INT_MAX));
    const CallResult result = device_->ReadTimeout(data, milliseconds);
    if (result.value == 0) return TransferResult::Failed(kErrorTimeout);
    if (result.value < 0) return TransferResult::Failed(PlatformErrorOf(result.error));
    report.fill(0);
    const auto received = std::min(static_cast<std::size_t>(result.value), data.size());
    std::copy_n(data.begin(), received, report.begin() + 1);
    return TransferResult::Done();
  }

 private:
  std::unique_ptr<Device> device_;
};

}  // namespace

std::uint32_t PlatformErrorOf(int error) {
  switch (static_cast<std::errc>(error)) {
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
      return kErrorAccessDenied;
    case std::errc::no_such_file_or_directory:
      return kErrorFileNotFound;
    case std::errc::no_such_device:
    case std::errc::no_such_device_or_address:
    case std::errc::broken_pipe:
      return kErrorDeviceNotConnected;
    case std::errc::timed_out:
      return kErrorTimeout;
    case std::errc::invalid_argument:
      return kErrorInvalidParameter;
    case std::errc::device_or_resource_busy:
      return kErrorSharingViolation;
    default:
      return kErrorGenFailure;
  }
}

HidapiBus::HidapiBus(std::unique_ptr<Library> library) : library_(std::move(library)) {}

std::unique_ptr<HidEnumeration> HidapiBus::Enumerate() {
  const std::lock_guard lock(mutex_);
  return std::make_unique<HidapiEnumeration>(library_->Enumerate());
}

OpenResult HidapiBus::Open(const std::string& path, HidAccess access) {
  (void)access;  // hidapi opens for reading and writing; each direction gets its own open
  const std::lock_guard lock(mutex_);
  int error = 0;
  std::unique_ptr<Device> device = library_->OpenPath(path, error);
  if (!device) return {nullptr, PlatformErrorOf(error)};
  return {std::make_unique<HidapiLink>(std::move(device)), kErrorSuccess};
}

}  // namespace fwup::hidapi
