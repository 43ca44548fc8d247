#include "image/firmware_file.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ports/report.hpp"

namespace fwup {

int FirmwareStream::Open(const std::filesystem::path& path) {
  std::FILE* stream = nullptr;
#if defined(_WIN32)
  const errno_t error = _wfopen_s(&stream, path.c_str(), L"rb");
  if (error != 0) return error;
#else
  // Opened without blocking, so that a FIFO with no writer cannot hold the tool for ever, and
  // taken only when it is a regular file: a FIFO or a device is no firmware file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno != 0 ? errno : EIO;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int error = S_ISDIR(status.st_mode) ? EISDIR : ENODEV;
    ::close(fd);
    return error;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  stream = ::fdopen(fd, "rb");
  if (stream == nullptr) {
    const int error = errno != 0 ? errno : EIO;
    ::close(fd);
    return error;
  }
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
  // A folder cannot be opened as a file; neither can a FIFO or a device be taken for one.
  if (!std::filesystem::is_regular_file(status)) return kErrorAccessDenied;
  FirmwareStream probe;
  const int open_error = probe.Open(path);
  if (open_error == 0) return kErrorSuccess;
  return open_error == EACCES || open_error == EPERM ? kErrorAccessDenied : kErrorGenFailure;
}

LineRead ReadLineAt(std::FILE* stream, std::uint64_t offset, LineBuffer& buffer, std::span<const std::uint8_t>& line) {
  line = {};
  // Reading goes on where the last line ended, so the seek is needed only the first time; it
  // keeps the stream's buffer.
  const long position = std::ftell(stream);
  if (position < 0) return LineRead::Error;
  if (static_cast<std::uint64_t>(position) != offset && std::fseek(stream, static_cast<long>(offset), SEEK_SET) != 0) {
    return LineRead::Error;
  }
  // fgets stops after LF or one byte short of the buffer; where the stream now stands tells how
  // many bytes it took, NULs included, which its string alone could not.
  const bool got = std::fgets(buffer.data(), static_cast<int>(buffer.size()), stream) != nullptr;
  if (std::ferror(stream)) return LineRead::Error;
  if (!got) return LineRead::EndOfFile;
  const long after = std::ftell(stream);
  if (after < 0) return LineRead::Error;
  const auto length = static_cast<std::size_t>(static_cast<std::uint64_t>(after) - offset);
  line = std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), std::min(length, kLinePieceLimit));
  return line.empty() ? LineRead::EndOfFile : LineRead::Line;
}

}  // namespace fwup
