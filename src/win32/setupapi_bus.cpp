#include "win32/setupapi_bus.hpp"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <hidclass.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include <new>

#include "win32/handle_link.hpp"
#include "win32/unique_handle.hpp"
#include "win32/wide_text.hpp"

namespace fwup::win32 {
namespace {

// Destroys the device information set that the enumeration owns.
struct DestroySet {
  void operator()(HDEVINFO set) const {
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  }
};

// Zeroed heap blocks for the variable-size records; a failed allocation is an answer, not a throw.
std::unique_ptr<BYTE[]> Allocate(DWORD bytes) {
  return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[bytes == 0 ? 1 : bytes]());
}

// The first string of a device node's location paths ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"),
// which names the port the same way for every board plugged into it; else its location
// information ("Port_#0002.Hub_#0001"); empty when the node has neither.
std::string LocationOf(DEVINST node) {
  for (const ULONG property : {CM_DRP_LOCATION_PATHS, CM_DRP_LOCATION_INFORMATION}) {
    ULONG bytes = 0;
    if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, nullptr, &bytes, 0) != CR_BUFFER_SMALL) continue;
    const std::unique_ptr<BYTE[]> block = Allocate(bytes + sizeof(WCHAR));
    if (!block || CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, block.get(), &bytes, 0) != CR_SUCCESS) {
      continue;
    }
    const std::string text = Narrow(reinterpret_cast<const WCHAR*>(block.get()));
    if (!text.empty()) return text;
  }
  return {};
}

class SetupApiEnumeration : public HidEnumeration {
 public:
  explicit SetupApiEnumeration(HDEVINFO set) : set_(set) {}

  bool InterfaceAt(std::uint32_t index) override {
    interface_ = {};
    interface_.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    detail_fetched_ = false;
    // A set that could not be created fails here, which ends the walk with no device.
    return SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &GUID_DEVINTERFACE_HID, index, &interface_) != FALSE;
  }

  std::optional<std::u16string> HardwareId(std::uint32_t index) override {
    // The ID is read from the device element that owns this interface. Taking the n-th element
    // for the n-th interface pairs an interface with another device's ID as soon as the set
    // holds an element without a present interface (Wine keeps one for a device unplugged
    // before it started), and the tool would then match one device and open another. Only when
    // the interface names no owner is the n-th element taken.
    if (!FetchDetail()) return std::nullopt;
    SP_DEVINFO_DATA device = owner_;
    if (!owner_known_) {
      device = {};
      device.cbSize = sizeof(SP_DEVINFO_DATA);
      (void)SetupDiEnumDeviceInfo(set_.get(), index, &device);
    }

    DWORD bytes = 0;
    (void)SetupDiGetDeviceRegistryPropertyW(set_.get(), &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &bytes);
    const std::unique_ptr<BYTE[]> list = Allocate(bytes);
    if (!list) return std::nullopt;
    if (bytes == 0) return std::u16string{};  // no property: an empty hardware ID
    (void)SetupDiGetDeviceRegistryPropertyW(set_.get(), &device, SPDRP_HARDWAREID, nullptr, list.get(), bytes, nullptr);

    // The first string of the list, never past the block even without a terminator.
    const std::u16string_view text(reinterpret_cast<const char16_t*>(list.get()), bytes / sizeof(char16_t));
    return std::u16string(text.substr(0, text.find(u'\0')));
  }

  // The location of the USB device the HID device hangs from: its parent, or for a composite
  // device the parent of its USB interface (USB\...&MI_nn).
  std::string Location(std::uint32_t /*index*/) override {
    if (!FetchDetail() || !owner_known_) return {};
    DEVINST node = owner_.DevInst;
    for (int depth = 0; depth < 4; ++depth) {
      DEVINST parent = 0;
      WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
      if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS ||
          CM_Get_Device_IDW(parent, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return {};
      }
      node = parent;
      const std::wstring_view device_id(id);
      if (device_id.substr(0, 4) != L"USB\\") return {};  // not a USB device: uhid-like, Bluetooth, ...
      if (device_id.find(L"&MI_") == std::wstring_view::npos) return LocationOf(node);
    }
    return {};
  }

  std::optional<std::string> DevicePath(std::uint32_t /*index*/) override {
    return FetchDetail() ? std::optional(path_) : std::nullopt;
  }

 private:
  // The current interface's detail record: its device path and the element that owns it.
  // False only when memory ran out.
  bool FetchDetail() {
    if (detail_fetched_) return true;
    DWORD bytes = 0;
    (void)SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface_, nullptr, 0, &bytes, nullptr);
    if (bytes < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) bytes = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    // One character more than reported, zeroed, so that the path is terminated whatever the
    // fetch did.
    const std::unique_ptr<BYTE[]> block = Allocate(bytes + sizeof(WCHAR));
    if (!block) return false;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    owner_ = {};
    owner_.cbSize = sizeof(SP_DEVINFO_DATA);
    owner_known_ = SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface_, detail, bytes, nullptr, &owner_) != FALSE;
    path_ = Narrow(detail->DevicePath);
    detail_fetched_ = true;
    return true;
  }

  std::unique_ptr<void, DestroySet> set_;
  SP_DEVICE_INTERFACE_DATA interface_{};
  bool detail_fetched_ = false;
  std::string path_;
  SP_DEVINFO_DATA owner_{};
  bool owner_known_ = false;
};

}  // namespace

std::unique_ptr<HidEnumeration> SetupApiBus::Enumerate() {
  return std::make_unique<SetupApiEnumeration>(
      SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HID, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

OpenResult SetupApiBus::Open(const std::string& path, HidAccess access) {
  const DWORD rights = access == HidAccess::Write ? GENERIC_WRITE : GENERIC_READ;
  HANDLE handle = CreateFileW(Widen(path).c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {nullptr, static_cast<std::uint32_t>(GetLastError())};
  return {std::make_unique<HandleLink>(UniqueHandle(handle)), kErrorSuccess};
}

}  // namespace fwup::win32
