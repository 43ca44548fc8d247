#include "cli/flash/devices.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <sstream>

#include "cli/display/terminal_view.hpp"
#include "cli/flash/stop_request.hpp"
#include "cli/records/output_file.hpp"
#include "cli/records/wire_recorder.hpp"
#include "device/find_device.hpp"
#include "device/hardware_id.hpp"
#include "ports/utf8.hpp"
#include "sim/fault.hpp"
#include "sim/sim_bus.hpp"
#include "sim/wire_log.hpp"
#include "upgrade/connect_device.hpp"

namespace fwup::cli {
namespace {

constexpr std::string_view kMemory = "the simulated device's memory";
constexpr std::string_view kWireLog = "the simulated device's wire log";
constexpr std::string_view kWireLogFile = "the wire log";

// The file for device `number` of `count`: FILE alone, or FILE.1, FILE.2, ... for several (or
// for a count not known beforehand, 0).
std::string NumberedFile(const std::string& file, unsigned number, unsigned count) {
  return count == 1 ? file : file + "." + std::to_string(number);
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The files that the simulator's outputs must never replace: the firmware file and the board log.
std::vector<OutputFile> KeptFiles(const Options& options) {
  std::vector<OutputFile> files = {{options.file, kFirmwareFile}};
  if (!options.log.empty()) files.push_back({options.log, "the board log"});
  return files;
}

// Each "[N=]FAULT" with the number of the device it is for, out of `count`.
std::vector<sim::NumberedFault> ParseFaults(const std::vector<std::string>& texts, unsigned count,
                                            std::string_view what, const std::string& from) {
  std::vector<sim::NumberedFault> faults;
  for (const std::string& text : texts) {
    std::string why;
    const auto fault = sim::ParseNumberedFault(text, count, what, from, &why);
    if (!fault) throw CliError(ExitCode::kUsage, "--sim-fault '" + text + "': " + why);
    faults.push_back(*fault);
  }
  return faults;
}

// Where a name points, whether or not the file exists yet: two names of one file compare equal.
std::string Identity(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  return (error ? std::filesystem::path(path).lexically_normal() : resolved).generic_string();
}

// No two of the run's files may be one file: every output apart from the others and from the
// files it keeps, and none of them one of the numbered names FILE.N of the wire log.
void RefuseSharedNames(const std::vector<OutputFile>& outputs, const std::vector<OutputFile>& kept,
                       const std::string& wire_log) {
  std::map<std::string, const OutputFile*> seen;
  for (const OutputFile& file : kept) {
    if (!file.path.empty()) seen.emplace(Identity(file.path), &file);
  }
  const std::string numbered = wire_log.empty() ? std::string() : Identity(wire_log) + ".";
  const auto refuse = [](const OutputFile& file, const OutputFile& other) {
    throw CliError(ExitCode::kOutputFailed, "cannot write " + std::string(file.what) + " to '" + file.path +
                                                "': it is also " + std::string(other.what) + " '" + other.path +
                                                "'; give each its own name; nothing was written");
  };
  for (const OutputFile& file : outputs) {
    const auto [at, added] = seen.emplace(Identity(file.path), &file);
    if (!added) refuse(file, *at->second);
  }
  if (numbered.empty()) return;
  for (const auto& [identity, file] : seen) {
    if (identity.starts_with(numbered) && identity.size() > numbered.size() &&
        identity.find_first_not_of("0123456789", numbered.size()) == std::string::npos) {
      refuse({file->path, kWireLogFile}, *file);
    }
  }
}

// The dialog's "Device Not Found,..." and what the command line adds: where it looked.
std::string NoDeviceText(const std::optional<std::string>& only_path) {
  std::string text(kDeviceNotFoundText);
  if (only_path)
    return text + ": no device in Firmware Upgrade Mode at '" + *only_path +
           "'; 'fwupgrade list' shows the paths present";
  return text + ": no HID interface matches " + Utf8(HardwareIdPattern) + "; 'fwupgrade list' shows the ones present";
}

std::string OpenFailure(const Connected& connected, std::string_view advice) {
  const std::string found = "the device at '" + connected.interface.path + "' was found but could not be opened";
  if (connected.open_error == kErrorAccessDenied) return found + ": permission denied; " + std::string(advice);
  return found + " (" + TransferText(TransferResult::Failed(connected.open_error)) +
         "); unplug it, start it in Firmware Upgrade Mode again and run this again";
}

}  // namespace

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
  } else {
    sim::BootLoaderConfig config;
    config.transfer_time = std::chrono::microseconds(options.sim_transfer_us);
    auto bus = std::make_unique<sim::SimBus>();
    if (options.sim_arrivals.empty()) {
      source->devices_ = bus->AddBootLoaders(options.sim_devices, config);
      for (const auto& [device, fault] :
           ParseFaults(options.sim_faults, options.sim_devices, "device", "--sim-devices")) {
        source->devices_[device - 1]->AddFault(fault);
      }
    } else {
      // --sim-devices sockets, empty at first. Each board is made as it arrives, with the faults
      // given for its number, and kept after it left only when its memory or log is to be written.
      bus->ListOpens(false);
      sim::ArrivalPlan plan;
      plan.sockets = options.sim_devices;
      if (std::string why; !sim::ParseArrivals(options.sim_arrivals, plan, &why)) {
        throw CliError(ExitCode::kUsage, "--sim-arrivals '" + options.sim_arrivals + "': " + why);
      }
      if (plan.sockets == 0)
        throw CliError(ExitCode::kUsage, "--sim-arrivals needs at least one socket (--sim-devices)");
      auto faults = ParseFaults(options.sim_faults, plan.boards, "board", "--sim-arrivals " + options.sim_arrivals);
      const bool kept = !options.sim_dump.empty() || !options.sim_log.empty();
      if (kept) source->devices_.resize(plan.boards);
      config.keep_log = !options.sim_log.empty();
      const auto make = [self = source.get(), config, faults = std::move(faults), kept](std::uint32_t number) {
        auto board = std::make_shared<sim::BootLoader>(config);
        for (const auto& [device, fault] : faults) {
          if (device == number) board->AddFault(fault);
        }
        if (kept) {
          const std::lock_guard lock(self->devices_mutex_);
          self->devices_[number - 1] = board;
        }
        return board;
      };
      source->arrivals_ = std::make_unique<sim::Arrivals>(*bus, make, plan);
    }
    source->bus_ = std::move(bus);
  }
  if (!options.wire_log.empty()) {
    auto recorder = std::make_unique<WireRecorder>(std::move(source->bus_));
    source->recorder_ = recorder.get();
    source->bus_ = std::move(recorder);
  }
  return source;
}

