#include "cli/arguments/exit_code.hpp"

namespace fwup::cli {

std::string_view KindOf(ExitCode code) {
  for (const ExitCodeRow& row : kExitCodes) {
    if (row.code == code) return row.kind;
  }
  return "internal";
}

std::string ExitCodeHelp() {
  std::string text = "Exit codes:\n";
  for (const ExitCodeRow& row : kExitCodes) {
    const std::string number = std::to_string(ToInt(row.code));
    text += std::string(4 - number.size(), ' ') + number + "  " + std::string(row.meaning) + "\n";
  }
  return text;
}

}  // namespace fwup::cli
