// The board log, time, host name and file digest on Linux and macOS.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>

#include "cli/board_log.hpp"
#include "cli/exit_code.hpp"

namespace fwup::cli {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw CliError(ExitCode::kOutputFailed, "cannot log to '" + path + "': " + why);
}

}  // namespace

BoardLog::BoardLog(const std::string& path, const std::vector<std::string>& inputs) : path_(path), handle_(-1) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    Fail(path, "it is not a regular file; nothing was flashed");
  }
  // Non-blocking only for the open, so that a FIFO without a reader is refused, not waited on.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) Fail(path, std::strerror(errno) + std::string("; nothing was flashed"));
  handle_ = fd;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    handle_ = -1;
    Fail(path, "it is not a regular file; nothing was flashed");
  }
  for (const std::string& input : inputs) {
    struct stat other {};
    if (stat(input.c_str(), &other) == 0 && other.st_dev == status.st_dev && other.st_ino == status.st_ino) {
      close(fd);
      handle_ = -1;
      Fail(path, "it is the firmware file; nothing was flashed");
    }
  }
  (void)fcntl(fd, F_SETFL, O_APPEND);
}

BoardLog::~BoardLog() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

void BoardLog::Append(std::string_view line) {
  const auto fd = static_cast<int>(handle_);
  ssize_t written = -1;
  do {
    written = write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) Fail(path_, std::strerror(errno));
  if (static_cast<std::size_t>(written) != line.size()) Fail(path_, "the disk took only part of the line");
  if (fsync(fd) != 0 && errno != EINVAL) Fail(path_, std::strerror(errno));
}

std::string UtcTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(milliseconds));
  return text;
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::optional<std::array<std::uint8_t, 32>> Sha256(std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace fwup::cli
