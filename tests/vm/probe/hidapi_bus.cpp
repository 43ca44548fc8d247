#include "hidapi_bus.hpp"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace fwup::vm {
namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

std::u16string HardwareId(const hid_device_info& device) {
  char text[64];
  std::snprintf(text, sizeof text, "HID\\VID_%04X&PID_%04X&REV_%04X", device.vendor_id, device.product_id,
                device.release_number);
  return {text, text + std::char_traits<char>::length(text)};
}

std::uint32_t ErrorOf(int error) {
  switch (error) {
    case ENODEV:
    case ENXIO:
    case EIO:
    case ESHUTDOWN:
    case EPIPE:
      return kErrorDeviceNotConnected;
    case ENOENT:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    default:
      return kErrorGenFailure;
  }
}

struct Found {
  std::u16string hardware_id;
  std::string path;
};

class HidapiEnumeration : public HidEnumeration {
 public:
  explicit HidapiEnumeration(std::vector<Found> found) : found_(std::move(found)) {}
  bool InterfaceAt(std::uint32_t index) override { return index < found_.size(); }
  std::optional<std::u16string> HardwareId(std::uint32_t index) override { return found_.at(index).hardware_id; }
  std::optional<std::string> DevicePath(std::uint32_t index) override { return found_.at(index).path; }

 private:
  std::vector<Found> found_;
};

class HidapiLink : public HidLink {
 public:
  explicit HidapiLink(hid_device* device) : device_(device) {}
  ~HidapiLink() override { hid_close(device_); }
  HidapiLink(const HidapiLink&) = delete;
  HidapiLink& operator=(const HidapiLink&) = delete;

  // hidraw takes the report-ID byte in front of the 64 data bytes.
  TransferResult Write(const BootReport& report, std::chrono::milliseconds) override {
    errno = 0;
    const int written = hid_write(device_, report.data(), report.size());
    const int error = errno;
    if (written == static_cast<int>(report.size())) return TransferResult::Done();
    return TransferResult::Failed(written < 0 ? ErrorOf(error) : kErrorGenFailure);
  }

  // hidraw gives the 64 data bytes of a device without report IDs; byte 0 of the answer is the
  // report ID, 0.
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override {
    std::uint8_t data[kReportSize - 1] = {};
    const int read = hid_read_timeout(device_, data, sizeof data, static_cast<int>(bound.count()));
    if (read == 0) return TransferResult::Failed(kErrorTimeout);
    if (read < 0) return TransferResult::Failed(kErrorDeviceNotConnected);  // hidapi: poll saw the node go
    report = {};
    std::copy(data, data + read, report.begin() + 1);
    return TransferResult::Done();
  }

 private:
  hid_device* device_;
};

}  // namespace

HidapiBus::HidapiBus() { hid_init(); }
HidapiBus::~HidapiBus() { hid_exit(); }

std::unique_ptr<HidEnumeration> HidapiBus::Enumerate() {
  std::vector<Found> found;
  hid_device_info* devices = hid_enumerate(0, 0);
  for (const hid_device_info* device = devices; device; device = device->next) {
    found.push_back({HardwareId(*device), device->path ? device->path : ""});
  }
  hid_free_enumeration(devices);
  return std::make_unique<HidapiEnumeration>(std::move(found));
}

OpenResult HidapiBus::Open(const std::string& path, HidAccess) {
  errno = 0;
  hid_device* device = hid_open_path(path.c_str());
  if (!device) return {nullptr, ErrorOf(errno)};
  return {std::make_unique<HidapiLink>(device), kErrorSuccess};
}

std::string DescribeHidapiDevices() {
  std::string text;
  hid_device_info* devices = hid_enumerate(0, 0);
  for (const hid_device_info* device = devices; device; device = device->next) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "hidapi: path=%s vid=%04X pid=%04X release=%04X interface=%d usage_page=%04X usage=%04X "
                  "serial=\"%s\" manufacturer=\"%s\" product=\"%s\"\n",
                  device->path ? device->path : "", device->vendor_id, device->product_id, device->release_number,
                  device->interface_number, device->usage_page, device->usage, Narrow(device->serial_number).c_str(),
                  Narrow(device->manufacturer_string).c_str(), Narrow(device->product_string).c_str());
    text += line;
  }
  hid_free_enumeration(devices);
  return text;
}

}  // namespace fwup::vm
