// Where the devices come from: the platform's HID bus, or with --simulate a bus of simulated boot
// loaders, with their faults switched on and their memory and wire logs written out after the run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "cli/options.hpp"
#include "ports/hid.hpp"
#include "sim/boot_loader.hpp"

namespace fwup::cli {

class DeviceSource {
 public:
  // Throws CliError: a usage error for a bad simulator option, a device failure when the
  // platform's HID layer cannot start.
  static std::unique_ptr<DeviceSource> Create(const Options& options, const Platform& platform);

  HidBus& bus() { return *bus_; }
  bool simulated() const { return simulate_; }

  // --sim-dump and --sim-log, for every simulated device: checked before the run, written after
  // it. Throw CliError(kOutputFailed).
  void CheckSimOutputs(const Options& options) const;
  void WriteSimOutputs(const Options& options) const;

 private:
  bool simulate_ = false;
  std::unique_ptr<HidBus> bus_;
  std::vector<std::shared_ptr<sim::BootLoader>> devices_;
};

// "[N=]FAULT": the fault and the number of the simulated device it is for (1 when not given).
struct DeviceFault {
  unsigned device = 1;
  sim::Fault fault;
};
// Throws CliError(kUsage) naming what is wrong.
DeviceFault ParseDeviceFault(const std::string& text, unsigned devices);

// The file for device `number` of `count`: FILE alone, or FILE.1, FILE.2, ... for several.
std::string NumberedFile(const std::string& file, unsigned number, unsigned count);

}  // namespace fwup::cli
