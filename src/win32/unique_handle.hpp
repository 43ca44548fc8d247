// The owner of a platform handle. Closing never throws.
#pragma once

#include <windows.h>

#include <utility>

namespace fwup::win32 {

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  ~UniqueHandle() {
    if (Valid()) CloseHandle(handle_);
  }

  HANDLE Get() const { return handle_; }
  HANDLE Release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

 private:
  HANDLE handle_;
};

}  // namespace fwup::win32
