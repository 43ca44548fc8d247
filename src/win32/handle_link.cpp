#include "win32/handle_link.hpp"

#include <windows.h>

#include <algorithm>

namespace fwup::win32 {
namespace {

DWORD Milliseconds(std::chrono::milliseconds bound) {
  const auto count = std::clamp<std::chrono::milliseconds::rep>(bound.count(), 0, INFINITE - 1);
  return static_cast<DWORD>(count);
}

// Starts a transfer with `start`, waits up to `bound` and cancels it if it is still pending.
// Returns the call's outcome as the core sees a synchronous call: TRUE, or FALSE and the code.
template <typename Start>
TransferResult Bounded(HANDLE handle, HANDLE event, DWORD bound, DWORD& transferred, Start start) {
  if (event == nullptr) return TransferResult::Failed(ERROR_NOT_ENOUGH_MEMORY);  // CreateEventW failed
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  ResetEvent(event);
  transferred = 0;
  if (!start(&overlapped)) {
    const DWORD started = GetLastError();
    if (started != ERROR_IO_PENDING) return TransferResult::Failed(started);
    if (WaitForSingleObject(event, bound) != WAIT_OBJECT_0) CancelIoEx(handle, &overlapped);
  }
  // Waits for the transfer to be finished one way or the other; it is never left pending.
  if (GetOverlappedResult(handle, &overlapped, &transferred, TRUE)) return TransferResult::Done();
  const DWORD error = GetLastError();
  return TransferResult::Failed(error == ERROR_OPERATION_ABORTED ? kErrorTimeout : error);
}

}  // namespace

HandleLink::HandleLink(UniqueHandle handle)
    : handle_(std::move(handle)), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TransferResult HandleLink::Write(const BootReport& report, std::chrono::milliseconds bound) {
  DWORD written = 0;
  return Bounded(handle_.Get(), event_.Get(), Milliseconds(bound), written, [&](OVERLAPPED* overlapped) {
    return WriteFile(handle_.Get(), report.data(), static_cast<DWORD>(report.size()), nullptr, overlapped) != FALSE;
  });
}

TransferResult HandleLink::Read(BootReport& report, std::chrono::milliseconds bound) {
  // Into a buffer of our own, so that a cancelled read never leaves part of a report behind.
  BootReport received{};
  DWORD got = 0;
  const TransferResult result =
      Bounded(handle_.Get(), event_.Get(), Milliseconds(bound), got, [&](OVERLAPPED* overlapped) {
        return ReadFile(handle_.Get(), received.data(), static_cast<DWORD>(received.size()), nullptr, overlapped) !=
               FALSE;
      });
  if (result.ok) std::copy_n(received.begin(), std::min<std::size_t>(got, received.size()), report.begin());
  return result;
}

}  // namespace fwup::win32
