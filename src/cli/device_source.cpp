#include "cli/device_source.hpp"

#include <charconv>
#include <optional>
#include <span>
#include <sstream>

#include "cli/cli_error.hpp"
#include "cli/output_file.hpp"
#include "sim/fault.hpp"
#include "sim/sim_bus.hpp"
#include "sim/wire_log.hpp"

namespace fwup::cli {
namespace {

constexpr std::string_view kMemory = "the simulated device's memory";
constexpr std::string_view kWireLog = "the simulated device's wire log";

// Every file --sim-dump and --sim-log name, numbered for several devices.
std::vector<OutputFile> SimOutputs(const Options& options, unsigned count) {
  std::vector<OutputFile> files;
  for (unsigned number = 1; number <= count; ++number) {
    if (!options.sim_dump.empty()) files.push_back({NumberedFile(options.sim_dump, number, count), kMemory});
    if (!options.sim_log.empty()) files.push_back({NumberedFile(options.sim_log, number, count), kWireLog});
  }
  return files;
}

}  // namespace

DeviceFault ParseDeviceFault(const std::string& text, unsigned devices) {
  DeviceFault parsed;
  std::string_view fault_text = text;
  if (const auto equals = fault_text.find('='); equals != std::string_view::npos) {
    const std::string_view number = fault_text.substr(0, equals);
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed.device);
    if (error != std::errc{} || end != number.data() + number.size() || parsed.device == 0 || parsed.device > devices) {
      throw CliError(ExitCode::kUsage, "--sim-fault '" + text + "': the device number must be 1 to " +
                                           std::to_string(devices) + " (--sim-devices)");
    }
    fault_text.remove_prefix(equals + 1);
  } else if (devices == 0) {
    throw CliError(ExitCode::kUsage, "--sim-fault '" + text + "': there is no simulated device (--sim-devices 0)");
  }
  std::string why;
  const std::optional<sim::Fault> fault = sim::ParseFault(fault_text, &why);
  if (!fault) throw CliError(ExitCode::kUsage, "--sim-fault '" + text + "': " + why + "; see 'fwupgrade --help'");
  parsed.fault = *fault;
  return parsed;
}

std::string NumberedFile(const std::string& file, unsigned number, unsigned count) {
  return count == 1 ? file : file + "." + std::to_string(number);
}

std::unique_ptr<DeviceSource> DeviceSource::Create(const Options& options, const Platform& platform) {
  auto source = std::make_unique<DeviceSource>();
  if (!options.simulate) {
    std::string why;
    source->bus_ = platform.open_hardware_bus ? platform.open_hardware_bus(why) : nullptr;
    if (!source->bus_) {
      throw CliError(ExitCode::kDeviceFailure, "cannot reach the HID devices of this computer (" +
                                                   (why.empty() ? "no HID layer" : why) +
                                                   "); check that the HID library is installed, or use --simulate");
    }
    return source;
  }

  std::vector<DeviceFault> faults;
  for (const std::string& text : options.sim_faults) faults.push_back(ParseDeviceFault(text, options.sim_devices));
  sim::BootLoaderConfig config;
  config.transfer_time = std::chrono::microseconds(options.sim_transfer_us);
  auto bus = std::make_unique<sim::SimBus>();
  source->devices_ = bus->AddBootLoaders(options.sim_devices, config);
  for (const DeviceFault& fault : faults) source->devices_.at(fault.device - 1)->AddFault(fault.fault);
  source->simulate_ = true;
  source->bus_ = std::move(bus);
  return source;
}

void DeviceSource::CheckSimOutputs(const Options& options) const {
  if (!options.sim_dump.empty() && options.sim_dump == options.sim_log) {
    throw CliError(ExitCode::kUsage,
                   "--sim-dump and --sim-log name the same file '" + options.sim_dump + "'; give each its own");
  }
  const std::vector<std::string> inputs = {options.file};
  for (const OutputFile& file : SimOutputs(options, static_cast<unsigned>(devices_.size()))) {
    CheckOutputFile(file, inputs);
  }
}

void DeviceSource::WriteSimOutputs(const Options& options) const {
  const auto count = static_cast<unsigned>(devices_.size());
  const std::vector<std::string> inputs = {options.file};
  // Each file is tried; the first failure is reported after all were.
  std::optional<CliError> failure;
  const auto write = [&](const OutputFile& file, const std::string& bytes) {
    try {
      WriteOutputFile(file, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), inputs);
    } catch (const CliError& error) {
      if (!failure) failure = error;
    }
  };
  for (unsigned number = 1; number <= count; ++number) {
    const sim::BootLoader& device = *devices_[number - 1];
    if (!options.sim_dump.empty()) {
      const ImageBuffer memory = device.Memory();
      write({NumberedFile(options.sim_dump, number, count), kMemory}, std::string(memory.begin(), memory.end()));
    }
    if (!options.sim_log.empty()) {
      std::ostringstream log;
      sim::WriteWireLog(log, device.Log());
      write({NumberedFile(options.sim_log, number, count), kWireLog}, log.str());
    }
  }
  if (failure) throw *failure;
}

}  // namespace fwup::cli
