// fwupgrade: the command-line shell of the firmware upgrade tool.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "cli/exit_code.hpp"
#include "cli/platform.hpp"
#include "cli/stop_request.hpp"

int main(int argc, char** argv) {
  using namespace fwup::cli;
  SetUpProcessSignals();
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  UseUtf8StandardStreams();
  Console console{std::cout, std::cerr, DetectStdoutTerminal()};
  const Platform platform{OpenHardwareBus, AccessDeniedAdvice()};
  try {
    return Run(args, console, platform);
  } catch (const std::exception& failure) {
    std::cerr << "fwupgrade: unexpected failure: " << failure.what() << "; please report it\n";
    return ToInt(ExitCode::kInternal);
  }
}
