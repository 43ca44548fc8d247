// Owners of the two kinds of platform handle the adapter holds. Closing never throws.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <setupapi.h>

#include <utility>

namespace fwup::win32 {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  HANDLE Release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Reset() noexcept {
    if (Valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A device information set; destroying the owner destroys the set.
class UniqueDevInfo {
 public:
  explicit UniqueDevInfo(HDEVINFO set) : set_(set) {}
  UniqueDevInfo(const UniqueDevInfo&) = delete;
  UniqueDevInfo& operator=(const UniqueDevInfo&) = delete;
  ~UniqueDevInfo() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }

  HDEVINFO Get() const { return set_; }

 private:
  HDEVINFO set_;
};

}  // namespace fwup::win32
