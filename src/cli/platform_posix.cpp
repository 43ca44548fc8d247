// fwupgrade on Linux and macOS: the hidapi bus, what the terminal is, standard output, and the
// signals. Ctrl-C and SIGTERM are blocked in every thread and taken by one thread of their own, so
// that no transfer is ever cut short by EINTR: a read in flight ends as the device makes it end.
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include "cli/cli.hpp"
#include "cli/exit_code.hpp"
#include "cli/standard_output.hpp"
#include "cli/stop_request.hpp"
#include "hidapi/hidapi_bus.hpp"

namespace fwup::cli {
namespace {

void WaitForStopSignals(sigset_t signals) {
  for (;;) {
    int number = 0;
    if (sigwait(&signals, &number) != 0) continue;
    if (!StopRequested()) {
      RequestStop();
      const char* const note = StopNote();
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

// Before any thread starts, so that every thread inherits the mask; only for the commands that
// reach devices, so that the others start no thread.
void TakeStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(WaitForStopSignals, signals).detach();
}

std::unique_ptr<HidBus> OpenHardwareBus(std::string& why) {
  std::unique_ptr<hidapi::Library> library = hidapi::OpenSystemLibrary(why);
  if (!library) return nullptr;
  return std::make_unique<hidapi::HidapiBus>(std::move(library));
}

constexpr std::string_view kAccessDeniedAdvice =
#if defined(__APPLE__)
    "close any other program that has the device open, then run this again";
#else
    "the udev rule 70-fwupgrade.rules gives the device to the user at the seat: the fwupgrade package "
    "installs it; from the source tree, copy packaging/udev/70-fwupgrade.rules to /etc/udev/rules.d/ and run "
    "'udevadm control --reload' and 'udevadm trigger'; then plug the device in again";
#endif

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

TerminalInfo DetectStdoutTerminal() {
  TerminalInfo info;
  info.is_terminal = isatty(STDOUT_FILENO) == 1;
  if (!info.is_terminal) return info;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) info.columns = size.ws_col;
  const char* const term = std::getenv("TERM");
  info.cursor_control = term != nullptr && std::string_view(term) != "dumb";
  return info;
}

}  // namespace
}  // namespace fwup::cli

int main(int argc, char** argv) {
  using namespace fwup::cli;
  ::signal(SIGPIPE, SIG_IGN);  // a reader that went away must not end an upgrade
  ::signal(SIGXFSZ, SIG_IGN);  // a file-size limit makes the write fail, and the writer says so
  // File names are bytes here, in UTF-8 on any usual system, and printed back unchanged.
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const TerminalInfo terminal = DetectStdoutTerminal();
  // Never destroyed: the standard streams outlive every object of ours and are flushed at exit.
  auto* const out = new StandardOutput(WriteStdout, terminal.is_terminal);
  std::cout.rdbuf(out);
  Console console{std::cout, std::cerr, terminal, [out] { return out->FailureText(); }};
  try {
    return Run(args, console, {OpenHardwareBus, kAccessDeniedAdvice, TakeStopSignals});
  } catch (const std::exception& failure) {
    std::cerr << "fwupgrade: unexpected failure: " << failure.what() << "; please report it\n";
    return ToInt(ExitCode::kInternal);
  }
}
