// The subcommands of fwupgrade and what they share. Each command is a small object with its name,
// its one-line help, the options it takes and what it does; all of them sit in one table, from
// which the parser and the help texts are made.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/arguments/exit_code.hpp"
#include "cli/cli.hpp"
#include "cli/records/json.hpp"

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

namespace fwup::cli {

// Everything the command line can say, filled in by the parser. Each command binds only the
// options it takes.
struct Options {
  std::string file;    // the firmware file of check, image and flash
  std::string output;  // image -o
  std::string region;  // check --region START:SIZE
  bool all = false;    // flash --all
  bool force = false;  // flash --force
  std::string log;     // flash --log: a line per board, appended
  bool watch = false;  // flash --watch, and its rules:
  unsigned count = 0;  // boards to end; 0: until stopped
  unsigned retries = 1;
  double settle_seconds = 3;

  std::optional<std::string> path;  // --path: the interface to use
  double wait_seconds = 0;          // --wait
  std::string wire_log;             // --wire-log: the reports that crossed each device's link

  bool simulate = false;
  unsigned sim_devices = 1;
  std::vector<std::string> sim_faults;  // [N=]FAULT
  std::string sim_dump;
  std::string sim_log;
  std::string sim_arrivals;         // "B@MS"
  unsigned sim_transfer_us = 1000;  // a full-speed interrupt endpoint moves one report per 1 ms frame

  bool verbose = false;
  bool json = false;
};

class DeviceSource;

// What a command works with. `result` is what --json prints; a command fills it as it goes.
struct Context {
  Console& console;
  const Options& options;
  const Platform& platform;
  Json result = Json::Object();
  // Set by the commands that use devices, so that Run writes the simulator's files after the
  // command, however it ended. (A shared_ptr, as it needs no complete DeviceSource here.)
  std::shared_ptr<DeviceSource> devices;
};

struct CommandEntry {
  std::string_view name;
  std::string_view summary;
  void (*add_options)(CLI::App& command, Options& options);
  // Returns the exit code of an outcome that is not an error; throws CliError for one that is.
  ExitCode (*run)(Context& context);
};

// The commands' shares of the table, one per file.
CommandEntry ListCommand();
CommandEntry InfoCommand();
CommandEntry CheckCommand();
CommandEntry ImageCommand();
CommandEntry FlashCommand();

// The options that several commands share, each with the same name and help everywhere.
// FILE, the firmware file of check, image and flash.
void AddFileArgument(CLI::App& command, Options& options);
// --path, and --wait where the command connects.
void AddDeviceOptions(CLI::App& command, Options& options, bool wait);
// --simulate and --sim-devices; with `traffic`, the options about a simulated device's traffic:
// --sim-fault, --sim-dump, --sim-log, --sim-transfer-time.
void AddSimulatorOptions(CLI::App& command, Options& options, bool traffic);
// -v/--verbose, and --json where the command has an outcome to print as JSON.
void AddOutputOptions(CLI::App& command, Options& options, bool json);
// flash's --watch, --count, --retries, --settle and the simulator's --sim-arrivals.
void AddWatchOptions(CLI::App& command, Options& options);
// Refuses an empty value: "" names no file and no device.
CLI::Validator NotEmpty();
// What a numeric option's range check says of `value`, with the option's name; empty when the
// value is in range or the option is not a numeric one.
std::string RangeError(CLI::Option& option, std::string value);

// The grammar, built from the command table with each command's options bound to one Options.
// (A shared_ptr, as it needs no complete CLI::App where a Parser goes away.)
struct Parser {
  std::shared_ptr<CLI::App> app;
  std::vector<std::pair<CLI::App*, const CommandEntry*>> commands;
};
Parser BuildParser(Options& options);

// fwupgrade --help: every command with its options, the exit codes, the fault syntax, examples.
std::string FullHelp(const Parser& parser);
// fwupgrade COMMAND --help.
std::string CommandHelp(const CLI::App& command, const CommandEntry& entry);

}  // namespace fwup::cli
