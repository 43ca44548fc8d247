#include "image/firmware_file.hpp"

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

}  // namespace fwup
