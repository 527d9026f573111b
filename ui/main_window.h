// The main window: dialog 101, skinned, owning every command. Also the small
// services the folder list and the resolution dialog share with it.
#pragma once

#include <windows.h>

#include <string>

#include "demo/read_info.h"

namespace rewindor::ui {

// What the program keeps for its whole life (set by start-up).
struct ProgramState {
  HINSTANCE instance = nullptr;
  std::string executablePath;
  std::string pendingDemoPath;  // from the command line, or handed over by a second start
  ReaderState reader;           // the program folder and the current mod name
  HBITMAP mapPicture = nullptr; // the map picture of the demo read last, or none
};

// Runs the main window as a modal dialog with no owner; returns when it ends
// (0 from the close box, 2 from Esc).
INT_PTR RunMainWindow(ProgramState& program);

// Moves a top-level window to the centre of the screen's full-screen client
// area, unless that would leave it at the edge or beyond it.
void CenterOnScreen(HWND window);

// True only for this program's own main window: a dialog of this process that
// has the demo path field and holds the program state. Any other window, also
// one titled "Rewindor" (one of our message boxes, or another program's), is not.
bool IsOwnMainWindow(HWND window);

// Releases the map picture, then reads the demo named in the main window.
// Does nothing when `mainWindow` is not our own main window.
void ReloadDemo(HWND mainWindow);

// The skin's colours and brushes, shared with the resolution dialog.
struct Skin {
  HBRUSH background = nullptr;  // the dialog background and static controls
  HBRUSH field = nullptr;       // edits and list boxes
  HBRUSH button = nullptr;      // buttons
  HICON icon = nullptr;         // the program icon at the small-icon size
};
Skin& SharedSkin();
inline constexpr COLORREF kSkinTextColour = RGB(209, 202, 187);
inline constexpr COLORREF kSkinBrushColour = RGB(90, 83, 68);
// Pixels per 4 dialog units across and per 8 down on the skins' grid.
inline constexpr int kSkinUnitX = 6;
inline constexpr int kSkinUnitY = 13;

// Answers a control-colour message with the skin's colours; FALSE for those
// the window leaves to the system.
INT_PTR SkinControlColour(UINT message, WPARAM wParam, bool colourButtons);

// Places the dialog's controls, and sizes its client area, on the pixel grid
// its skin was drawn for (MS Sans Serif 8 at 96 DPI: a dialog unit is 1.5
// pixels across and 1.625 down), whatever font or DPI the system gives the
// dialog, so the borderless fields always sit in their painted frames.
void FitToSkin(HWND dialog);

// Draws a bitmap at its own size at (x, y) of the device context.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y);

// Sets the program icon (loaded once at the small-icon size) as both icons of a window.
void SetProgramIcon(HWND window, HINSTANCE instance);

// The start of each of the program's dialogs: its skin (bitmap `skinId`,
// returned for the dialog to paint and release), its controls fitted to the
// skin, centred on the screen, with the program icon.
HBITMAP StartSkinnedDialog(HWND dialog, HINSTANCE instance, int skinId);
// WM_PAINT of a skinned dialog: its skin at the top left.
INT_PTR PaintSkin(HWND dialog, HBITMAP skin);
// WM_DESTROY of a skinned dialog: its skin let go.
void ReleaseSkin(HBITMAP& skin);

}  // namespace rewindor::ui
