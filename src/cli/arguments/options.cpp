// The options the commands share, and the parser made from the command table.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include "cli/arguments/command.hpp"
#include "fwupgrade_version.hpp"

namespace fwup::cli {
namespace {

// The name of the range check every numeric option has.
constexpr const char* kRangeCheck = "range";

// Plain decimal numbers only: a sign, an exponent, "inf" or "nan" would each have to be
// explained, and none is needed to say how long to wait or how many devices to simulate.
// `decimals`: a fraction is allowed. The message is short whatever the value given.
CLI::Validator DecimalIn(int low, int high, bool decimals, std::string_view unit) {
  const std::string range = std::string(unit) + " from " + std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, decimals, range](std::string& text) -> std::string {
        const std::string shown = "'" + (text.size() > 24 ? text.substr(0, 24) + "..." : text) + "'";
        const bool plain = text.find_first_not_of(decimals ? "0123456789." : "0123456789") == std::string::npos &&
                           text.find_first_of("0123456789") != std::string::npos &&
                           std::count(text.begin(), text.end(), '.') <= 1;
        if (!plain) return shown + " is not " + range;
        // Leading zeros and long fractions change nothing; the range check needs no more than this.
        const double value = std::strtod(text.c_str(), nullptr);
        if (value < low || value > high) return shown + " is out of range: give " + range;
        return {};
      },
      "", kRangeCheck);
}

}  // namespace

std::string RangeError(CLI::Option& option, std::string value) {
  try {
    const std::string error = (*option.get_validator(kRangeCheck))(value);
    return error.empty() ? error : option.get_name() + ": " + error;
  } catch (const CLI::OptionNotFound&) {
    return {};  // not a numeric option
  }
}

CLI::Validator NotEmpty() {
  return CLI::Validator(
      [](std::string& text) { return text.empty() ? std::string("an empty value names nothing") : ""; }, "");
}

void AddFileArgument(CLI::App& command, Options& options) {
  command.add_option("FILE", options.file, "the firmware file")->required()->check(NotEmpty());
}

void AddDeviceOptions(CLI::App& command, Options& options, bool wait) {
  command
      .add_option(
          "--path", options.path,
          "use the device at PATH, or the one plugged in at LOCATION, as 'list' prints them, not the first one found")
      ->type_name("PATH")
      ->check(NotEmpty());
  if (wait) {
    command
        .add_option("--wait", options.wait_seconds,
                    "wait up to SECONDS (0 to 86400, decimals allowed) for a device in Firmware Upgrade Mode to appear")
        ->type_name("SECONDS")
        ->check(DecimalIn(0, 86400, true, "a number of seconds"));  // a day: longer is a mistake, not a wait
    command
        .add_option("--wire-log", options.wire_log,
                    "write every report sent to and read from the device to FILE, each line with the seconds since "
                    "the start (FILE.1, FILE.2, ... for several devices, and with --watch one for each attempt); for "
                    "support")
        ->type_name("FILE")
        ->check(NotEmpty());
  }
}

void AddWatchOptions(CLI::App& command, Options& options) {
  CLI::Option* watch = command.add_flag(
      "--watch", options.watch,
      "a production line: flash every device that enters Firmware Upgrade Mode as it appears, each on its own, "
      "until Ctrl-C (the boards in progress finish) or --count boards have ended; exit 0 only when all of them "
      "ended with CRC Matched");
  command.add_option("--count", options.count, "with --watch: stop once N boards have ended, 1 to 1000000")
      ->type_name("N")
      ->check(DecimalIn(1, 1000000, false, "a whole number"))
      ->needs(watch);
  command
      .add_option("--retries", options.retries,
                  "with --watch: flash a failed board again up to N times while it stays in its slot, 0 to 10 "
                  "(default 1)")
      ->type_name("N")
      ->check(DecimalIn(0, 10, false, "a whole number"))
      ->needs(watch);
  command
      .add_option("--settle", options.settle_seconds,
                  "with --watch: how long a slot must stay empty before the failed board in it counts as replaced, "
                  "0 to 600 (default 3; longer than a reset takes to show the device again)")
      ->type_name("SECONDS")
      ->check(DecimalIn(0, 600, true, "a number of seconds"))
      ->needs(watch);
  command
      .add_option("--sim-arrivals", options.sim_arrivals,
                  "testing aid: boards arrive one by one, B boards one every MS milliseconds, each into the first "
                  "free one of --sim-devices sockets; a matched board leaves after its reset, a failed one is taken "
                  "out")
      ->type_name("B@MS")
      ->check(NotEmpty());
}

void AddSimulatorOptions(CLI::App& command, Options& options, bool traffic) {
  CLI::Option* simulate =
      command.add_flag("--simulate", options.simulate,
                       "use the built-in simulated boot loader, not hardware; the --sim options need it");
  command.add_option("--sim-devices", options.sim_devices, "simulate N boot loaders, 0 to 64 (default 1)")
      ->type_name("N")
      ->check(DecimalIn(0, 64, false, "a whole number"))
      ->needs(simulate);
  if (!traffic) return;
  command
      .add_option("--sim-fault", options.sim_faults,
                  "testing aid: switch on a simulator fault in simulated device N (default 1); FAULT is "
                  "described below; may be given more than once")
      ->type_name("[N=]FAULT")
      ->allow_extra_args(false)
      ->needs(simulate);
  command
      .add_option("--sim-dump", options.sim_dump,
                  "after the run, write the simulated device's 64 KiB memory to FILE (FILE.1, FILE.2, ... for "
                  "several devices)")
      ->type_name("FILE")
      ->check(NotEmpty())
      ->needs(simulate);
  command
      .add_option("--sim-log", options.sim_log,
                  "after the run, write the simulated device's wire log to FILE, numbered as --sim-dump: one line "
                  "per report, '>' written and '<' read by the tool, then its 65 bytes in hex")
      ->type_name("FILE")
      ->check(NotEmpty())
      ->needs(simulate);
  command
      .add_option("--sim-transfer-time", options.sim_transfer_us,
                  "time one report takes on the simulated wire, in microseconds, 0 to 1000000 (default 1000, one "
                  "USB frame; 0: none)")
      ->type_name("US")
      ->check(DecimalIn(0, 1000000, false, "a whole number of microseconds"))
      ->needs(simulate);
}

void AddOutputOptions(CLI::App& command, Options& options, bool json) {
  command.add_flag("-v,--verbose", options.verbose, "print the trace lines to standard error");
  if (json) {
    command.add_flag("--json", options.json,
                     "print the outcome as JSON on standard output, errors too, and nothing else there");
  }
}

Parser BuildParser(Options& options) {
  static const std::array<CommandEntry, 5> kCommands = {
      ListCommand(), InfoCommand(), CheckCommand(), ImageCommand(), FlashCommand(),
  };
  Parser parser;
  parser.app = std::make_shared<CLI::App>("", "fwupgrade");
  CLI::App& app = *parser.app;
  app.set_version_flag("--version", "fwupgrade " + std::string(kVersion));
  app.require_subcommand(1);
  for (const CommandEntry& entry : kCommands) {
    CLI::App* command = app.add_subcommand(std::string(entry.name), std::string(entry.summary));
    entry.add_options(*command, options);
    parser.commands.emplace_back(command, &entry);
  }
  return parser;
}

}  // namespace fwup::cli
