// The graphical entry point (its command line is not used): the hidden main window that owns the
// upgrade dialog and ends the run when it is destroyed, and the one message loop.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/app_globals.hpp"
#include "app/hid_bus_factory.hpp"
#include "app/resource.h"
#include "app/upgrade_dialog.hpp"
#include "upgrade/session.hpp"
#include "win32/debugger_trace.hpp"
#include "win32/dialog_view.hpp"
#include "win32/file_probe.hpp"

namespace fwup::app {
namespace {

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
    case WM_COMMAND:
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CLOSE:
      // Ends the run without destroying the window, as its destruction would.
      SendMessageW(window, WM_DESTROY, 0, 0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

ATOM RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(WNDCLASSEXW);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN_ICON));
  window_class.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN_SMALL_ICON));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = WindowClassName;
  return RegisterClassExW(&window_class);
}

BOOL CreateMainWindows(HINSTANCE instance, int show) {
  AppInstance = instance;
  const HWND main_window =
      CreateWindowExW(0, WindowClassName, WindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (main_window == nullptr) return FALSE;
  MainWindow = main_window;

  // The dialog's initialisation, with the connection to the device, runs inside this call; it
  // destroys MainWindow itself when no device is found.
  if (CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_UPGRADE), MainWindow, UpgradeDialogProc, 0) == nullptr) {
    return FALSE;
  }
  ShowWindow(MainWindow, show);
  UpdateWindow(MainWindow);
  return TRUE;
}

// Returns the process exit code, which is always 0.
int RunApplication(HINSTANCE instance, int show) {
  // The core's values of this run and the adapters through which it reaches the platform.
  const std::unique_ptr<HidBus> bus = MakeHidBus();
  win32::DialogView view(DialogWindow, ProgressBar, {IDC_DEVICE_STATUS, IDC_VERSION_TEXT});
  win32::DebuggerTrace trace;
  Session session(*bus, view, trace);
  session.firmware.probe_file = win32::ProbeFirmwareFile;
  TheSession = &session;

  // The dialog's progress bar must be registered before the dialog is created.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  LoadStringW(instance, IDS_MAIN_TITLE, WindowTitle, kStringCapacity);
  LoadStringW(instance, IDS_MAIN_CLASS, WindowClassName, kStringCapacity);
  (void)RegisterMainWindowClass(instance);
  if (!CreateMainWindows(instance, show)) {
    TheSession = nullptr;
    return 0;
  }

  MSG message{};
  // GetMessageW gives -1 on a failure of its own; looping on it would spin for ever.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  TheSession = nullptr;
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

}  // namespace
}  // namespace fwup::app

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
  return fwup::app::RunApplication(instance, show);
}
