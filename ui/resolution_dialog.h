// The resolution dialog (template 139): the size the demo records and the
// size to convert it to. It converts the demo that the main window names and
// then has the main window read it again, reaching the window only through
// the request's callbacks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace rewindor::ui {

struct ResolutionRequest {
  HINSTANCE instance = nullptr;
  // The demo the main window names now (asked when the dialog opens and again
  // when OK converts it); empty once that window is gone.
  std::function<std::string()> demoPath;
  // Called after the conversion, whatever it did: the main window reads its demo again.
  std::function<void()> reload;
};

// Opens the dialog with no owner and returns when it ends (0 after OK or the
// close box, 2 after "Отмена" or Esc).
INT_PTR RunResolutionDialog(const ResolutionRequest& request);

}  // namespace rewindor::ui
