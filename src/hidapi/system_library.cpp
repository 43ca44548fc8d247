// The system's hidapi: the only file that includes hidapi.h. On Linux hidapi is loaded when a
// command first needs the HID devices, so that the commands without a device (check, image,
// --help) start without it.
#include <hidapi.h>
#include <unistd.h>

#include <cerrno>

#include "hidapi/hidapi_library.hpp"

#if defined(__APPLE__)
#include <hidapi_darwin.h>
#endif
#if defined(__linux__)
#include <dlfcn.h>

#include <filesystem>
#include <fstream>
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
};
Api api{};

#if defined(__linux__)
// Fills `api` from the shared library Debian's package installs; the reason when it is missing.
bool LoadApi(std::string& why) {
  void* const hid = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_LOCAL);
  const auto take = [hid](const char* name, auto& function) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(hid, name));
    return function != nullptr;
  };
  const bool loaded = hid != nullptr && take("hid_init", api.hid_init) && take("hid_exit", api.hid_exit) &&
                      take("hid_error", api.hid_error) && take("hid_enumerate", api.hid_enumerate) &&
                      take("hid_free_enumeration", api.hid_free_enumeration) &&
                      take("hid_open_path", api.hid_open_path) && take("hid_close", api.hid_close) &&
                      take("hid_write", api.hid_write) && take("hid_read_timeout", api.hid_read_timeout);
  if (!loaded) why = dlerror();
  return loaded;
}

// The sysfs name of the USB device above a hidraw node ("1-2.3": bus 1, port 2, then port 3 of
// the hub there), which stays the same for every board plugged into that port: the nearest
// folder above the node whose subsystem is usb and whose uevent says DEVTYPE=usb_device, as udev
// finds it. Empty for a node with no USB device above it.
std::string UsbPortPath(const std::string& path) {
  std::error_code error;
  std::filesystem::path folder =
      std::filesystem::canonical("/sys/class/hidraw/" + path.substr(path.rfind('/') + 1), error);
  for (; !error && folder.has_relative_path(); folder = folder.parent_path()) {
    std::error_code no_link;
    if (std::filesystem::read_symlink(folder / "subsystem", no_link).filename() != "usb") continue;
    std::ifstream uevent(folder / "uevent");
    for (std::string line; std::getline(uevent, line);) {
      if (line == "DEVTYPE=usb_device") return folder.filename();
    }
  }
  return {};
}
#else
bool LoadApi(std::string&) {
  api = {::hid_init,      ::hid_exit,  ::hid_error, ::hid_enumerate,   ::hid_free_enumeration,
         ::hid_open_path, ::hid_close, ::hid_write, ::hid_read_timeout};
  return true;
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
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
      DeviceEntry entry{info->path ? info->path : "", info->vendor_id, info->product_id, info->release_number};
#if defined(__linux__)
      entry.location = UsbPortPath(entry.path);
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
