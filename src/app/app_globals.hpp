// The dialog program's process-wide values: set once, read by the window procedures.
#pragma once

#include <windows.h>

namespace fwup {
struct Session;
}

namespace fwup::app {

inline constexpr int kStringCapacity = 100;
inline constexpr int kPathCapacity = 260;

inline HINSTANCE AppInstance = nullptr;
inline HWND MainWindow = nullptr;
inline HWND DialogWindow = nullptr;
inline HWND ProgressBar = nullptr;
inline wchar_t WindowTitle[kStringCapacity] = {};
inline wchar_t WindowClassName[kStringCapacity] = {};
// Filled only by the file chooser; the edit box beside it is a display and is never read.
inline wchar_t ImagePath[kPathCapacity] = {};
// The core's values of this run: the connection, the firmware, DeviceInfo, ...
inline Session* TheSession = nullptr;

}  // namespace fwup::app
