// The device as a real USB device: a configfs gadget with one HID function on dummy_hcd's
// device controller. The host side is the kernel's own USB stack and usbhid, so the host sees a
// USB interface with a release number, an interface number and the USB report path (usbhid
// drops the report-ID byte and the function sees 64-byte reports).
#pragma once

#include <deque>
#include <filesystem>

#include "transport.hpp"

namespace fwup::vm {

class GadgetTransport : public Transport {
 public:
  // `udc` empty: the first device controller that no gadget uses.
  GadgetTransport(std::string serial, std::string udc);
  ~GadgetTransport() override;
  GadgetTransport(const GadgetTransport&) = delete;
  GadgetTransport& operator=(const GadgetTransport&) = delete;

  bool Attach(std::string& why) override;
  void Detach() override;
  bool Attached() const override { return fd_ >= 0; }
  int PollFd() const override { return fd_; }
  std::vector<OutputReport> Receive() override;
  bool Send(const InputReport& report) override;
  bool SendPending() const override { return !pending_.empty(); }
  void FlushPending() override;
  void DropPending() override { pending_.clear(); }
  std::string Describe() const override;

 private:
  bool Build(std::string& why);
  void Teardown() noexcept;
  std::string FreeUdc() const;

  std::string serial_;
  std::string udc_;
  std::filesystem::path gadget_;
  bool built_ = false;
  int fd_ = -1;
  std::deque<InputReport> pending_;  // answers the function could not take yet
};

}  // namespace fwup::vm
