#include "ui/demo_menu.h"

#include <commctrl.h>

#include <array>

#include "demo/demo_format.h"
#include "res/resource.h"
#include "ui/texts.h"
#include "ui/timeline.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

void AppendLibrary(HMENU menu) { AppendMenuW(menu, MF_STRING, IDM_LIBRARY, Wide(text::kMenuLibrary).c_str()); }

// The message's point: signed screen coordinates (a second screen may lie left of or above the first).
POINT ScreenPoint(LPARAM point) { return POINT{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))}; }

bool IsKeyboardMenu(LPARAM point) {
  POINT p = ScreenPoint(point);
  return p.x == -1 && p.y == -1;
}

MenuSpot InfoBoxSpot(HWND mainWindow, LPARAM point, POINT& at) {
  // The information box is a plain static, which lets clicks through to the
  // window beneath: the point tells whether it was hit.
  HWND info = GetDlgItem(mainWindow, IDC_DEMO_INFO);
  RECT box;
  if (info == nullptr || IsKeyboardMenu(point) || !GetWindowRect(info, &box)) return MenuSpot::kNone;
  at = ScreenPoint(point);
  return PtInRect(&box, at) ? MenuSpot::kInfoBox : MenuSpot::kNone;
}

MenuSpot FolderEntrySpot(HWND list, LPARAM point, POINT& at) {
  const bool keyboard = IsKeyboardMenu(point);
  POINT inside = ScreenPoint(point);
  ScreenToClient(list, &inside);
  // The entry nearest to the point, which a list may give for a point below
  // its last entry too: the entry's rectangle must hold the point.
  const LRESULT index = keyboard ? SendMessageW(list, LB_GETCURSEL, 0, 0)
                                 : LOWORD(SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(inside.x, inside.y)));
  RECT item;
  if (index == LB_ERR || index >= SendMessageW(list, LB_GETCOUNT, 0, 0) ||
      SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR ||
      (!keyboard && !PtInRect(&item, inside))) {
    return MenuSpot::kNone;
  }
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (keyboard) {
    at = POINT{item.left, item.bottom};
    ClientToScreen(list, &at);
  } else {
    at = ScreenPoint(point);
  }
  return MenuSpot::kFolderEntry;
}

}  // namespace

void AppendDemoCommands(HMENU menu) {
  AppendMenuW(menu, MF_STRING, IDM_DEMO_DETAILS, Wide(text::kMenuDemoDetails).c_str());
  AppendMenuW(menu, MF_STRING, IDM_REPAIR_DEMO, Wide(text::kMenuRepairDemo).c_str());
  AppendMenuW(menu, MF_STRING, IDM_TIMELINE, Wide(text::kMenuTimeline).c_str());
}

void AddDemoCommandsToSystemMenu(HWND mainWindow) {
  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  if (menu == nullptr) return;
  // The demo commands stay last, where they were before the library came.
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendLibrary(menu);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendDemoCommands(menu);
}

std::optional<int> DemoCommandOf(WPARAM sysCommand) {
  // The library's and the timeline's numbers are not multiples of 16, and
  // masked they read as the repair's: they are told whole first.
  if (sysCommand == IDM_LIBRARY || sysCommand == IDM_TIMELINE) return static_cast<int>(sysCommand);
  // The system uses the low four bits of its commands itself.
  const int command = static_cast<int>(sysCommand & 0xFFF0);
  if (command == IDM_DEMO_DETAILS || command == IDM_REPAIR_DEMO) return command;
  return std::nullopt;
}

MenuSpot FindMenuSpot(HWND mainWindow, HWND clicked, LPARAM point, POINT& at) {
  // Only the window's own handles are trusted.
  if (clicked == mainWindow) return InfoBoxSpot(mainWindow, point, at);
  HWND list = GetDlgItem(mainWindow, IDC_FOLDER_LIST);
  if (list != nullptr && clicked == list) return FolderEntrySpot(list, point, at);
  return MenuSpot::kNone;
}

void ShowDemoMenu(HWND mainWindow, POINT at) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  AppendDemoCommands(menu);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendLibrary(menu);
  // A menu whose window is not in front may close at once, or not at all
  // when the user clicks elsewhere.
  SetForegroundWindow(mainWindow);
  // The chosen command is posted to the window as WM_COMMAND.
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, mainWindow, nullptr);
  DestroyMenu(menu);
}

namespace {

// A tip on one control of the main window: `text`, or LPSTR_TEXTCALLBACKW to
// have the window give it when it shows (TTN_GETDISPINFOW).
void AddTip(HWND mainWindow, int control, wchar_t* text) {
  HWND target = GetDlgItem(mainWindow, control);
  if (target == nullptr) return;
  // The tip window belongs to the main window and goes with it.
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mainWindow, nullptr, nullptr, nullptr);
  if (tip == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = mainWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(target);
  tool.lpszText = text;
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // A long path shows on several lines rather than past the screen.
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 600);
}

}  // namespace

void AddLibraryButtonTip(HWND mainWindow) {
  std::wstring text = Wide(text::kMenuLibrary);
  AddTip(mainWindow, IDC_LIBRARY_OPEN, text.data());
}

void AddDemoPathTip(HWND mainWindow) { AddTip(mainWindow, IDC_DEMO_PATH, LPSTR_TEXTCALLBACKW); }

INT_PTR OnDemoPathTip(HWND mainWindow, NMHDR* header) {
  if (header == nullptr || header->code != TTN_GETDISPINFOW) return FALSE;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
  HWND field = GetDlgItem(mainWindow, IDC_DEMO_PATH);
  if (field == nullptr || info->hdr.idFrom != reinterpret_cast<UINT_PTR>(field)) return FALSE;
  // The text lives until the next tip asks: the whole path, up to 259 characters.
  static std::array<wchar_t, kMaxPathChars + 1> path{};
  path[0] = L'\0';
  GetWindowTextW(field, path.data(), static_cast<int>(path.size()));
  info->lpszText = path.data();
  return TRUE;
}

}  // namespace rewindor::ui
