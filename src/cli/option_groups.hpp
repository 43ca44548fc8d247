// The options that several commands share, each added with the same name and help everywhere.
#pragma once

#include "cli/options.hpp"

namespace CLI {
class App;
class Validator;
}

namespace fwup::cli {

// The documented ranges of the numeric options.
inline constexpr double kMaxWaitSeconds = 86400;  // a day: longer is a mistake, not a wait
inline constexpr double kMaxSimDevices = 64;
inline constexpr double kMaxSimTransferMicroseconds = 1000000;

// Refuses an empty value: "" names no file and no device.
CLI::Validator NotEmpty();
// FILE, the firmware file of check, image and flash.
void AddFileArgument(CLI::App& command, Options& options);
// --path, and --wait where the command connects.
void AddDeviceOptions(CLI::App& command, Options& options, bool wait);
// --simulate and --sim-devices; with `traffic`, the options about a simulated device's traffic:
// --sim-fault, --sim-dump, --sim-log, --sim-transfer-time.
void AddSimulatorOptions(CLI::App& command, Options& options, bool traffic);
// -v/--verbose, and --json where the command has an outcome to print as JSON.
void AddOutputOptions(CLI::App& command, Options& options, bool json);

}  // namespace fwup::cli
