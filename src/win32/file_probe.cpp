#include "win32/file_probe.hpp"

#include <windows.h>

#include "win32/unique_handle.hpp"

namespace fwup::win32 {

std::uint32_t ProbeFirmwareFile(const std::filesystem::path& path) {
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() ? 0 : static_cast<std::uint32_t>(GetLastError());
}

}  // namespace fwup::win32
