// The demo commands ("Подробнее о демке...", "Починить демку") and the library
// ("Библиотека демок...") in the main window's system menu and in the
// right-click menus of the information box and the folder list. Both menus end
// in the main window's WM_COMMAND with the command's id, so each command is
// handled in one place. The library also has a button of its own beside the
// folder field.
#pragma once

#include <windows.h>

#include <optional>

namespace rewindor::ui {

// Adds the library, a separator and the two demo commands to the window's system menu.
void AddDemoCommandsToSystemMenu(HWND mainWindow);
// The demo commands (details, repair, timeline) at the end of a menu (the library's rows have them too).
void AppendDemoCommands(HMENU menu);

// The demo command (or the library) a WM_SYSCOMMAND carries, or nothing for the system's own.
std::optional<int> DemoCommandOf(WPARAM sysCommand);

// The library button's tip, which names what the button's short mark stands for.
void AddLibraryButtonTip(HWND mainWindow);
// The tip on the demo path field (1000): the whole path it holds, for a path
// too long for the field. OnDemoPathTip answers the tip's WM_NOTIFY.
void AddDemoPathTip(HWND mainWindow);
INT_PTR OnDemoPathTip(HWND mainWindow, NMHDR* header);

// Where a right-click (WM_CONTEXTMENU) on the main window landed.
enum class MenuSpot {
  kNone,         // elsewhere: no menu
  kInfoBox,      // the information box (1007)
  kFolderEntry,  // an entry of the folder list (1028), now selected
};
// `clicked` and `point` are the message's wParam and lParam; `at` gets the
// screen point the menu opens at. A point of (-1, -1) is the keyboard's menu
// key: the folder list's selected entry, when the list has the focus.
MenuSpot FindMenuSpot(HWND mainWindow, HWND clicked, LPARAM point, POINT& at);

// Opens the menu of the two commands and the library at `at`; the one chosen
// arrives as the main window's WM_COMMAND.
void ShowDemoMenu(HWND mainWindow, POINT at);

}  // namespace rewindor::ui
