// fwupgrade's entry: what the platform layer gives, handed to the command line.
#include <iostream>

#include "cli/cli.hpp"
#include "cli/arguments/exit_code.hpp"
#include "cli/flash/stop_request.hpp"
#include "os/system.hpp"

int main(int argc, char** argv) {
  using namespace fwup;
  // The first stop asks the run to stop and says so; a second ends the process.
  const auto on_stop = []() -> const char* {
    if (cli::StopRequested()) return nullptr;
    cli::RequestStop();
    return cli::StopNote();
  };
  const os::Process process = os::StartProcess(argc, argv, on_stop);
  cli::Console console{std::cout, std::cerr, process.terminal, process.out_failure};
  try {
    return cli::Run(process.arguments, console, {os::OpenHidBus, os::kAccessDeniedAdvice, os::TakeStopSignals});
  } catch (const std::exception& failure) {
    std::cerr << "fwupgrade: unexpected failure: " << failure.what() << "; please report it\n";
    return cli::ToInt(cli::ExitCode::kInternal);
  }
}
