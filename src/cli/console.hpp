// Where the shell writes: standard output (with what kind of terminal it is) and standard
// error. Tests hand in string streams.
#pragma once

#include <ostream>

#include "cli/platform.hpp"

namespace fwup::cli {

struct Console {
  std::ostream& out;
  std::ostream& err;
  TerminalInfo terminal;
};

}  // namespace fwup::cli
