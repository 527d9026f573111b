// The map picture box of the main window's skin (the grid inside the frame
// "Карта"): a picture from the program folder is drawn at its top left at its
// own size; an overview from the game is made to fit the box whole.
#pragma once

#include <windows.h>

#include <string>

#include "ui/map_box.h"

namespace rewindor::ui {

// Loads an overview bitmap file (the game's are 8-bit, 1024 x 768) once and
// returns a bitmap of the box's size: the overview scaled smoothly, whole, its
// aspect kept and centred, over the skin's own box (`skin`, when given) in the
// margins. nullptr when the file is missing or is no bitmap.
HBITMAP LoadFittedOverview(const std::string& path, HBITMAP skin);

}  // namespace rewindor::ui
