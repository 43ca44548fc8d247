// Ctrl-C, Ctrl-Break and closing the console on Windows. The handler runs on a thread of its
// own, so no transfer is cut short.
#include <windows.h>

#include "cli/stop_request.hpp"

namespace fwup::cli {
namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (StopRequested()) return FALSE;  // the second one: the default handler ends the process
  RequestStop();
  static constexpr char kStopping[] =
      "fwupgrade: stopping after the transfer in flight; press Ctrl-C again to end at once\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStopping, sizeof kStopping - 1, &written, nullptr);
  return TRUE;
}

}  // namespace

void SetUpProcessSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

}  // namespace fwup::cli
