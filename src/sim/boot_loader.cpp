#include "sim/boot_loader.hpp"

#include <algorithm>
#include <thread>
#include <utility>

namespace fwup::sim {
namespace {

bool IsReadFault(FaultKind kind) {
  return kind == FaultKind::FailRead || kind == FaultKind::NoAnswer || kind == FaultKind::LateAnswer ||
         kind == FaultKind::WrongAnswerCode;
}

void PutU32(BootReport& report, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) report[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The configured region, cut to what the memory holds: [first, second).
std::pair<std::size_t, std::size_t> RegionIn(const BootLoaderConfig& config) {
  const std::uint64_t end =
      std::min<std::uint64_t>(std::uint64_t{config.region_start} + config.region_size, kImageSize);
  return {static_cast<std::size_t>(std::min<std::uint64_t>(config.region_start, end)), static_cast<std::size_t>(end)};
}

}  // namespace

BootLoader::BootLoader(BootLoaderConfig config) : config_(config) {
  // What an older firmware left behind: not erased, so that a missing erase shows.
  for (std::size_t address = 0; address < memory_.size(); ++address) {
    memory_[address] = static_cast<std::uint8_t>(address * 7 + 3);
  }
}

void BootLoader::AddFault(const Fault& fault) {
  const std::lock_guard lock(mutex_);
  faults_.push_back(fault);
}

void BootLoader::ClearFaults() {
  const std::lock_guard lock(mutex_);
  faults_.clear();
}

const Fault* BootLoader::FaultAt(bool for_write, std::uint32_t transfer, std::uint8_t request,
                                 std::uint32_t occurrence) const {
  for (const Fault& fault : faults_) {
    if (fault.kind == FaultKind::Verdict) continue;
    if (fault.at != 0) {
      if (fault.at == transfer) return &fault;
      continue;
    }
    if (!fault.command || *fault.command != request || fault.occurrence != occurrence) continue;
    // A named request: write faults hit its write, read faults the first read after it.
    if (for_write ? !IsReadFault(fault.kind) : IsReadFault(fault.kind) && !answer_read_) return &fault;
  }
  return nullptr;
}

TransferResult BootLoader::Write(const BootReport& report) {
  {
    const std::lock_guard lock(mutex_);
    ++transfers_;
    if (disconnected_) return TransferResult::Failed(kErrorDeviceNotConnected);
    const std::uint8_t code = report[field::kCode];
    // Faults named by request look at the request about to arrive.
    const Fault* fault = FaultAt(true, transfers_, code, requests_seen_[code] + 1);
    if (fault && (fault->kind == FaultKind::FailWrite || fault->kind == FaultKind::Disconnect)) {
      if (fault->kind == FaultKind::Disconnect) {
        disconnected_ = true;
        return TransferResult::Failed(kErrorDeviceNotConnected);
      }
      return TransferResult::Failed(fault->error);
    }
    last_request_ = code;
    last_request_occurrence_ = ++requests_seen_[code];
    answer_read_ = false;
    if (config_.keep_log) log_.push_back({Direction::ToDevice, report});
    const std::size_t answers_before = answers_.size();
    Handle(report);
    if (fault && fault->kind == FaultKind::NoAnswer) answers_.resize(answers_before);
  }
  Wait();
  return TransferResult::Done();
}

bool BootLoader::RefusesNextWrite(std::uint8_t code) const {
  const std::lock_guard lock(mutex_);
  if (disconnected_) return true;
  // What Write would find for the transfer and request that would come next.
  const Fault* fault = FaultAt(true, transfers_ + 1, code, requests_seen_[code] + 1);
  return fault && (fault->kind == FaultKind::FailWrite || fault->kind == FaultKind::Disconnect);
}

TransferResult BootLoader::Read(BootReport& report, std::chrono::milliseconds bound) {
  {
    const std::lock_guard lock(mutex_);
    if (config_.keep_log) read_bounds_.push_back(bound);
    // A look at an empty queue is not a transfer: nothing crossed and nothing was awaited.
    if (bound == std::chrono::milliseconds::zero() && (answers_.empty() || disconnected_)) {
      return TransferResult::Failed(disconnected_ ? kErrorDeviceNotConnected : kErrorTimeout);
    }
    ++transfers_;
    if (disconnected_) return TransferResult::Failed(kErrorDeviceNotConnected);
    const Fault* fault = FaultAt(false, transfers_, last_request_, last_request_occurrence_);
    answer_read_ = true;
    if (fault) {
      switch (fault->kind) {
        case FaultKind::Disconnect:
          disconnected_ = true;
          return TransferResult::Failed(kErrorDeviceNotConnected);
        case FaultKind::FailRead:
        case FaultKind::NoAnswer:
          if (!answers_.empty()) answers_.pop_front();
          return TransferResult::Failed(fault->kind == FaultKind::FailRead ? fault->error : kErrorTimeout);
        case FaultKind::LateAnswer:
          return TransferResult::Failed(kErrorTimeout);  // it stays queued for a later read
        case FaultKind::WrongAnswerCode:
          if (!answers_.empty()) answers_.front()[field::kCode] = fault->value;
          break;
        default:
          break;
      }
    }
    if (answers_.empty()) return TransferResult::Failed(kErrorTimeout);
    report = answers_.front();
    answers_.pop_front();
    if (config_.keep_log) log_.push_back({Direction::FromDevice, report});
    if (report[field::kCode] == CodeOf(Command::CMD_CRC_CHECK)) last_verdict_ = report[field::kVerdict];
  }
  Wait();
  return TransferResult::Done();
}

void BootLoader::Handle(const BootReport& request) {
  const auto [region_start, region_end] = RegionIn(config_);
  const auto command = static_cast<Command>(request[field::kCode]);
  counters_.last_request = std::chrono::steady_clock::now();
  switch (command) {
    case Command::CMD_DEVICE_ERASE:
      ++counters_.erases;
      std::fill(memory_.begin() + region_start, memory_.begin() + region_end, kErasedByte);
      return;
    case Command::CMD_PROGRAM_WRITE: {
      ++counters_.packets;
      const std::uint32_t address = ReadU32(request, field::kPacketAddress);
      const std::uint32_t count = std::min<std::uint32_t>(request[field::kPacketCount], kPacketDataCapacity);
      if (address < region_start || std::uint64_t{address} + count > region_end) {
        ++counters_.packets_outside_region;
        return;
      }
      for (std::uint32_t i = 0; i < count; ++i) memory_[address + i] &= request[field::kPacketData + i];
      return;
    }
    case Command::CMD_PROGRAM_END:
      ++counters_.program_ends;
      return;
    case Command::CMD_RESET_DEVICE:
      ++counters_.resets;
      counters_.resets_after_match += last_verdict_ == kMatchVerdict ? 1 : 0;
      counters_.last_reset = counters_.last_request;
      return;
    case Command::CMD_CRC_CHECK:
      ++counters_.crc_checks;
      last_checksum_ = request[field::kChecksum];
      [[fallthrough]];
    case Command::CMD_QUERY_DEVICE_INFO:
    case Command::CMD_APP_READY:
    case Command::CMD_QUERY_APP_VERSION:
    case Command::CMD_QUERY_BOOT_VERSION:
      answers_.push_back(Answer(command));
      return;
    default:
      return;
  }
}

BootReport BootLoader::Answer(Command command) const {
  BootReport answer{};
  answer[field::kCode] = CodeOf(command);
  switch (command) {
    case Command::CMD_QUERY_DEVICE_INFO:
      PutU32(answer, field::kRegionStart, config_.region_start);
      PutU32(answer, field::kRegionSize, config_.region_size);
      break;
    case Command::CMD_QUERY_APP_VERSION:
      std::copy(config_.app_version.begin(), config_.app_version.end(), answer.begin() + field::kVersionText);
      break;
    case Command::CMD_QUERY_BOOT_VERSION:
      std::copy(config_.boot_version.begin(), config_.boot_version.end(), answer.begin() + field::kVersionText);
      break;
    case Command::CMD_APP_READY:
      answer[field::kCode] = config_.ready_form;
      std::copy(config_.ready_values.begin(), config_.ready_values.end(), answer.begin() + 2);
      break;
    case Command::CMD_CRC_CHECK: {
      const auto [start, end] = RegionIn(config_);
      std::uint8_t checksum = 0;
      for (std::size_t address = start; address < end; ++address) checksum ^= memory_[address];
      answer[field::kVerdict] = checksum == last_checksum_ ? kMatchVerdict : kMismatchVerdict;
      for (const Fault& fault : faults_) {
        if (fault.kind == FaultKind::Verdict) answer[field::kVerdict] = fault.value;
      }
      break;
    }
    default:
      break;
  }
  return answer;
}

void BootLoader::Wait() {
  const auto frame = config_.transfer_time;
  if (frame <= std::chrono::microseconds::zero()) return;
  std::chrono::steady_clock::time_point until;
  {
    // Frames lie on a fixed grid and each carries one transfer: a transfer goes in the frame
    // that is running when it is handed over (or the next free one) and is done at that frame's
    // end. A host that hands over the next report within the frame loses nothing, so the lateness
    // of the sleep itself does not add up.
    const std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (last_frame_ < 0) first_frame_ = now;
    const std::int64_t current = (now - first_frame_) / frame;
    last_frame_ = std::max(last_frame_ + 1, current);
    until = first_frame_ + (last_frame_ + 1) * frame;
  }
  std::this_thread::sleep_until(until);
}

TransferResult BootLoader::Write(const BootReport& report, std::chrono::milliseconds bound) {
  {
    const std::lock_guard lock(mutex_);
    if (config_.keep_log) write_bounds_.push_back(bound);
  }
  return Write(report);
}

std::size_t BootLoader::PendingAnswers() const {
  const std::lock_guard lock(mutex_);
  return answers_.size();
}

void BootLoader::FillMemory(std::uint8_t value) {
  const std::lock_guard lock(mutex_);
  memory_.fill(value);
}

}  // namespace fwup::sim
