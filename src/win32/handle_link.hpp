// One side of the device link on a CreateFileW handle opened with FILE_FLAG_OVERLAPPED.
//
// A synchronous ReadFile on a HID handle waits for ever when the device stays silent, so every
// transfer here is overlapped and waited for with a bound:
// - A read that is not complete within its bound is cancelled (CancelIoEx) and its result
//   collected (GetOverlappedResult, waiting for the cancel to land). If the report arrived
//   between the time-out and the cancel, it is returned as a completed read; otherwise the read
//   gives FALSE with ERROR_TIMEOUT (1460) and no byte of the caller's report is touched. An
//   answer that comes after that is left queued by the platform: the core drains it before its
//   next answered request (zero-bound reads; HidD_FlushQueue is not available under Wine).
// - A read with a bound of zero takes only a report that is already queued.
// - A write is bounded the same way by the bound it is given and gives 1460 when cancelled.
// The core keeps its one-request-at-a-time view: each call returns only when its transfer is
// complete, failed or cancelled, so no I/O is ever left pending on the handle.
#pragma once

#include <chrono>

#include "ports/hid.hpp"
#include "win32/unique_handle.hpp"

namespace fwup::win32 {

class HandleLink : public HidLink {
 public:
  explicit HandleLink(UniqueHandle handle);

  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound) override;
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override;

 private:
  UniqueHandle handle_;
  UniqueHandle event_;  // manual-reset, one per handle: transfers never overlap each other
};

}  // namespace fwup::win32
