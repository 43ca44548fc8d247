// File names from the command line to paths and back. The shell keeps its arguments in UTF-8,
// but a path made from a plain std::string reads it in the platform's narrow encoding, which on
// Windows is the ANSI code page: a name outside it would not be found. Going through char8_t
// reads and writes UTF-8 everywhere (on Linux and macOS the bytes pass unchanged).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace fwup::cli {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace fwup::cli
