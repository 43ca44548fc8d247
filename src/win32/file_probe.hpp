// The access probe of the firmware file on Windows: can we alone open it for reading?
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>

#include "win32/unique_handle.hpp"

namespace fwup::win32 {

// CreateFileW with GENERIC_READ, no sharing, OPEN_EXISTING; 0 or GetLastError. The handle is
// closed at once. Installed into Session::probe_file by the dialog program.
inline std::uint32_t ProbeFirmwareFile(const std::filesystem::path& path) {
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() ? 0 : static_cast<std::uint32_t>(GetLastError());
}

}  // namespace fwup::win32
