#include "cli/arguments/exit_code.hpp"

namespace fwup::cli {

std::string_view KindOf(ExitCode code) {
  for (const ExitCodeRow& row : kExitCodes) {
    if (row.code == code) return row.kind;
  }
  return "internal";
}

}  // namespace fwup::cli
