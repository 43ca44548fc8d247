#include "served_device.hpp"

#include <algorithm>
#include <cstdio>

#include "report_descriptor.hpp"

namespace fwup::vm {

std::int64_t MonotonicMs(Clock::time_point when) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
}

ServedDevice::ServedDevice(Transport& transport, sim::BootLoaderConfig config, bool verbose)
    : transport_(transport), config_(config), verbose_(verbose), device_(std::make_unique<sim::BootLoader>(config)) {}

bool ServedDevice::Reset(std::string& why) {
  device_ = std::make_unique<sim::BootLoader>(config_);
  counters_ = {};
  requests_by_code_ = {};
  remove_after_.reset();
  late_due_.reset();
  held_.clear();
  transport_.DropPending();
  return transport_.Attached() || transport_.Attach(why);
}

void ServedDevice::Detach() {
  transport_.Detach();
  late_due_.reset();
  held_.clear();
}

void ServedDevice::Handle(const OutputReport& report) {
  if (!transport_.Attached()) {
    ++counters_.while_detached;
    return;
  }
  // The firmware's view of the report: 64 bytes after the report-ID byte the host wrote.
  BootReport request{};
  std::copy_n(report.payload.begin(), std::min(report.payload.size(), kReportLength), request.begin() + 1);
  if (report.payload.size() != kReportLength) {
    ++counters_.odd_reports;
    std::fprintf(stderr, "device-server: [%lld ms] output report of %zu bytes (%zu from the kernel)\n",
                 static_cast<long long>(MonotonicMs()), report.payload.size(), report.raw_size);
  }
  if (late_due_) {
    held_.push_back(request);
    return;
  }
  Process(request);
}

void ServedDevice::Process(const BootReport& request) {
  const std::uint8_t code = request[field::kCode];
  ++counters_.requests;
  ++requests_by_code_[code];
  counters_.last_request_at_ms = MonotonicMs();
  if (verbose_) std::fprintf(stderr, "device-server: request %u code %02X\n", counters_.requests, code);
  const TransferResult written = device_->Write(request);
  if (!written.ok) {
    if (written.last_error == kErrorDeviceNotConnected) return Remove("disconnect fault");
    // A real device cannot fail the host's write; it ignores the request instead.
    ++counters_.refused_writes;
    return;
  }
  Answer();
  if (transport_.Attached() && RemovalReached(code)) Remove("removal point reached");
}

void ServedDevice::Answer() {
  const std::size_t owed = device_->PendingAnswers();
  BootReport answer{};
  const TransferResult read = device_->Read(answer, std::chrono::milliseconds::zero());
  if (read.ok) {
    InputReport report{};
    std::copy(answer.begin() + 1, answer.end(), report.begin());
    if (transport_.Send(report)) ++counters_.answers_sent;
    return;
  }
  if (read.last_error == kErrorDeviceNotConnected) return Remove("disconnect fault");
  if (owed == 0) return;  // a request without an answer
  if (read.last_error == kErrorTimeout && device_->PendingAnswers() == owed) {
    // A late answer: it goes out once the host has stopped waiting for it.
    late_due_ = Clock::now() + late_delay_;
    return;
  }
  ++counters_.unanswered;  // a fault took the answer: the host's read runs out
}

void ServedDevice::Tick(Clock::time_point now) {
  if (!late_due_ || now < *late_due_) return;
  late_due_.reset();
  const std::uint32_t sent = counters_.answers_sent;
  Answer();
  if (counters_.answers_sent > sent) ++counters_.late_answers;
  while (!late_due_ && !held_.empty() && transport_.Attached()) {
    const BootReport request = held_.front();
    held_.pop_front();
    Process(request);
  }
}

bool ServedDevice::RemovalReached(std::uint8_t code) {
  if (!remove_after_) return false;
  if (remove_after_->command) return *remove_after_->command == code && requests_by_code_[code] == remove_after_->count;
  return counters_.requests == remove_after_->count;
}

void ServedDevice::Remove(const std::string& why) {
  counters_.removed_at_ms = MonotonicMs();  // the moment the cable goes, before the kernel hears of it
  Detach();
  std::fprintf(stderr, "device-server: [%lld ms] removed after request %u (%s)\n",
               static_cast<long long>(*counters_.removed_at_ms), counters_.requests, why.c_str());
}

}  // namespace fwup::vm