void DeviceSource::CheckOutputs(const Options& options) {
  outputs_refused_ = true;
  const std::vector<std::string> names = {options.sim_dump, options.sim_log, options.wire_log};
  for (const std::string& name : names) {
    if (!name.empty() && std::count(names.begin(), names.end(), name) > 1) {
      throw CliError(ExitCode::kUsage, "two of --sim-dump, --sim-log and --wire-log name the same file '" + name +
                                           "'; give each its own");
    }
  }
  const std::vector<OutputFile> kept = KeptFiles(options);
  std::vector<OutputFile> outputs;  // every file --sim-dump and --sim-log name
  const auto count = static_cast<unsigned>(devices_.size());
  for (unsigned number = 1; number <= count; ++number) {
    if (!options.sim_dump.empty()) outputs.push_back({NumberedFile(options.sim_dump, number, count), kMemory});
    if (!options.sim_log.empty()) outputs.push_back({NumberedFile(options.sim_log, number, count), kWireLog});
  }
  for (const OutputFile& file : outputs) CheckOutputFile(file, kept);
  // How many wire logs there will be is known only later (CheckWireLogs): FILE, or FILE.1, FILE.2,
  // ...; no other file may take any of those names.
  if (!options.wire_log.empty()) {
    const OutputFile wire_log{options.wire_log, kWireLogFile};
    CheckOutputFile(options.watch ? OutputFile{NumberedFile(options.wire_log, 1, 0), kWireLogFile} : wire_log, kept);
    outputs.push_back(wire_log);
  }
  RefuseSharedNames(outputs, kept, options.wire_log);
  outputs_refused_ = false;
}

