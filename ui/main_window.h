// The main window: dialog 101, skinned, owning every command. It alone trusts
// its own handle: the dialogs it opens reach it only through the callbacks it
// gives them.
#pragma once

#include <windows.h>

#include "ui/program_state.h"

namespace rewindor::ui {

// Runs the main window as a modal dialog with no owner; returns when it ends
// (0 from the close box, 2 from Esc). The shared skin is made before it opens
// and goes with it.
INT_PTR RunMainWindow(ProgramState& program);

}  // namespace rewindor::ui
