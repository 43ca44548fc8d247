// The upgrade dialog IDD_UPGRADE: connection at initialisation, the file chooser and the one
// upgrade attempt of the run. It holds no upgrade logic; the core's stages do the work.
#pragma once

#include <windows.h>

namespace fwup::app {

INT_PTR CALLBACK UpgradeDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace fwup::app
