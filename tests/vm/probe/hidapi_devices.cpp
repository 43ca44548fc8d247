#include "hidapi_devices.hpp"

#include <hidapi/hidapi.h>

#include <cstdio>

namespace fwup::vm {
namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

}  // namespace

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
