// The device as a uhid device: the kernel creates a HID device on the USB bus type that hidraw
// (and through it hidapi and Wine) sees like any other. There is no USB device behind it, so the
// host reads no release number from it.
#pragma once

#include "transport.hpp"

namespace fwup::vm {

class UhidTransport : public Transport {
 public:
  explicit UhidTransport(std::string serial);
  ~UhidTransport() override;
  UhidTransport(const UhidTransport&) = delete;
  UhidTransport& operator=(const UhidTransport&) = delete;

  bool Attach(std::string& why) override;
  void Detach() override;
  bool Attached() const override { return created_; }
  int PollFd() const override { return fd_; }
  std::vector<OutputReport> Receive() override;
  bool Send(const InputReport& report) override;
  std::string Describe() const override;

 private:
  // Drops events the kernel queued for a device that is gone.
  void DrainEvents();

  std::string serial_;
  int fd_ = -1;
  bool created_ = false;
};

}  // namespace fwup::vm
