// The system's hidapi: the only file that includes hidapi.h. On Linux hidapi and libudev are
// loaded when a command first needs the HID devices, so that the commands without a device
// (check, image, --help) start without them.
#include <hidapi.h>
#include <unistd.h>

#include <cerrno>

#include "hidapi/hidapi_library.hpp"

#if defined(__APPLE__)
#include <hidapi_darwin.h>
#endif
#if defined(__linux__)
#include <dlfcn.h>
#include <libudev.h>

#include <type_traits>
#endif

namespace fwup::hidapi {
namespace {

// The calls the adapter makes, each taken by its own name.
struct Api {
  decltype(&::hid_init) hid_init;
  decltype(&::hid_exit) hid_exit;
  decltype(&::hid_error) hid_error;
  decltype(&::hid_enumerate) hid_enumerate;
  decltype(&::hid_free_enumeration) hid_free_enumeration;
  decltype(&::hid_open_path) hid_open_path;
  decltype(&::hid_close) hid_close;
  decltype(&::hid_write) hid_write;
  decltype(&::hid_read_timeout) hid_read_timeout;
#if defined(__linux__)
  decltype(&::udev_new) udev_new;
  decltype(&::udev_unref) udev_unref;
  decltype(&::udev_device_new_from_subsystem_sysname) udev_device_new_from_subsystem_sysname;
  decltype(&::udev_device_unref) udev_device_unref;
  decltype(&::udev_device_get_parent_with_subsystem_devtype) udev_device_get_parent_with_subsystem_devtype;
  decltype(&::udev_device_get_sysname) udev_device_get_sysname;
#endif
};
Api api{};

#if defined(__linux__)
// Fills `api` from the shared libraries Debian's packages install; the reason when one is missing.
bool LoadApi(std::string& why) {
  void* const hid = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_LOCAL);
  void* const udev = dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
  const auto take = [](void* library, const char* name, auto& function) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
    return function != nullptr;
  };
  const bool loaded =
      hid != nullptr && udev != nullptr && take(hid, "hid_init", api.hid_init) && take(hid, "hid_exit", api.hid_exit) &&
      take(hid, "hid_error", api.hid_error) && take(hid, "hid_enumerate", api.hid_enumerate) &&
      take(hid, "hid_free_enumeration", api.hid_free_enumeration) && take(hid, "hid_open_path", api.hid_open_path) &&
      take(hid, "hid_close", api.hid_close) && take(hid, "hid_write", api.hid_write) &&
      take(hid, "hid_read_timeout", api.hid_read_timeout) && take(udev, "udev_new", api.udev_new) &&
      take(udev, "udev_unref", api.udev_unref) &&
      take(udev, "udev_device_new_from_subsystem_sysname", api.udev_device_new_from_subsystem_sysname) &&
      take(udev, "udev_device_unref", api.udev_device_unref) &&
      take(udev, "udev_device_get_parent_with_subsystem_devtype", api.udev_device_get_parent_with_subsystem_devtype) &&
      take(udev, "udev_device_get_sysname", api.udev_device_get_sysname);
  if (!loaded) why = dlerror();
  return loaded;
}
#else
bool LoadApi(std::string&) {
  api = {::hid_init,      ::hid_exit,  ::hid_error, ::hid_enumerate,   ::hid_free_enumeration,
         ::hid_open_path, ::hid_close, ::hid_write, ::hid_read_timeout};
  return true;
}
#endif

#if defined(__linux__)
struct UdevRelease {
  void operator()(udev* context) const { api.udev_unref(context); }
  void operator()(udev_device* device) const { api.udev_device_unref(device); }
};

// The sysfs name of the USB device above a hidraw node ("1-2.3": bus 1, port 2, then port 3 of
// the hub there), which stays the same for every board plugged into that port. Empty for a node
// with no USB device above it.
std::string UsbPortPath(udev* context, const std::string& path) {
  if (context == nullptr) return {};
  const std::string name = path.substr(path.rfind('/') + 1);
  const std::unique_ptr<udev_device, UdevRelease> node(
      api.udev_device_new_from_subsystem_sysname(context, "hidraw", name.c_str()));
  if (!node) return {};
  // Owned by `node`.
  udev_device* const usb = api.udev_device_get_parent_with_subsystem_devtype(node.get(), "usb", "usb_device");
  const char* const port = usb != nullptr ? api.udev_device_get_sysname(usb) : nullptr;
  return port != nullptr ? port : "";
}
#endif

class SystemDevice : public Device {
 public:
  explicit SystemDevice(hid_device* device) : device_(device) {}
  ~SystemDevice() override { api.hid_close(device_); }
  SystemDevice(const SystemDevice&) = delete;
  SystemDevice& operator=(const SystemDevice&) = delete;

  CallResult Write(std::span<const std::uint8_t> data) override {
    errno = 0;
    const int written = api.hid_write(device_, data.data(), data.size());
    return {written, written < 0 ? errno : 0};
  }

  CallResult ReadTimeout(std::span<std::uint8_t> data, int milliseconds) override {
    errno = 0;
    const int read = api.hid_read_timeout(device_, data.data(), data.size(), milliseconds);
    return {read, read < 0 ? errno : 0};
  }

 private:
  hid_device* device_;
};

class SystemLibrary : public Library {
 public:
  SystemLibrary() = default;
  ~SystemLibrary() override { api.hid_exit(); }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  std::vector<DeviceEntry> Enumerate() override {
    std::vector<DeviceEntry> entries;
    hid_device_info* const list = api.hid_enumerate(0, 0);
#if defined(__linux__)
    const std::unique_ptr<udev, UdevRelease> context(api.udev_new());
#endif
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
      DeviceEntry entry{info->path ? info->path : "", info->vendor_id, info->product_id, info->release_number};
#if defined(__linux__)
      entry.location = UsbPortPath(context.get(), entry.path);
#endif
      entries.push_back(std::move(entry));
    }
    api.hid_free_enumeration(list);
    return entries;
  }

  std::unique_ptr<Device> OpenPath(const std::string& path, int& error) override {
    errno = 0;
    hid_device* const device = api.hid_open_path(path.c_str());
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
  if (api.hid_init == nullptr && !LoadApi(why)) return nullptr;
  if (api.hid_init() != 0) {
    const wchar_t* const text = api.hid_error(nullptr);
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
