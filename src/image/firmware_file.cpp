#include "image/firmware_file.hpp"

#include <cerrno>
#include <system_error>

#include "ports/hid.hpp"

namespace fwup {
namespace {

// The line reader takes one character at a time from a stream only it uses.
int NextByte(std::FILE* stream) {
#if defined(_WIN32)
  return _getc_nolock(stream);
#else
  return getc_unlocked(stream);
#endif
}

}  // namespace

int FirmwareStream::Open(const std::filesystem::path& path) {
  std::FILE* stream = nullptr;
#if defined(_WIN32)
  const errno_t error = _wfopen_s(&stream, path.c_str(), L"rb");
  if (error != 0) return error;
#else
  errno = 0;
  stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) return errno != 0 ? errno : EIO;
#endif
  stream_.reset(stream);
  return 0;
}

std::uint32_t ProbeFirmwareFile(const std::filesystem::path& path) {
  if (path.empty()) return kErrorPathNotFound;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    const auto parent = path.parent_path();
    return parent.empty() || std::filesystem::is_directory(parent, error) ? kErrorFileNotFound : kErrorPathNotFound;
  }
  if (std::filesystem::is_directory(status)) return kErrorAccessDenied;
  FirmwareStream probe;
  const int open_error = probe.Open(path);
  if (open_error == 0) return kErrorSuccess;
  return open_error == EACCES || open_error == EPERM ? kErrorAccessDenied : kErrorGenFailure;
}

LineRead ReadLineAt(std::FILE* stream, std::uint64_t offset, std::vector<std::uint8_t>& line) {
  line.clear();
  // Reading goes on where the last line ended, so the seek is needed only the first time; it
  // keeps the stream's buffer.
  const long position = std::ftell(stream);
  if (position < 0 || static_cast<std::uint64_t>(position) != offset) {
    if (std::fseek(stream, static_cast<long>(offset), SEEK_SET) != 0) return LineRead::Error;
  }
  while (line.size() < kLinePieceLimit) {
    const int character = NextByte(stream);
    if (character == EOF) break;
    line.push_back(static_cast<std::uint8_t>(character));
    if (character == '\n') break;
  }
  if (std::ferror(stream)) return LineRead::Error;
  return line.empty() ? LineRead::EndOfFile : LineRead::Line;
}

}  // namespace fwup
