// Looking at another process's windows from outside, as a user's eyes and hands would: find
// the dialog, its message boxes and the file chooser, read texts and states, press buttons.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// Top-level dialog-class window of `process` that is visible, passes `accept`, not `except`.
HWND FindDialog(DWORD process, const wchar_t* caption, bool visible_only = true);
// A message box: a dialog window with the box's text control (0xFFFF).
HWND FindMessageBox(DWORD process);
// The open-file chooser: a dialog window with the file name control (0x47C).
HWND FindFileChooser(DWORD process);

std::string Text(HWND window);              // WM_GETTEXT, as UTF-8
std::string ItemText(HWND dialog, int id);  // of a control
// Which system icon a message box shows: "warning", "error", "information", "question" or
// "none", by comparing what is on the screen with each of them.
std::string BoxIcon(HWND box);
int ButtonCount(HWND box);

void Click(HWND dialog, int id);  // posted: the target may enter a modal loop
bool SetItemText(HWND dialog, int id, const std::wstring& text);

}  // namespace ui
