// The system on Linux and macOS: the process, the system's hidapi through the hidapi adapter, the
// host name and OpenSSL's digest.
#include <dlfcn.h>
#include <openssl/evp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include "hidapi/hidapi_bus.hpp"
#include "os/standard_output.hpp"
#include "os/system.hpp"

namespace fwup::os {
namespace {

StopHandler stop_handler = nullptr;

void WaitForStopSignals(sigset_t signals) {
  for (;;) {
    int number = 0;
    if (sigwait(&signals, &number) != 0) continue;
    if (const char* const note = stop_handler()) {
      (void)!::write(STDERR_FILENO, note, std::strlen(note));
      continue;
    }
    // The second one: as if nothing handled it.
    ::signal(number, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, number);
    pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
    ::raise(number);
  }
}

std::optional<StandardOutput::Failure> WriteStdout(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : EIO;
      return StandardOutput::Failure{error == EPIPE, std::strerror(error)};
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

}  // namespace

Process StartProcess(int argc, char** argv, StopHandler on_stop) {
  stop_handler = on_stop;
  ::signal(SIGPIPE, SIG_IGN);  // a reader that went away must not end an upgrade
  ::signal(SIGXFSZ, SIG_IGN);  // a file-size limit makes the write fail, and the writer says so
  // File names are bytes here, in UTF-8 on any usual system, and printed back unchanged.
  Process process;
  process.arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  TerminalInfo& terminal = process.terminal;
  terminal.is_terminal = isatty(STDOUT_FILENO) == 1;
  if (terminal.is_terminal) {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) terminal.columns = size.ws_col;
    const char* const term = std::getenv("TERM");
    terminal.cursor_control = term != nullptr && std::string_view(term) != "dumb";
  }
  // Never destroyed: the standard streams outlive every object of ours and are flushed at exit.
  using enum StandardOutput::Buffering;
  auto* const out = new StandardOutput(WriteStdout, terminal.is_terminal ? kLines : kBlocks);
  std::cout.rdbuf(out);
  process.out_failure = [out] { return out->FailureText(); };
  return process;
}

void TakeStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, number);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(WaitForStopSignals, signals).detach();
}

std::unique_ptr<HidBus> OpenHidBus(std::string& why) {
  std::unique_ptr<hidapi::Library> library = hidapi::OpenSystemLibrary(why);
  if (!library) return nullptr;
  return std::make_unique<hidapi::HidapiBus>(std::move(library));
}

const std::string_view kAccessDeniedAdvice =
#if defined(__APPLE__)
    "close any other program that has the device open, then run this again";
#else
    "the udev rule 70-fwupgrade.rules gives the device to the user at the seat: the fwupgrade package "
    "installs it; from the source tree, copy packaging/udev/70-fwupgrade.rules to /etc/udev/rules.d/ and run "
    "'udevadm control --reload' and 'udevadm trigger'; then plug the device in again";
#endif

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// Loaded for the first digest: only a run with --log needs it.
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

}  // namespace fwup::os
