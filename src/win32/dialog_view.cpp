#include "win32/dialog_view.hpp"

#include <commctrl.h>

#include <cstdio>

#include "win32/wide_text.hpp"

namespace fwup::win32 {

void DialogView::SetStatusText(std::string_view text) {
  SetDlgItemTextW(dialog_, controls_.status_text, Widen(text).c_str());
}

void DialogView::SetVersionText(std::string_view text) {
  SetDlgItemTextW(dialog_, controls_.version_text, Widen(text).c_str());
}

void DialogView::SetProgress(int position) { SendMessageW(progress_bar_, PBM_SETPOS, position, 0); }

void DialogView::ShowBox(const Box& box) {
  const HWND owner = box.owner == BoxOwner::Dialog ? dialog_ : nullptr;
  MessageBoxW(owner, Widen(box.text).c_str(), Widen(box.caption).c_str(), box.style);
}

void DialogView::PrintToStdout(std::string_view text) {
  std::printf("%.*s", static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
}

}  // namespace fwup::win32
