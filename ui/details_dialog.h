// The details view (template 140): what the demo holds beyond the information
// box, and the repair of a demo the game never finished writing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace rewindor::ui {

// Reads the demo at `path` (a failure is reported as the information reader
// reports it, and no view opens) and shows its details in a modal view with no
// owner; returns when the view has closed. `repair` repairs the demo from the
// main window and has it read again; the view then shows the demo anew.
void RunDetailsDialog(HINSTANCE instance, const std::string& path, const std::function<void()>& repair);

}  // namespace rewindor::ui
