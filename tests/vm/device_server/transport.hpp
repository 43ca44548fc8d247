// One way of putting the simulated boot loader in front of the kernel's HID stack: a uhid device
// or a USB gadget. The device server owns the boot loader; a transport only moves reports and
// plugs the device in or pulls it out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fwup::vm {

// What the device's firmware sees of one output report: the bytes of the report without any
// report-ID byte, and how many bytes the kernel handed over (to spot a host that wrote the wrong
// length).
struct OutputReport {
  std::vector<std::uint8_t> payload;
  std::size_t raw_size = 0;
};

// One input report as the device sends it: 64 bytes, no report ID.
using InputReport = std::array<std::uint8_t, 64>;

class Transport {
 public:
  virtual ~Transport() = default;

  // Plugs the device in. False with a reason when the kernel refused.
  virtual bool Attach(std::string& why) = 0;
  // Pulls the cable: the host side sees the device disappear. Reports still on their way to the
  // device are dropped.
  virtual void Detach() = 0;
  virtual bool Attached() const = 0;

  // The descriptor to poll for input from the host; -1 when there is none.
  virtual int PollFd() const = 0;
  // Handles what the kernel has ready (after PollFd became readable) and returns the output
  // reports among it, in order.
  virtual std::vector<OutputReport> Receive() = 0;
  // Queues an answer for the host. False when the device is not attached.
  virtual bool Send(const InputReport& report) = 0;
  // Whether Send has answers waiting for the host to take them (then PollFd wants POLLOUT).
  virtual bool SendPending() const { return false; }
  // Hands what waits to the kernel as far as it takes it (after PollFd became writable).
  virtual void FlushPending() {}
  // Forgets the answers still waiting, for a device that starts over.
  virtual void DropPending() {}

  // A line that says what the transport is, for the server's log.
  virtual std::string Describe() const = 0;
};

}  // namespace fwup::vm
