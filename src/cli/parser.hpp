// The command line's grammar, built from the command table: each command's options are bound to
// one Options.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "cli/command.hpp"
#include "cli/options.hpp"

namespace CLI {
class App;
}

namespace fwup::cli {

struct Parser {
  Parser();
  ~Parser();
  Parser(Parser&&) noexcept;
  std::unique_ptr<CLI::App> app;
  std::vector<std::pair<CLI::App*, const CommandEntry*>> commands;
};

Parser BuildParser(Options& options);

// fwupgrade --help: every command with its options, the exit codes, the fault syntax, examples.
std::string FullHelp(const Parser& parser);
// fwupgrade COMMAND --help.
std::string CommandHelp(const CLI::App& command, const CommandEntry& entry);

}  // namespace fwup::cli
