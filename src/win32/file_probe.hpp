// The access probe of the firmware file on Windows: can we alone open it for reading?
#pragma once

#include <cstdint>
#include <filesystem>

namespace fwup::win32 {

// CreateFileW with GENERIC_READ, no sharing, OPEN_EXISTING; 0 or GetLastError. The handle is
// closed at once. Installed into Session::probe_file by the dialog program.
std::uint32_t ProbeFirmwareFile(const std::filesystem::path& path);

}  // namespace fwup::win32
