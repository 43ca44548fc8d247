// hid-walk.exe EXPECTED: what Wine's HID stack shows of the device, for the vm scenarios until the
// Windows programs run there. Walks the present HID interfaces with SetupAPI as the tool does,
// judges each first hardware ID with the project's MatchHardwareId, and on every match opens
// the path twice and asks for the application version with a 65-byte report; a 64-byte write
// goes first, which Windows refuses. Waits up to 10 s for EXPECTED matches: winebus may still be
// reading sysfs when the program starts. One line per finding on standard output.
#include <windows.h>
// windows.h first; then initguid.h, so that hidclass.h defines the interface class GUID here
#include <initguid.h>
// then the rest
#include <hidclass.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
// hidsdi.h first: it defines what hidpi.h uses
#include <hidpi.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/hardware_id.hpp"

namespace {

struct Interface {
  std::vector<std::wstring> hardware_ids;
  std::wstring path;
  bool matches = false;
};

// One whole line to standard output at once: Wine's console writes each write call separately,
// and a call per character is slow under emulation.
__attribute__((format(gnu_printf, 1, 2))) void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::vector<Interface> Walk() {
  std::vector<Interface> found;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HID, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return found;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HID, index, &interface_data)) break;
    Interface entry;
    // The path, and the device element that owns the interface, whose first hardware ID counts
    // (as in the product's walk: the n-th element need not own the n-th interface).
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &size, nullptr);
    std::vector<BYTE> detail_buffer(size + sizeof(wchar_t), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail_buffer.data());
    detail->cbSize = sizeof *detail;
    if (size && SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, size, nullptr, &device)) {
      entry.path = detail->DevicePath;
      size = 0;
      SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
      std::vector<wchar_t> ids(size / sizeof(wchar_t) + 2, L'\0');
      if (size && SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                                    reinterpret_cast<BYTE*>(ids.data()), size, nullptr)) {
        for (const wchar_t* id = ids.data(); *id; id += wcslen(id) + 1) entry.hardware_ids.emplace_back(id);
      }
    }
    if (!entry.hardware_ids.empty()) {
      const std::wstring& first = entry.hardware_ids.front();
      entry.matches = fwup::MatchHardwareId(std::u16string(first.begin(), first.end())) == 1;
    }
    found.push_back(entry);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

// One read of `length` bytes that gives up after `bound_ms`, so that a silent device cannot
// hang the scenario.
BOOL BoundedRead(HANDLE handle, BYTE* buffer, DWORD length, DWORD& got, DWORD bound_ms) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  BOOL done = ReadFile(handle, buffer, length, nullptr, &overlapped);
  if (!done && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(overlapped.hEvent, bound_ms) != WAIT_OBJECT_0) CancelIoEx(handle, &overlapped);
    done = GetOverlappedResult(handle, &overlapped, &got, TRUE);
  } else if (done) {
    done = GetOverlappedResult(handle, &overlapped, &got, TRUE);
  }
  const DWORD error = GetLastError();
  CloseHandle(overlapped.hEvent);
  SetLastError(error);
  return done;
}

void Probe(const Interface& entry) {
  const std::string path = Narrow(entry.path);
  HANDLE writer = CreateFileW(entry.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  const DWORD write_open = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  HANDLE reader = CreateFileW(entry.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  const DWORD read_open = reader == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  Line("open: path=\"%s\" write_error=%lu read_error=%lu\n", path.c_str(), write_open, read_open);
  if (writer == INVALID_HANDLE_VALUE || reader == INVALID_HANDLE_VALUE) return;

  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  HIDP_CAPS caps{};
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (HidD_GetAttributes(reader, &attributes) && HidD_GetPreparsedData(reader, &preparsed)) {
    HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
  }
  Line("attributes: path=\"%s\" vendor=%04X product=%04X version=%04X input=%u output=%u\n", path.c_str(),
       attributes.VendorID, attributes.ProductID, attributes.VersionNumber, caps.InputReportByteLength,
       caps.OutputReportByteLength);

  BYTE request[65] = {0x00, 0xAD};
  DWORD count = 0;
  SetLastError(0);
  BOOL written = WriteFile(writer, request, 64, &count, nullptr);
  Line("write64: path=\"%s\" result=%s error=%lu\n", path.c_str(), written ? "TRUE" : "FALSE",
       written ? 0 : GetLastError());
  SetLastError(0);
  written = WriteFile(writer, request, 65, &count, nullptr);
  const DWORD write_error = written ? 0 : GetLastError();
  BYTE answer[65] = {};
  DWORD got = 0;
  const BOOL read = written && BoundedRead(reader, answer, sizeof answer, got, 3000);
  Line("exchange: path=\"%s\" write=%s write_error=%lu read=%s bytes=%lu id=%02X code=%02X text=\"%.5s\"\n",
       path.c_str(), written ? "TRUE" : "FALSE", write_error, read ? "TRUE" : "FALSE", got, answer[0], answer[1],
       reinterpret_cast<const char*>(answer + 3));
  CloseHandle(reader);
  CloseHandle(writer);
}

DWORD WINAPI Watchdog(void*) {
  Sleep(60000);
  Line("hid-walk: gave up after 60 s\n");
  ExitProcess(9);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  const int expected = argc > 1 ? std::atoi(argv[1]) : 1;
  std::vector<Interface> found;
  int matches = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    found = Walk();
    matches = 0;
    for (const Interface& entry : found) matches += entry.matches ? 1 : 0;
    if (matches >= expected) break;
    Sleep(500);
  }
  for (std::size_t index = 0; index < found.size(); ++index) {
    std::string also;
    for (std::size_t i = 1; i < found[index].hardware_ids.size(); ++i)
      also += " | " + Narrow(found[index].hardware_ids[i]);
    Line("walk: index=%zu id=\"%s\" path=\"%s\" match=%d others=\"%s\"\n", index,
         found[index].hardware_ids.empty() ? "" : Narrow(found[index].hardware_ids.front()).c_str(),
         Narrow(found[index].path).c_str(), found[index].matches ? 1 : 0, also.empty() ? "" : also.substr(3).c_str());
  }
  Line("matches: %d\n", matches);
  for (const Interface& entry : found) {
    if (entry.matches) Probe(entry);
  }
  return 0;
}
