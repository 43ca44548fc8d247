// Where the devices come from and how the shell reaches one: the platform's HID bus, or with
// --simulate a bus of simulated boot loaders (their faults switched on, their memory and wire
// logs written out after the run); --wait; telling the user when more than one device is
// present; and connecting as the dialog does when it starts.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/arguments/command.hpp"
#include "cli/records/device_record.hpp"
#include "cli/watch/watch_slots.hpp"
#include "ports/hid.hpp"
#include "sim/arrivals.hpp"
#include "sim/boot_loader.hpp"
#include "upgrade/session.hpp"

namespace fwup::cli {

class DeviceView;
class WireRecorder;

class DeviceSource {
 public:
  // Throws CliError: a usage error for a bad simulator option, a device failure when the
  // platform's HID layer cannot start.
  static std::unique_ptr<DeviceSource> Create(const Options& options, const Platform& platform);

  HidBus& bus() { return *bus_; }

  // --sim-dump and --sim-log for every simulated device, and --wire-log for every device used
  // (FILE, or FILE.1, FILE.2, ... for several): checked before the run, written after it (not
  // when the check refused them: that was said already). Throw CliError(kOutputFailed).
  void CheckOutputs(const Options& options);
  // flash --all: the numbered wire logs of `count` devices, once they are known.
  void CheckWireLogs(const Options& options, unsigned count);
  void WriteOutputs(const Options& options) const;

  // The devices the command goes on to use, in order: what --wire-log numbers.
  void Use(const std::vector<std::string>& paths) { used_paths_ = paths; }

  // flash --watch: the wire log of one attempt on `path`, written to FILE.`number` as the attempt
  // ends, so that a bench running all day keeps none in memory. Throws CliError(kOutputFailed).
  void WriteWireLog(const Options& options, const std::string& path, unsigned number) const;

 private:
  std::unique_ptr<HidBus> bus_;
  WireRecorder* recorder_ = nullptr;  // in bus_, with --wire-log
  std::vector<std::string> used_paths_;
  // The simulated devices whose memory and log are written after the run, by number; with
  // --sim-arrivals, null for a board that has not arrived (yet).
  std::vector<std::shared_ptr<sim::BootLoader>> devices_;
  mutable std::mutex devices_mutex_;
  bool outputs_refused_ = false;
  std::unique_ptr<sim::Arrivals> arrivals_;  // the last member: stopped before the bus goes
};

// The interfaces that the walk would take, in walk order, each path once; with `only`, only the
// one at that path or location.
std::vector<PresentDevice> MatchingDevices(HidBus& bus, const std::optional<std::string>& only);

struct WaitClock {
  std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
  std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
  };
};

inline constexpr std::chrono::milliseconds kWaitPollInterval{250};

// --wait: the board is being plugged in or put into Firmware Upgrade Mode. Returns at once when
// a matching device is present; otherwise says once that it waits, and looks again every
// kWaitPollInterval until one is, `limit` has passed or a stop is asked for. True when one is.
bool WaitForDevice(HidBus& bus, const std::optional<std::string>& only_path, std::chrono::milliseconds limit,
                   DeviceView& view, const WaitClock& clock = {});

// Waits when --wait asks for it, then returns the paths of the matching devices present (with
// --path, only that one). With several and no --path, says which one the walk takes and how to
// pick another; the paths of the others go into the JSON result. Throws CliError
// (kDeviceNotFound) when flash --all finds none.
std::vector<std::string> SelectDevices(Context& context, DeviceView& view);

// How a failed transfer is told to a user.
std::string TransferText(const TransferResult& result);

// Connects as the dialog does when it starts; the record gets the device's path, location and
// versions as connecting found them. On failure, false, and the record gets the exit code, one
// line (with what to do) and a short text for a summary: "Device Not Found", ...
bool ConnectAsDialog(Session& session, std::string_view access_denied_advice, DeviceRecord& record);

}  // namespace fwup::cli
