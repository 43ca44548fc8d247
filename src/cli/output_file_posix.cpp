// The output writer on Linux and macOS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cli/exit_code.hpp"
#include "cli/output_file.hpp"

namespace fwup::cli {
namespace {

[[noreturn]] void Refuse(const OutputFile& file, const std::string& why) {
  throw CliError(ExitCode::kOutputFailed, "cannot write " + std::string(file.what) + " to '" + file.path + "': " + why +
                                              "; nothing was written");
}

[[noreturn]] void RefuseErrno(const OutputFile& file, int error) { Refuse(file, std::strerror(error)); }

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
  if (S_ISFIFO(mode)) return "it is a FIFO";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is not a regular file";
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct Target {
  std::string path;  // where the file is written: a symbolic link's target, not the link
  bool exists = false;
  mode_t mode = 0;
};

// What the path names, with its links followed, and whether the tool may write it.
Target Resolve(const OutputFile& file, const std::vector<OutputFile>& inputs) {
  if (file.path.empty()) Refuse(file, "no file name was given");
  Target target{file.path};
  struct stat status {};
  if (::stat(file.path.c_str(), &status) != 0) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && ::lstat(file.path.c_str(), &link) == 0) Refuse(file, "it is a link to a missing file");
    if (error != ENOENT) RefuseErrno(file, error);
  } else {
    if (!S_ISREG(status.st_mode)) Refuse(file, KindOf(status.st_mode));
    for (const OutputFile& input : inputs) {
      struct stat in {};
      if (::stat(input.path.c_str(), &in) == 0 && in.st_dev == status.st_dev && in.st_ino == status.st_ino) {
        Refuse(file, "it is " + std::string(input.what) + " '" + input.path + "' itself; give another name");
      }
    }
    if (::access(file.path.c_str(), W_OK) != 0) RefuseErrno(file, errno);
    char resolved[PATH_MAX];
    if (::realpath(file.path.c_str(), resolved) != nullptr) target.path = resolved;
    target.exists = true;
    target.mode = status.st_mode & 07777;
  }
  const std::string folder = FolderOf(target.path);
  struct stat folder_status {};
  if (::stat(folder.c_str(), &folder_status) != 0) RefuseErrno(file, errno);
  if (!S_ISDIR(folder_status.st_mode)) Refuse(file, "'" + folder + "' is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    const int error = errno;
    Refuse(file, "its folder '" + folder + "' cannot be written (" + std::strerror(error) + ")");
  }
  return target;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

void CheckOutputFile(const OutputFile& file, const std::vector<OutputFile>& inputs) { (void)Resolve(file, inputs); }

void WriteOutputFile(const OutputFile& file, std::span<const std::uint8_t> bytes,
                     const std::vector<OutputFile>& inputs) {
  const Target target = Resolve(file, inputs);
  const std::string folder = FolderOf(target.path);
  std::string base = target.path.substr(target.path.find_last_of('/') + 1);
  base.resize(std::min<std::size_t>(base.size(), 100));  // the temporary name must fit NAME_MAX too
  std::string temporary = (folder == "/" ? "" : folder) + "/." + base + ".fwupgrade-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) RefuseErrno(file, errno);

  mode_t mode = target.mode;
  if (!target.exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool done = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = done ? 0 : errno;
  if (::close(fd) != 0 && done) {
    done = false;
    error = errno;
  }
  if (done && ::rename(temporary.c_str(), target.path.c_str()) != 0) {
    done = false;
    error = errno;
  }
  if (!done) {
    ::unlink(temporary.c_str());  // the tool's own temporary file, never the target
    RefuseErrno(file, error);
  }
  // The rename itself reaches the disk with the folder.
  const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd >= 0) {
    ::fsync(folder_fd);
    ::close(folder_fd);
  }
}

}  // namespace fwup::cli
