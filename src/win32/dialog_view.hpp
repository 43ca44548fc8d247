// What the core shows, on the upgrade dialog: its two texts, its progress bar, message boxes
// owned by the dialog or by nobody, and standard output.
#pragma once

#include <windows.h>

#include "ports/view.hpp"

namespace fwup::win32 {

struct DialogControls {
  int status_text;   // IDC_DEVICE_STATUS
  int version_text;  // IDC_VERSION_TEXT
};

class DialogView : public View {
 public:
  // The handles are read at each call: the dialog records them during its initialisation,
  // after the view exists.
  DialogView(const HWND& dialog, const HWND& progress_bar, DialogControls controls)
      : dialog_(dialog), progress_bar_(progress_bar), controls_(controls) {}

  void SetStatusText(std::string_view text) override;
  void SetVersionText(std::string_view text) override;
  void SetProgress(int position) override;
  void ShowBox(const Box& box) override;
  void PrintToStdout(std::string_view text) override;

 private:
  const HWND& dialog_;
  const HWND& progress_bar_;
  DialogControls controls_;
};

}  // namespace fwup::win32
