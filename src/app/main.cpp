// The graphical entry point; the command line is not used.
#include <windows.h>

#include "app/run_application.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
  return fwup::app::RunApplication(instance, previous, command_line, show);
}
