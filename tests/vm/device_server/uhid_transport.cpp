#include "uhid_transport.hpp"

#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "report_descriptor.hpp"

namespace fwup::vm {
namespace {

bool WriteEvent(int fd, const uhid_event& event) {
  return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

// The event's text fields are packed byte arrays of `capacity` bytes, zero-terminated.
void CopyText(void* field, std::size_t capacity, const std::string& text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(field, text.data(), n);
  static_cast<char*>(field)[n] = 0;
}

}  // namespace

UhidTransport::UhidTransport(std::string serial) : serial_(std::move(serial)) {}

UhidTransport::~UhidTransport() {
  Detach();
  if (fd_ >= 0) close(fd_);
}

bool UhidTransport::Attach(std::string& why) {
  if (created_) return true;
  if (fd_ < 0) {
    fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      why = std::string("open /dev/uhid: ") + std::strerror(errno);
      return false;
    }
  }
  DrainEvents();
  uhid_event event{};
  event.type = UHID_CREATE2;
  CopyText(event.u.create2.name, sizeof event.u.create2.name, "fwup simulated boot loader");
  CopyText(event.u.create2.phys, sizeof event.u.create2.phys, "fwup-vm/uhid/" + serial_);
  CopyText(event.u.create2.uniq, sizeof event.u.create2.uniq, serial_);
  std::copy(kReportDescriptor.begin(), kReportDescriptor.end(), event.u.create2.rd_data);
  event.u.create2.rd_size = static_cast<std::uint16_t>(kReportDescriptor.size());
  event.u.create2.bus = BUS_USB;
  event.u.create2.vendor = kVendorId;
  event.u.create2.product = kProductId;
  event.u.create2.version = kDeviceVersion;
  if (!WriteEvent(fd_, event)) {
    why = std::string("UHID_CREATE2: ") + std::strerror(errno);
    return false;
  }
  created_ = true;
  return true;
}

void UhidTransport::Detach() {
  if (!created_) return;
  uhid_event event{};
  event.type = UHID_DESTROY;
  if (!WriteEvent(fd_, event)) std::fprintf(stderr, "device-server: UHID_DESTROY: %s\n", std::strerror(errno));
  created_ = false;
  DrainEvents();
}

void UhidTransport::DrainEvents() {
  uhid_event event{};
  while (read(fd_, &event, sizeof event) > 0) {
  }
}

std::vector<OutputReport> UhidTransport::Receive() {
  std::vector<OutputReport> reports;
  uhid_event event{};
  while (read(fd_, &event, sizeof event) > 0) {
    switch (event.type) {
      case UHID_OUTPUT: {
        if (!created_) break;
        const std::uint8_t* data = event.u.output.data;
        std::size_t size = std::min<std::size_t>(event.u.output.size, UHID_DATA_MAX);
        OutputReport report;
        report.raw_size = size;
        // hidraw hands the report-ID byte through to uhid even for a device without report IDs;
        // usbhid drops a leading 0 before the wire, so the device's firmware never sees it.
        if (size > 0 && data[0] == 0) {
          ++data;
          --size;
        }
        report.payload.assign(data, data + size);
        reports.push_back(std::move(report));
        break;
      }
      case UHID_GET_REPORT: {
        // The device has no feature reports; refusing at once keeps the kernel from waiting.
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
        (void)WriteEvent(fd_, reply);
        break;
      }
      case UHID_SET_REPORT: {
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
        (void)WriteEvent(fd_, reply);
        break;
      }
      default:
        break;  // start, stop, open, close: nothing to do
    }
  }
  return reports;
}

bool UhidTransport::Send(const InputReport& report) {
  if (!created_) return false;
  uhid_event event{};
  event.type = UHID_INPUT2;
  event.u.input2.size = static_cast<std::uint16_t>(report.size());
  std::copy(report.begin(), report.end(), event.u.input2.data);
  return WriteEvent(fd_, event);
}

std::string UhidTransport::Describe() const { return "uhid serial=" + serial_; }

}  // namespace fwup::vm
