// The system's hidapi: the only file that includes hidapi.h.
#include <hidapi.h>
#include <unistd.h>

#include <cerrno>

#include "hidapi/hidapi_library.hpp"

#if defined(__APPLE__)
#include <hidapi_darwin.h>
#endif
#if defined(__linux__)
#include <libudev.h>

#include <memory>
#endif

namespace fwup::hidapi {
namespace {

#if defined(__linux__)
struct UdevRelease {
  void operator()(udev* context) const { udev_unref(context); }
  void operator()(udev_device* device) const { udev_device_unref(device); }
};

// The sysfs name of the USB device above a hidraw node ("1-2.3": bus 1, port 2, then port 3 of
// the hub there), which stays the same for every board plugged into that port. Empty for a node
// with no USB device above it.
std::string UsbPortPath(udev* context, const std::string& path) {
  if (context == nullptr) return {};
  const std::string name = path.substr(path.rfind('/') + 1);
  const std::unique_ptr<udev_device, UdevRelease> node(
      udev_device_new_from_subsystem_sysname(context, "hidraw", name.c_str()));
  if (!node) return {};
  // Owned by `node`.
  udev_device* const usb = udev_device_get_parent_with_subsystem_devtype(node.get(), "usb", "usb_device");
  const char* const port = usb != nullptr ? udev_device_get_sysname(usb) : nullptr;
  return port != nullptr ? port : "";
}
#endif

class SystemDevice : public Device {
 public:
  explicit SystemDevice(hid_device* device) : device_(device) {}
  ~SystemDevice() override { hid_close(device_); }
  SystemDevice(const SystemDevice&) = delete;
  SystemDevice& operator=(const SystemDevice&) = delete;

  CallResult Write(std::span<const std::uint8_t> data) override {
    errno = 0;
    const int written = hid_write(device_, data.data(), data.size());
    return {written, written < 0 ? errno : 0};
  }

  CallResult ReadTimeout(std::span<std::uint8_t> data, int milliseconds) override {
    errno = 0;
    const int read = hid_read_timeout(device_, data.data(), data.size(), milliseconds);
    return {read, read < 0 ? errno : 0};
  }

 private:
  hid_device* device_;
};

class SystemLibrary : public Library {
 public:
  SystemLibrary() = default;
  ~SystemLibrary() override { hid_exit(); }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  std::vector<DeviceEntry> Enumerate() override {
    std::vector<DeviceEntry> entries;
    hid_device_info* const list = hid_enumerate(0, 0);
#if defined(__linux__)
    const std::unique_ptr<udev, UdevRelease> context(udev_new());
#endif
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
      DeviceEntry entry{info->path ? info->path : "", info->vendor_id, info->product_id, info->release_number};
#if defined(__linux__)
      entry.location = UsbPortPath(context.get(), entry.path);
#endif
      entries.push_back(std::move(entry));
    }
    hid_free_enumeration(list);
    return entries;
  }

  std::unique_ptr<Device> OpenPath(const std::string& path, int& error) override {
    errno = 0;
    hid_device* const device = hid_open_path(path.c_str());
    if (device != nullptr) return std::make_unique<SystemDevice>(device);
    error = errno;
    // hidapi formats its error text after the failed open, which may overwrite errno; a node
    // that we may not read and write is what a user without the udev rule meets, so ask again.
    if (error != EACCES && error != EPERM && access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
      error = EACCES;
    }
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<Library> OpenSystemLibrary(std::string& why) {
  if (hid_init() != 0) {
    const wchar_t* const text = hid_error(nullptr);
    why = "hid_init failed";
    if (text != nullptr) {
      why += ": ";
      for (const wchar_t* c = text; *c != 0; ++c) why += *c < 0x80 ? static_cast<char>(*c) : '?';
    }
    return nullptr;
  }
#if defined(__APPLE__)
  // The link opens the device once per direction; macOS opens HID devices exclusively unless
  // told otherwise.
  hid_darwin_set_open_exclusive(0);
#endif
  return std::make_unique<SystemLibrary>();
}

}  // namespace fwup::hidapi
