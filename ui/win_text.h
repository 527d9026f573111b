// The window side's texts: controls and demo texts, all through the wide API
// so that Cyrillic shows whatever the ANSI code page. Texts inside the
// program are UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "demo/files.h"
#include "demo/utf8.h"

namespace rewindor::ui {

// A text from a demo (names, map, mod): UTF-8 when it is valid UTF-8,
// otherwise in the system's ANSI code page, as the game itself shows it.
std::wstring DemoTextToWide(std::string_view bytes);
// The same as UTF-8.
std::string DemoTextAsShown(std::string_view bytes);

// The key of a demo text in a list box: two texts with equal keys are what the
// list's own case-blind look-up (LB_FINDSTRINGEXACT) finds equal.
std::string ListEntryKey(HWND list, std::string_view text);

// A control's text cut to at most `maxChars` characters, as UTF-8.
std::string ControlText(HWND dialog, int id, std::size_t maxChars);
void SetControlText(HWND dialog, int id, std::string_view utf8);

}  // namespace rewindor::ui
