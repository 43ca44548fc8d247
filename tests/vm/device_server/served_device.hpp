// The simulated boot loader behind a transport. Every output report from the host becomes one
// BootLoader::Write; the server then takes the answer with BootLoader::Read, as the host's read
// would, and sends it as an input report. The simulator's read faults become what a real device
// can do: send nothing (the host's bounded read runs out), send the answer late, or send a wrong
// code. A device that is gone (a disconnect fault, or the removal point reached) pulls its cable.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "sim/boot_loader.hpp"
#include "transport.hpp"

namespace fwup::vm {

using Clock = std::chrono::steady_clock;

// Milliseconds on the steady clock (CLOCK_MONOTONIC), comparable between processes of a boot.
std::int64_t MonotonicMs(Clock::time_point when = Clock::now());

// Where the device pulls its cable: after the n-th request of all, or after the n-th request with
// a command code.
struct RemovalPoint {
  std::optional<std::uint8_t> command;
  std::uint32_t count = 0;
};

// What the server saw besides the boot loader's own counters.
struct ServerCounters {
  std::uint32_t requests = 0;        // output reports handed to the boot loader
  std::uint32_t odd_reports = 0;     // output reports that were not 64 bytes at the device
  std::uint32_t refused_writes = 0;  // requests a write fault made the device drop
  std::uint32_t answers_sent = 0;
  std::uint32_t late_answers = 0;    // of them, sent after the late delay
  std::uint32_t unanswered = 0;      // answers a fault kept from the host
  std::uint32_t while_detached = 0;  // output reports that came for a device already gone
  std::optional<std::int64_t> last_request_at_ms;
  std::optional<std::int64_t> removed_at_ms;  // when the device pulled its own cable
};

class ServedDevice {
 public:
  ServedDevice(Transport& transport, sim::BootLoaderConfig config, bool verbose);

  // From the host.
  void Handle(const OutputReport& report);
  // Sends a late answer whose time has come, then the requests that waited behind it.
  void Tick(Clock::time_point now);
  std::optional<Clock::time_point> NextDue() const { return late_due_; }

  // A fresh boot loader with the current configuration: memory, log, counters and faults start
  // over, and a device that was removed is plugged in again.
  bool Reset(std::string& why);
  sim::BootLoaderConfig& Config() { return config_; }
  void AddFault(const sim::Fault& fault) { device_->AddFault(fault); }
  void ClearFaults() { device_->ClearFaults(); }
  void SetLateDelay(std::chrono::milliseconds delay) { late_delay_ = delay; }
  std::chrono::milliseconds LateDelay() const { return late_delay_; }
  void RemoveAfter(RemovalPoint point) { remove_after_ = point; }
  bool Attach(std::string& why) { return transport_.Attach(why); }
  void Detach();

  const sim::BootLoader& Device() const { return *device_; }
  const ServerCounters& Counters() const { return counters_; }
  const Transport& Link() const { return transport_; }

 private:
  void Process(const BootReport& request);
  void Answer();
  void Remove(const std::string& why);
  bool RemovalReached(std::uint8_t code);

  Transport& transport_;
  sim::BootLoaderConfig config_;
  bool verbose_;
  std::unique_ptr<sim::BootLoader> device_;
  ServerCounters counters_;
  std::array<std::uint32_t, 256> requests_by_code_{};
  std::optional<RemovalPoint> remove_after_;
  std::chrono::milliseconds late_delay_{4000};
  std::optional<Clock::time_point> late_due_;
  // A boot loader serves one request at a time: what comes while it still owes a late answer
  // waits until that answer is out.
  std::deque<BootReport> held_;
};

}  // namespace fwup::vm