void DeviceSource::CheckWireLogs(const Options& options, unsigned count) {
  if (options.wire_log.empty() || count < 2) return;
  outputs_refused_ = true;
  for (unsigned number = 1; number <= count; ++number) {
    CheckOutputFile({NumberedFile(options.wire_log, number, count), kWireLogFile}, KeptFiles(options));
  }
  outputs_refused_ = false;
}

void DeviceSource::WriteOutputs(const Options& options) const {
  if (outputs_refused_) return;
  std::unique_lock lock(devices_mutex_);  // boards may still arrive
  const std::vector<std::shared_ptr<sim::BootLoader>> devices = devices_;
  lock.unlock();
  const auto count = static_cast<unsigned>(devices.size());
  const std::vector<OutputFile> inputs = KeptFiles(options);
  // Each file is tried; the first failure is reported after all were, with what was written.
  std::optional<CliError> failure;
  std::vector<std::string> written;
  std::vector<std::string> unwritten;
  const auto write = [&](const OutputFile& file, std::span<const std::uint8_t> bytes) {
    try {
      WriteOutputFile(file, bytes, inputs);
      written.push_back(file.path);
    } catch (const CliError& error) {
      if (!failure) failure = error;
      unwritten.push_back(file.path);
    }
  };
  for (unsigned number = 1; number <= count; ++number) {
    if (!devices[number - 1]) continue;  // a board that never arrived
    const sim::BootLoader& device = *devices[number - 1];
    if (!options.sim_dump.empty()) write({NumberedFile(options.sim_dump, number, count), kMemory}, device.Memory());
    if (!options.sim_log.empty()) {
      std::ostringstream log;
      sim::WriteWireLog(log, device.Log());
      write({NumberedFile(options.sim_log, number, count), kWireLog}, Bytes(log.str()));
    }
  }
  if (recorder_ != nullptr) {
    const auto used = static_cast<unsigned>(used_paths_.size());
    for (unsigned number = 1; number <= used; ++number) {
      write({NumberedFile(options.wire_log, number, used), kWireLogFile},
            Bytes(recorder_->Take(used_paths_[number - 1])));
    }
  }
  if (!failure) return;
  if (written.empty() && unwritten.size() == 1) throw *failure;
  std::string message = failure->what();
  if (const std::string tail = "; nothing was written"; message.ends_with(tail))
    message.resize(message.size() - tail.size());
  const auto list = [](const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "'" : ", '") + path + "'";
    return text.empty() ? std::string("none") : text;
  };
  throw CliError(failure->code(), message + "; not written: " + list(unwritten) + "; written: " + list(written));
}

void DeviceSource::WriteWireLog(const Options& options, const std::string& path, unsigned number) const {
  if (recorder_ == nullptr) return;
  WriteOutputFile({NumberedFile(options.wire_log, number, 0), kWireLogFile}, Bytes(recorder_->Take(path)),
                  KeptFiles(options));
}

