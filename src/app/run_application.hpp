// Process entry: the hidden main window that owns the upgrade dialog and ends the run when it
// is destroyed, and the one message loop.
#pragma once

#include <windows.h>

namespace fwup::app {

// Returns the process exit code, which is always 0.
int RunApplication(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show);

ATOM RegisterMainWindowClass(HINSTANCE instance);
BOOL CreateMainWindows(HINSTANCE instance, int show);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace fwup::app
