// The resolution dialog (template 139): the size the demo records and the
// size to convert it to. It runs the conversion on the demo named in the main
// window, then has the main window read the demo again.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "demo/resolution.h"
#include "ui/main_window.h"

namespace rewindor::ui {

// Opens the dialog with no owner and returns when it ends (0 after OK or the
// close box, 2 after "Отмена" or Esc). `mainWindow` is the main window that
// opened it: the demo named there is converted and read again.
INT_PTR RunResolutionDialog(HWND mainWindow, ProgramState& program);

}  // namespace rewindor::ui
