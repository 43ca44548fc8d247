#include <array>

#include "cli/command.hpp"

namespace fwup::cli {

std::span<const CommandEntry> Commands() {
  static const std::array<CommandEntry, 5> kCommands = {
      ListCommand(), InfoCommand(), CheckCommand(), ImageCommand(), FlashCommand(),
  };
  return kCommands;
}

}  // namespace fwup::cli
