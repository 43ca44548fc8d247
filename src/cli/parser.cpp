#include "cli/parser.hpp"

#include <CLI/CLI.hpp>

#include "fwupgrade_version.hpp"

namespace fwup::cli {

Parser::Parser() = default;
Parser::~Parser() = default;
Parser::Parser(Parser&&) noexcept = default;

Parser BuildParser(Options& options) {
  Parser parser;
  parser.app = std::make_unique<CLI::App>("", "fwupgrade");
  CLI::App& app = *parser.app;
  app.set_version_flag("--version", "fwupgrade " + std::string(kVersion));
  app.require_subcommand(1);
  for (const CommandEntry& entry : Commands()) {
    CLI::App* command = app.add_subcommand(std::string(entry.name), std::string(entry.summary));
    entry.add_options(*command, options);
    parser.commands.emplace_back(command, &entry);
  }
  return parser;
}

}  // namespace fwup::cli
