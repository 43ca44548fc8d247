#include "cli/device_source.hpp"

#include <charconv>
#include <fstream>

#include "cli/cli_error.hpp"
#include "cli/utf8_path.hpp"
#include "sim/fault.hpp"
#include "sim/sim_bus.hpp"
#include "sim/wire_log.hpp"

namespace fwup::cli {
namespace {

template <typename Write>
void WriteFile(const std::string& file, std::ios::openmode mode, std::string_view what, Write write) {
  std::ofstream out(PathFromUtf8(file), mode | std::ios::trunc);
  if (out) write(out);
  out.close();
  if (!out) {
    throw CliError(ExitCode::kOutputFailed, "cannot write " + std::string(what) + " to '" + file +
                                                "': check that its folder exists and that you may write there");
  }
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

void DeviceSource::WriteSimOutputs(const Options& options) const {
  const auto count = static_cast<unsigned>(devices_.size());
  for (unsigned number = 1; number <= count; ++number) {
    const sim::BootLoader& device = *devices_[number - 1];
    if (!options.sim_dump.empty()) {
      const ImageBuffer memory = device.Memory();
      WriteFile(NumberedFile(options.sim_dump, number, count), std::ios::binary, "the simulated device's memory",
                [&memory](std::ofstream& out) {
                  out.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
                });
    }
    if (!options.sim_log.empty()) {
      const sim::WireLog log = device.Log();
      WriteFile(NumberedFile(options.sim_log, number, count), std::ios::binary, "the simulated device's wire log",
                [&log](std::ofstream& out) { sim::WriteWireLog(out, log); });
    }
  }
}

}  // namespace fwup::cli
