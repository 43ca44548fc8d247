#include "app/upgrade_dialog.hpp"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "app/app_globals.hpp"
#include "app/resource.h"
#include "upgrade/connect_device.hpp"
#include "upgrade/session.hpp"
#include "upgrade/upgrade_run.hpp"
#include "win32/wide_text.hpp"

namespace fwup::app {
namespace {

constexpr wchar_t kNotFoundCaption[] = L"Firmware Upgrade";

void SetSmallIcon(HWND dialog) {
  const auto icon =
      static_cast<HICON>(LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_MAIN_ICON), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  if (icon != nullptr) SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

// On the whole primary display, not its work area; a dialog larger than the screen keeps its
// top-left corner on the screen.
void CentreOnScreen(HWND dialog) {
  RECT outer;
  if (!GetWindowRect(dialog, &outer)) return;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2;
  SetWindowPos(dialog, nullptr, std::max(x, 0), std::max(y, 0), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR Initialise(HWND dialog) {
  DialogWindow = dialog;
  SetSmallIcon(dialog);
  CentreOnScreen(dialog);
  ProgressBar = GetDlgItem(dialog, IDC_PROGRESS);
  SendMessageW(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);

  Session& session = *TheSession;
  session.versions = ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
  if (session.connection.DeviceFound != 0) return TRUE;

  MessageBoxW(DialogWindow, win32::Widen(kDeviceNotFoundText).c_str(), kNotFoundCaption, MB_OK | MB_ICONWARNING);
  DestroyWindow(MainWindow);
  return FALSE;
}

void ChooseFile(HWND dialog) {
  ImagePath[0] = L'\0';
  TheSession->firmware.ImagePath.clear();

  OPENFILENAMEW choice{};
  choice.lStructSize = sizeof(OPENFILENAMEW);
  choice.hwndOwner = dialog;
  choice.lpstrFilter = L"Hex Files (*.hex)\0*.hex\0";
  choice.lpstrFile = ImagePath;
  choice.nMaxFile = kPathCapacity;
  choice.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  choice.lpstrDefExt = L"hex";
  if (!GetOpenFileNameW(&choice)) {
    ImagePath[0] = L'\0';  // whatever the chooser left there was not chosen
    return;
  }
  SetDlgItemTextW(dialog, IDC_IMAGE_PATH, ImagePath);
  TheSession->firmware.ImagePath = ImagePath;
}

}  // namespace

INT_PTR CALLBACK UpgradeDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return Initialise(dialog);
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDCANCEL:
          DestroyWindow(MainWindow);
          return TRUE;
        case IDC_BROWSE:
          ChooseFile(dialog);
          return FALSE;
        case IDC_LOAD_IMAGE:
          // The one attempt of the run; the stages have told the user how it went.
          RunUpgrade(*TheSession);  // closes FirmwareFile, ReadHandle and WriteHandle
          DestroyWindow(MainWindow);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace fwup::app
