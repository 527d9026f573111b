// The timeline ("Ход игры…", template 1173): the demo's round ends, kills,
// chat and name changes in a table that a filter narrows, the final score and
// each player's kills and deaths above it. The demo is read on a thread of its
// own, so the window opens at once, also for a long demo.
#pragma once

#include <windows.h>

#include <string>

namespace rewindor::ui {

// Opens the timeline of the demo at `path` with no owner; returns when it
// closes. A demo that cannot be read shows as one row that says why.
void RunTimelineDialog(HINSTANCE instance, const std::string& path);

}  // namespace rewindor::ui
