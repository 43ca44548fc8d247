// A failure the shell reports to its user: the exit code it maps to and one line that names the
// cause and what to do. Thrown by the commands, caught once in Run.
#pragma once

#include <stdexcept>
#include <string>

#include "cli/exit_code.hpp"

namespace fwup::cli {

class CliError : public std::runtime_error {
 public:
  CliError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace fwup::cli
