// --wire-log: every report the tool writes and reads on the link, real or simulated, each with
// the time since the run started, so that support can ask a customer for what crossed. A line is
// the seconds, then what a --sim-log line holds: "0.012345 > 00 A2 00 ...".
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ports/hid.hpp"
#include "sim/wire_log.hpp"

namespace fwup::cli {

// A HID bus that passes everything to `bus` and records the reports that crossed each path's
// links. Only transfers that went through are recorded: a failed one put no report on the wire.
class WireRecorder : public HidBus {
 public:
  explicit WireRecorder(std::unique_ptr<HidBus> bus);

  std::unique_ptr<HidEnumeration> Enumerate() override { return bus_->Enumerate(); }
  OpenResult Open(const std::string& path, HidAccess access) override;

  // The lines recorded on `path`'s links, taken out; "" when none.
  std::string Take(const std::string& path);

  // One line, for the link's wrapper.
  void Record(const std::string& path, sim::Direction direction, const BootReport& report);

 private:
  std::unique_ptr<HidBus> bus_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::map<std::string, std::string> lines_;
};

}  // namespace fwup::cli
