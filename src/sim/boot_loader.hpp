// A boot loader that behaves as the tool relies on: it answers the queries, erases its
// application region to 0xFF, programs it as flash is programmed (bits can only be cleared, so
// a missing erase shows up in the verdict), judges the checksum against its own memory and
// resets. Faults make it misbehave on purpose. Safe to use from several threads.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "device/boot_report.hpp"
#include "image/firmware_image.hpp"
#include "ports/hid.hpp"
#include "sim/fault.hpp"
#include "sim/wire_log.hpp"

namespace fwup::sim {

struct BootLoaderConfig {
  std::uint32_t region_start = kModelRegionStart;
  std::uint32_t region_size = kModelRegionSize;
  std::array<std::uint8_t, 5> app_version = {'2', '.', '4', '.', '1'};
  std::array<std::uint8_t, 5> boot_version = {'1', '.', '0', '.', '7'};
  // Code byte of the answer to CMD_APP_READY: 0x09, 0xAD, 0xAE or any other, and the values
  // its form carries (bytes 2, 3 and 4).
  std::uint8_t ready_form = 0xAD;
  std::array<std::uint8_t, 3> ready_values = {0x00, 0x00, 0x00};
  // Time spent on one transfer in each direction; zero answers at once. A full-speed interrupt
  // endpoint moves one report per 1 ms frame.
  std::chrono::microseconds transfer_time{0};
  // Whether it keeps its wire log and the bounds it was given; a bench of a thousand boards
  // measures the tool's memory, not these.
  bool keep_log = true;
};

// What the device went through, for tests.
struct BootLoaderCounters {
  unsigned erases = 0;
  unsigned packets = 0;
  unsigned packets_outside_region = 0;  // refused, as a boot loader protects itself
  unsigned program_ends = 0;
  unsigned crc_checks = 0;
  unsigned resets = 0;
  unsigned resets_after_match = 0;  // the last verdict it gave was the match: the application starts
  std::chrono::steady_clock::time_point last_request{};
  std::chrono::steady_clock::time_point last_reset{};
};

class BootLoader {
 public:
  explicit BootLoader(BootLoaderConfig config = {});

  void AddFault(const Fault& fault);
  void ClearFaults();

  // The two sides of the link, as a HID adapter would call them.
  TransferResult Write(const BootReport& report);
  // As above, noting the bound the host gave the write.
  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound);
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound);
  // Whether a write fault would hit the next write, a request with this command code. For a
  // server that must fail the client's write before the whole report has been taken.
  bool RefusesNextWrite(std::uint8_t code) const;

  // Copies taken under the lock.
  WireLog Log() const { return Locked(log_); }
  ImageBuffer Memory() const { return Locked(memory_); }
  BootLoaderCounters Counters() const { return Locked(counters_); }
  std::vector<std::chrono::milliseconds> ReadBounds() const { return Locked(read_bounds_); }
  std::vector<std::chrono::milliseconds> WriteBounds() const { return Locked(write_bounds_); }
  // Answers the device holds for the host, a late one included: a device server that puts the
  // simulator behind a real HID stack sends them when their time comes.
  std::size_t PendingAnswers() const;
  const BootLoaderConfig& Config() const { return config_; }
  // Stands for what the device held before: fills the memory.
  void FillMemory(std::uint8_t value);

 private:
  // The fault that hits `transfer`, the write of the `occurrence`-th request with code `request` or
  // a read after it.
  const Fault* FaultAt(bool for_write, std::uint32_t transfer, std::uint8_t request, std::uint32_t occurrence) const;
  void Handle(const BootReport& request);
  BootReport Answer(Command command) const;
  // Holds the caller for the transfer's frame on the modelled link.
  void Wait();
  template <typename T>
  T Locked(const T& value) const {
    const std::lock_guard lock(mutex_);
    return value;
  }

  BootLoaderConfig config_;
  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
  ImageBuffer memory_{};
  std::deque<BootReport> answers_;
  WireLog log_;
  BootLoaderCounters counters_;
  std::vector<std::chrono::milliseconds> read_bounds_;
  std::vector<std::chrono::milliseconds> write_bounds_;
  std::uint32_t transfers_ = 0;
  std::array<std::uint32_t, 256> requests_seen_{};  // per command code
  std::uint8_t last_request_ = 0;
  std::uint32_t last_request_occurrence_ = 0;
  bool answer_read_ = false;  // a read came since the last request
  bool disconnected_ = false;
  std::uint8_t last_checksum_ = 0;
  std::uint8_t last_verdict_ = 0;  // of the last checksum answer read
  std::chrono::steady_clock::time_point first_frame_{};
  std::int64_t last_frame_ = -1;
};

}  // namespace fwup::sim
