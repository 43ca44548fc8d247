// The time, host name and file digest on Linux and macOS.
#include <dlfcn.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>

#include "cli/board_log.hpp"

namespace fwup::cli {

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