std::vector<std::string> SelectDevices(Context& context, DeviceView& view) {
  const Options& options = context.options;
  HidBus& bus = context.devices->bus();
  if (options.wait_seconds > 0) {
    WaitForDevice(bus, options.path,
                  std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(options.wait_seconds * 1000))), view);
    if (StopRequested())
      throw CliError(ExitCode::kInterrupted, "stopped while waiting for a device: no device was touched");
  }
  std::vector<std::string> paths;
  for (const PresentDevice& device : MatchingDevices(bus, options.path)) paths.push_back(device.path);
  context.devices->Use(paths);
  if (options.all && paths.empty()) throw CliError(ExitCode::kDeviceNotFound, NoDeviceText(std::nullopt));
  if (paths.size() > 1 && !options.path && !options.all) {
    view.Note("note: " + std::to_string(paths.size()) + " devices in Firmware Upgrade Mode are present; using '" +
              paths.front() + "', the first one found. Pick another with --path PATH ('fwupgrade list' shows them)" +
              (context.options.file.empty() ? std::string(".") : std::string(", or flash them all with --all.")));
    Json& others = context.result["other_devices"] = Json::Array();
    for (std::size_t i = 1; i < paths.size(); ++i) others.Append(paths[i]);
  }
  return paths;
}

std::vector<PresentDevice> MatchingDevices(HidBus& bus, const std::optional<std::string>& only) {
  std::vector<PresentDevice> devices;
  for (const HidInterfaceInfo& interface : ListInterfaces(bus)) {
    const auto same = [&interface](const PresentDevice& device) { return device.path == interface.path; };
    if (Selected(interface, only) && std::none_of(devices.begin(), devices.end(), same)) {
      devices.push_back({interface.path, interface.location});
    }
  }
  return devices;
}

bool WaitForDevice(HidBus& bus, const std::optional<std::string>& only_path, std::chrono::milliseconds limit,
                   DeviceView& view, const WaitClock& clock) {
  if (!MatchingDevices(bus, only_path).empty()) return true;
  if (limit <= std::chrono::milliseconds::zero()) return false;
  char amount[32];
  std::snprintf(amount, sizeof amount, "%g", static_cast<double>(limit.count()) / 1000.0);
  view.Note("Waiting up to " + std::string(amount) + " s for " +
            (only_path ? "the device at '" + *only_path + "'" : std::string("a device")) +
            " in Firmware Upgrade Mode to appear...");
  const auto deadline = clock.now() + limit;
  for (;;) {
    const auto now = clock.now();
    if (now >= deadline || StopRequested()) return false;
    clock.sleep(std::min<std::chrono::milliseconds>(
        kWaitPollInterval,
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + std::chrono::milliseconds(1)));
    if (!MatchingDevices(bus, only_path).empty()) return true;
  }
}

std::string TransferText(const TransferResult& result) {
  static constexpr std::pair<std::uint32_t, const char*> kMeanings[] = {
      {kErrorTimeout, "no answer in time"},
      {kErrorDeviceNotConnected, "the device is gone"},
      {kErrorAccessDenied, "access denied"},
      {kErrorInvalidHandle, "the device is not open"},
      {kErrorFileNotFound, "no such device"},
      {kErrorSharingViolation, "another program holds the device"},
      {kErrorGenFailure, "the device did not take it"},
  };
  const std::string code = "error " + std::to_string(result.last_error);
  for (const auto& [error, meaning] : kMeanings) {
    if (error == result.last_error) return std::string(meaning) + ", " + code;
  }
  return code;
}

bool ConnectAsDialog(Session& session, std::string_view access_denied_advice, DeviceRecord& record) {
  const Connected connected = ConnectDevice(session.bus, session.connection, session.settings, session.shown);
  record.path = connected.interface.path;
  record.found = connected.found && !record.path.empty();
  record.location = connected.interface.location;
  record.versions = connected.versions;
  if (connected.found && connected.opened) return true;
  if (connected.found) session.connection.link.Close();
  record.code = connected.found ? ExitCode::kDeviceFailure : ExitCode::kDeviceNotFound;
  record.error = connected.found ? OpenFailure(connected, access_denied_advice) : NoDeviceText(session.settings.only);
  record.result = connected.found ? "Cannot Open Device" : "Device Not Found";
  return false;
}

}  // namespace fwup::cli
