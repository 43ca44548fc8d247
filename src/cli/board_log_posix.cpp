// The board log, time, host name and file digest on Linux and macOS.
#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
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

constexpr const char* kNotWritten = "; the line was not written and the log is as it was";

// flock: every fwupgrade appending to the file, in any process, takes it around its append and
// its undo. Returns the error, 0 when done.
int Lock(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

BoardLog::BoardLog(const std::string& path, const std::vector<std::string>& inputs) : path_(path), handle_(-1) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    Fail(path, "it is not a regular file; nothing was flashed");
  }
  // Non-blocking only for the open, so that a FIFO without a reader is refused, not waited on.
  // Read access too: the last byte says whether the file ends in a newline.
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) Fail(path, std::strerror(errno) + std::string("; nothing was flashed"));
  handle_ = fd;
  const auto refuse = [&](const std::string& why) {
    close(fd);
    handle_ = -1;
    Fail(path, why + "; nothing was flashed");
  };
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) refuse("it is not a regular file");
  for (const std::string& input : inputs) {
    struct stat other {};
    if (stat(input.c_str(), &other) == 0 && other.st_dev == status.st_dev && other.st_ino == status.st_ino) {
      refuse("it is the firmware file");
    }
  }
  (void)fcntl(fd, F_SETFL, O_APPEND);
  // A file system without locks is found now, not at the first board's line.
  int error = Lock(fd, LOCK_EX);
  if (error == 0) error = Lock(fd, LOCK_UN);
  if (error != 0) refuse(std::string("it cannot be locked (") + std::strerror(error) + ")");
}

BoardLog::~BoardLog() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

void BoardLog::Append(std::string_view line) {
  const auto fd = static_cast<int>(handle_);
  const std::lock_guard threads(mutex_);
  if (const int error = Lock(fd, LOCK_EX); error != 0) {
    Fail(path_, std::string("cannot lock it: ") + std::strerror(error) + kNotWritten);
  }
  const struct Unlock {
    int fd;
    ~Unlock() { (void)Lock(fd, LOCK_UN); }
  } unlock{fd};

  struct stat before {};
  if (fstat(fd, &before) != 0) Fail(path_, std::strerror(errno) + std::string(kNotWritten));
  char last = '\n';
  if (before.st_size > 0 && pread(fd, &last, 1, before.st_size - 1) != 1) {
    Fail(path_, std::string("cannot read its last byte: ") + std::strerror(errno) + kNotWritten);
  }
  // A last line without its newline keeps its bytes and gets one, so that this line stands alone.
  std::string text = last == '\n' ? std::string() : std::string("\n");
  text += line;

  std::string why;
  std::size_t put = 0;
  while (why.empty() && put < text.size()) {
    const ssize_t written = write(fd, text.data() + put, text.size() - put);
    if (written > 0) {
      put += static_cast<std::size_t>(written);
    } else if (written == 0) {
      why = "the disk took only part of the line";
    } else if (errno != EINTR) {
      why = std::strerror(errno);
    }
  }
  if (why.empty() && fsync(fd) != 0 && errno != EINVAL) why = std::strerror(errno);
  if (why.empty()) return;
  if (put == 0) Fail(path_, why + kNotWritten);

  // Cut back only what this write put there: a size other than that means a program that ignores
  // the lock appended meanwhile, and its bytes are not ours to cut.
  struct stat after {};
  if (fstat(fd, &after) != 0) {
    why += std::string("; its size cannot be read (") + std::strerror(errno) + ")";
  } else if (after.st_size != before.st_size + static_cast<off_t>(put)) {
    why += "; something else wrote to it at the same time";
  } else if (ftruncate(fd, before.st_size) != 0) {
    why += std::string("; it cannot be cut back (") + std::strerror(errno) + ")";
  } else {
    (void)fsync(fd);
    Fail(path_, why + kNotWritten);
  }
  Fail(path_, why + ", so " + std::to_string(put) + " bytes of the line are left in it");
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

// OpenSSL's libcrypto, loaded for the first digest: only a run with --log needs it.
std::optional<std::array<std::uint8_t, 32>> Sha256(std::span<const std::uint8_t> bytes) {
  static void* const library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  const auto digest_of = reinterpret_cast<decltype(&EVP_Digest)>(dlsym(library, "EVP_Digest"));
  const auto sha256 = reinterpret_cast<decltype(&EVP_sha256)>(dlsym(library, "EVP_sha256"));
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (digest_of == nullptr || sha256 == nullptr ||
      digest_of(bytes.data(), bytes.size(), digest.data(), &length, sha256(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace fwup::cli
