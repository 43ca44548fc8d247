// Owners of the two kinds of platform handle the adapter holds. Closing never throws.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <setupapi.h>

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
