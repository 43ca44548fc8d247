// The command-line shell's platform on Linux and macOS: the hidapi bus, and what a terminal is.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "cli/platform.hpp"
#include "hidapi/hidapi_bus.hpp"

namespace fwup::cli {

// The bytes of the command line as they are: file names are bytes here, in UTF-8 on any usual
// system, and the shell prints them back unchanged.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8StandardStreams() {}

std::unique_ptr<HidBus> OpenHardwareBus(std::string& why) {
  std::unique_ptr<hidapi::Library> library = hidapi::OpenSystemLibrary(why);
  if (!library) return nullptr;
  return std::make_unique<hidapi::HidapiBus>(std::move(library));
}

std::string_view AccessDeniedAdvice() {
#if defined(__APPLE__)
  return "close any other program that has the device open, then run this again";
#else
  return "the udev rule 70-fwupgrade.rules gives the device to the user at the seat: the fwupgrade package "
         "installs it; from the source tree, copy packaging/udev/70-fwupgrade.rules to /etc/udev/rules.d/ and run "
         "'udevadm control --reload' and 'udevadm trigger'; then plug the device in again";
#endif
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

}  // namespace fwup::cli
