// The files on Linux and macOS.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "os/files.hpp"

namespace fwup::os {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(int error) { throw FileError(std::strerror(error)); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the file is written: a symbolic link's target, not the link; the path when it is missing.
std::string Target(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// The system's reason when not all of `bytes` were written; `put` says how many were.
std::string WriteAll(int fd, std::string_view bytes, std::size_t& put) {
  while (put < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (written > 0) {
      put += static_cast<std::size_t>(written);
    } else if (written == 0) {
      return "the disk took only part of the line";
    } else if (errno != EINTR) {
      return std::strerror(errno);
    }
  }
  return {};
}

}  // namespace

void CheckFileKind(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error == std::errc::no_such_file_or_directory) {
    if (fs::is_symlink(fs::symlink_status(path, error))) throw FileError("it is a link to a missing file");
    return;
  }
  if (error) Fail(error.value());
  if (status.type() != fs::file_type::regular) throw FileError("it is " + KindOf(status.type()));
}

void CheckWritable(const std::string& path) {
  if (::access(path.c_str(), W_OK) != 0 && errno != ENOENT) Fail(errno);
  const std::string folder = FolderOf(Target(path));
  struct stat folder_status {};
  if (::stat(folder.c_str(), &folder_status) != 0) Fail(errno);
  if (!S_ISDIR(folder_status.st_mode)) throw FileError("'" + folder + "' is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    const int error = errno;
    throw FileError("its folder '" + folder + "' cannot be written (" + std::strerror(error) + ")");
  }
}

void WriteWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  const std::string target = Target(path);
  const std::string folder = FolderOf(target);
  const std::string base = target.substr(target.find_last_of('/') + 1, 100);  // the temporary must fit NAME_MAX
  std::string temporary = (folder == "/" ? "" : folder) + "/." + base + ".fwupgrade-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) Fail(errno);

  const mode_t mask = exists ? 0 : ::umask(0);  // a new file as the user's programs make them
  if (!exists) ::umask(mask);
  const mode_t mode = exists ? status.st_mode & 07777 : 0666 & ~mask;
  std::size_t put = 0;
  std::string why = ::fchmod(fd, mode) != 0
                        ? std::strerror(errno)
                        : WriteAll(fd, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, put);
  if (why.empty() && ::fsync(fd) != 0) why = std::strerror(errno);
  if (::close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && ::rename(temporary.c_str(), target.c_str()) != 0) why = std::strerror(errno);
  if (!why.empty()) {
    ::unlink(temporary.c_str());  // the tool's own temporary file, never the target
    throw FileError(why);
  }
  // The rename itself reaches the disk with the folder.
  const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd >= 0) {
    ::fsync(folder_fd);
    ::close(folder_fd);
  }
}

AppendFile::AppendFile(const std::string& path) : handle_(-1) {
  std::error_code missing;
  const fs::file_status existing = fs::status(path, missing);
  if (!missing && !fs::is_regular_file(existing)) throw FileError("it is not a regular file");
  // Non-blocking only for the open, so that a FIFO without a reader is refused, not waited on.
  // Read access too: the last byte says whether the file ends in a newline.
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) Fail(errno);
  handle_ = fd;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    throw FileError("it is not a regular file");
  }
  (void)fcntl(fd, F_SETFL, O_APPEND);
}

AppendFile::~AppendFile() { close(static_cast<int>(handle_)); }

std::string AppendFile::Lock(bool exclusive) {
  while (flock(static_cast<int>(handle_), exclusive ? LOCK_EX : LOCK_UN) != 0) {
    if (errno != EINTR) return std::strerror(errno);
  }
  return {};
}

std::string AppendFile::Size(std::int64_t& size) {
  struct stat status {};
  if (fstat(static_cast<int>(handle_), &status) != 0) return std::strerror(errno);
  size = status.st_size;
  return {};
}

std::string AppendFile::ReadByte(std::int64_t at, char& byte) {
  return pread(static_cast<int>(handle_), &byte, 1, at) == 1 ? "" : std::strerror(errno);
}

std::string AppendFile::Write(std::string_view text, std::size_t& put) {
  return WriteAll(static_cast<int>(handle_), text, put);
}

std::string AppendFile::Sync() {
  return fsync(static_cast<int>(handle_)) != 0 && errno != EINVAL ? std::strerror(errno) : "";
}

std::string AppendFile::CutBack(std::int64_t size) {
  return ftruncate(static_cast<int>(handle_), size) == 0 ? "" : std::strerror(errno);
}

}  // namespace fwup::os
