// The subcommands of fwupgrade: each is a small object with its name, its one-line help, the
// options it takes and what it does, and all of them sit in one table (command_table.cpp).
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "cli/cli.hpp"
#include "cli/console.hpp"
#include "cli/device_source.hpp"
#include "cli/exit_code.hpp"
#include "cli/json.hpp"
#include "cli/options.hpp"

namespace CLI {
class App;
}

namespace fwup::cli {

// What a command works with. `result` is what --json prints; a command fills it as it goes.
struct Context {
  Console& console;
  const Options& options;
  const Platform& platform;
  Json result = Json::Object();
  // Set by the commands that use devices, so that Run writes the simulator's files after the
  // command, however it ended.
  std::unique_ptr<DeviceSource> devices;
};

struct CommandEntry {
  std::string_view name;
  std::string_view summary;
  void (*add_options)(CLI::App& command, Options& options);
  // Returns the exit code of an outcome that is not an error; throws CliError for one that is.
  ExitCode (*run)(Context& context);
};

std::span<const CommandEntry> Commands();

// The commands' shares of the table, one per file.
CommandEntry ListCommand();
CommandEntry InfoCommand();
CommandEntry CheckCommand();
CommandEntry ImageCommand();
CommandEntry FlashCommand();

}  // namespace fwup::cli
