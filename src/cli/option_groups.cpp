#include "cli/option_groups.hpp"

#include <CLI/CLI.hpp>

namespace fwup::cli {
namespace {

// A check whose words stay out of the option's name in the help; the option's text says it.
CLI::Validator Quiet(CLI::Validator validator) {
  validator.description("");
  return validator;
}

}  // namespace

void AddDeviceOptions(CLI::App& command, Options& options, bool wait) {
  command.add_option("--path", options.path, "use the device at PATH, as 'list' prints it, not the first one found")
      ->type_name("PATH");
  if (wait) {
    command
        .add_option("--wait", options.wait_seconds,
                    "wait up to SECONDS for a device in Firmware Upgrade Mode to appear")
        ->type_name("SECONDS")
        ->check(Quiet(CLI::NonNegativeNumber));
  }
}

void AddSimulatorOptions(CLI::App& command, Options& options, bool traffic) {
  CLI::Option* simulate =
      command.add_flag("--simulate", options.simulate,
                       "use the built-in simulated boot loader, not hardware; the --sim options need it");
  command.add_option("--sim-devices", options.sim_devices, "simulate N boot loaders, 0 to 64 (default 1)")
      ->type_name("N")
      ->check(Quiet(CLI::Range(0u, 64u)))
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
      ->needs(simulate);
  command
      .add_option("--sim-log", options.sim_log,
                  "after the run, write the simulated device's wire log to FILE, numbered as --sim-dump: one line "
                  "per report, '>' written and '<' read by the tool, then its 65 bytes in hex")
      ->type_name("FILE")
      ->needs(simulate);
  command
      .add_option("--sim-transfer-time", options.sim_transfer_us,
                  "time one report takes on the simulated wire, in microseconds (default 1000, one USB frame; "
                  "0: none)")
      ->type_name("US")
      ->needs(simulate);
}

void AddOutputOptions(CLI::App& command, Options& options, bool json) {
  command.add_flag("-v,--verbose", options.verbose, "print the trace lines to standard error");
  if (json) {
    command.add_flag("--json", options.json,
                     "print the outcome as JSON on standard output, errors too, and nothing else there");
  }
}

}  // namespace fwup::cli
