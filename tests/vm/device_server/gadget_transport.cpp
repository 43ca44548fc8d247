#include "gadget_transport.hpp"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "report_descriptor.hpp"

namespace fwup::vm {
namespace {

namespace fs = std::filesystem;
const fs::path kConfigfs = "/sys/kernel/config";
const fs::path kGadgets = kConfigfs / "usb_gadget";

bool Put(const fs::path& file, const std::string& text, std::string& why) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.flush();
  if (!out) {
    why = "cannot write " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string Get(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  return text;
}

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

}  // namespace

GadgetTransport::GadgetTransport(std::string serial, std::string udc)
    : serial_(std::move(serial)), udc_(std::move(udc)), gadget_(kGadgets / ("fwup-" + serial_)) {}

GadgetTransport::~GadgetTransport() {
  Detach();
  Teardown();
}

std::string GadgetTransport::FreeUdc() const {
  std::error_code error;
  for (const auto& udc : fs::directory_iterator("/sys/class/udc", error)) {
    const std::string name = udc.path().filename();
    bool used = false;
    for (const auto& gadget : fs::directory_iterator(kGadgets, error))
      used = used || Get(gadget.path() / "UDC") == name;
    if (!used) return name;
  }
  return {};
}

bool GadgetTransport::Build(std::string& why) {
  if (built_) return true;
  std::error_code error;
  if (!fs::exists(kGadgets) && mount("none", kConfigfs.c_str(), "configfs", 0, nullptr) != 0 && errno != EBUSY) {
    why = std::string("mount configfs: ") + std::strerror(errno);
    return false;
  }
  if (!fs::exists(kGadgets)) {
    why = "no " + kGadgets.string() + " (is libcomposite loaded?)";
    return false;
  }
  const fs::path strings = gadget_ / "strings/0x409";
  const fs::path config = gadget_ / "configs/c.1";
  const fs::path function = gadget_ / "functions/hid.usb0";
  if (!fs::create_directories(gadget_, error) && error) {
    why = "mkdir " + gadget_.string() + ": " + error.message();
    return false;
  }
  built_ = true;  // from here on, Teardown has something to remove
  fs::create_directories(strings, error);
  fs::create_directories(config, error);
  fs::create_directories(function, error);
  const std::string descriptor(kReportDescriptor.begin(), kReportDescriptor.end());
  const bool ok =
      Put(gadget_ / "idVendor", Hex4(kVendorId), why) && Put(gadget_ / "idProduct", Hex4(kProductId), why) &&
      Put(gadget_ / "bcdDevice", Hex4(kDeviceVersion), why) && Put(gadget_ / "bcdUSB", "0x0200", why) &&
      Put(strings / "serialnumber", serial_, why) && Put(strings / "manufacturer", "fwup test bench", why) &&
      Put(strings / "product", "fwup simulated boot loader", why) && Put(config / "MaxPower", "100", why) &&
      Put(function / "protocol", "0", why) && Put(function / "subclass", "0", why) &&
      Put(function / "report_length", std::to_string(kReportLength), why) &&
      Put(function / "report_desc", descriptor, why);
  if (!ok) return false;
  fs::create_directory_symlink(function, config / "hid.usb0", error);
  if (error) {
    why = "link the HID function into the configuration: " + error.message();
    return false;
  }
  return true;
}

void GadgetTransport::Teardown() noexcept {
  if (!built_) return;
  std::error_code error;
  fs::remove(gadget_ / "configs/c.1/hid.usb0", error);
  fs::remove(gadget_ / "configs/c.1", error);
  fs::remove(gadget_ / "functions/hid.usb0", error);
  fs::remove(gadget_ / "strings/0x409", error);
  fs::remove(gadget_, error);
  built_ = false;
}

bool GadgetTransport::Attach(std::string& why) {
  if (fd_ >= 0) return true;
  if (!Build(why)) return false;
  if (udc_.empty()) udc_ = FreeUdc();
  if (udc_.empty()) {
    why = "no free USB device controller (is dummy_hcd loaded?)";
    return false;
  }
  if (!Put(gadget_ / "UDC", udc_, why)) return false;
  // The function's character device appears once the gadget is bound.
  const std::string dev = Get(gadget_ / "functions/hid.usb0/dev");
  const fs::path node = "/dev/hidg" + dev.substr(dev.find(':') + 1);
  for (int i = 0; i < 100 && fd_ < 0; ++i) {
    fd_ = open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (fd_ < 0) {
    why = "open " + node.string() + ": " + std::strerror(errno);
    std::string ignored;
    (void)Put(gadget_ / "UDC", "\n", ignored);
    return false;
  }
  return true;
}

void GadgetTransport::Detach() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  pending_.clear();
  std::string why;
  if (!Put(gadget_ / "UDC", "\n", why)) std::fprintf(stderr, "device-server: unbind: %s\n", why.c_str());
}

std::vector<OutputReport> GadgetTransport::Receive() {
  std::vector<OutputReport> reports;
  if (fd_ < 0) return reports;
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    OutputReport report;
    report.raw_size = static_cast<std::size_t>(n);
    report.payload.assign(buffer, buffer + n);
    reports.push_back(std::move(report));
  }
  return reports;
}

bool GadgetTransport::Send(const InputReport& report) {
  if (fd_ < 0) return false;
  pending_.push_back(report);
  FlushPending();
  return true;
}

void GadgetTransport::FlushPending() {
  // The function holds one input report until the host's interrupt-in poll takes it.
  while (fd_ >= 0 && !pending_.empty()) {
    const ssize_t n = write(fd_, pending_.front().data(), pending_.front().size());
    if (n < 0) {
      if (errno == EAGAIN) return;  // the host has not taken the previous one yet
      // No host has configured the device: there is nobody to answer.
      std::fprintf(stderr, "device-server: input report dropped: %s\n", std::strerror(errno));
    }
    pending_.pop_front();
  }
}

std::string GadgetTransport::Describe() const {
  std::ostringstream text;
  text << "gadget serial=" << serial_ << " udc=" << (udc_.empty() ? "?" : udc_) << " configfs=" << gadget_.string();
  return text.str();
}

}  // namespace fwup::vm
