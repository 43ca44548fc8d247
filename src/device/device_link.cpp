#include "device/device_link.hpp"

namespace fwup {

void DeviceLink::Attach(std::string path, OpenResult write, OpenResult read) {
  path_ = std::move(path);
  WriteHandle = std::move(write.link);
  write_open_error_ = write.error;
  ReadHandle = std::move(read.link);
  read_open_error_ = read.error;
  answers_owed_ = 0;
}

TransferResult DeviceLink::Write(const BootReport& report, std::chrono::milliseconds bound) {
  const TransferResult result =
      WriteHandle ? WriteHandle->Write(report, bound) : TransferResult::Failed(kErrorInvalidHandle);
  request_sent_ = !FailedByErrorCode(result);
  return result;
}

TransferResult DeviceLink::Read(BootReport& report, std::chrono::milliseconds bound) {
  if (!ReadHandle) return TransferResult::Failed(kErrorInvalidHandle);
  const TransferResult result = ReadHandle->Read(report, bound);
  // An answer is owed only to a request that went out; a write that failed sent nothing.
  if (!result.ok && result.last_error == kErrorTimeout && request_sent_) ++answers_owed_;
  return result;
}

void DeviceLink::DropStaleAnswers(std::chrono::milliseconds grace) {
  if (!ReadHandle) return;
  BootReport stale{};
  for (; answers_owed_ > 0; --answers_owed_) {
    if (!ReadHandle->Read(stale, grace).ok) {
      answers_owed_ = 0;  // it did not come within the grace: count it as lost
      break;
    }
  }
  // Bounded: a device cannot queue more than a few reports, and a read of zero bound that
  // finds nothing ends the loop.
  for (int i = 0; i < 64 && ReadHandle->Read(stale, std::chrono::milliseconds::zero()).ok; ++i) {
  }
}

void DeviceLink::Close() {
  ReadHandle.reset();
  WriteHandle.reset();
  answers_owed_ = 0;
}

}  // namespace fwup
