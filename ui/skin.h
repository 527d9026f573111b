// The program's skin: its colours and brushes, the bitmaps its windows are
// painted with, and the one procedure every dialog of the program, the main
// window too, runs in.
#pragma once

#include <windows.h>

namespace rewindor::ui {

// The skin's colours and brushes, shared by every window of the program.
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

// The brushes exist before any window (CreateSharedSkin) and go, with the
// program icon, when the main window goes (ReleaseSharedSkin).
void CreateSharedSkin();
void ReleaseSharedSkin();

// Answers a control-colour message with the skin's colours; FALSE for those
// the window leaves to the system (list boxes and buttons unless
// `colourButtons`).
INT_PTR SkinControlColour(UINT message, WPARAM wParam, bool colourButtons);

// Places the dialog's controls, and sizes its client area, on the pixel grid
// its skin was drawn for (MS Sans Serif 8 at 96 DPI: a dialog unit is 1.5
// pixels across and 1.625 down), whatever font or DPI the system gives the
// dialog, so the borderless fields always sit in their painted frames.
void FitToSkin(HWND dialog);

// Draws a bitmap at its own size at (x, y) of the device context.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y);

// Moves a top-level window to the centre of the screen's full-screen client
// area, unless that would leave it at the edge or beyond it.
void CenterOnScreen(HWND window);

// For the resizable dialogs' layouts: a size in dialog units as the dialog's
// pixels, and a control's move queued in `moves` (none when it is not there).
SIZE DialogPixels(HWND dialog, int x, int y);
void PlaceControl(HDWP& moves, HWND dialog, int id, int x, int y, int w, int h);
// The window's outer size around a client area of that many dialog units: its smallest size.
SIZE DialogFrameSize(HWND dialog, int x, int y);

// --- The skinned dialogs ---------------------------------------------------------
//
// A dialog is called like a function: its data in through the object, its
// result out of it (and RunSkinnedDialog's value). The shared procedure starts
// it (its skin loaded, its controls fitted to the skin when it has one,
// centred on the screen, with the program icon), paints its skin, answers the
// colour messages, ends it on the close box (with 0, unless OnCloseBox ends it
// otherwise), lets its skin go when it is destroyed and catches every
// exception; every message before OnInit (those of the shared start too) is
// left to the system. The dialog's own part is the rest:
class SkinnedDialog {
 public:
  virtual ~SkinnedDialog() = default;
  // WM_INITDIALOG, after the shared start: fills the controls. TRUE lets the
  // dialog manager set the focus.
  virtual INT_PTR OnInit(HWND dialog) = 0;
  // WM_COMMAND: a plain switch on the control id, one small function a command.
  virtual INT_PTR OnCommand(HWND dialog, int id, int code) = 0;
  // Every other message (WM_SIZE, WM_NOTIFY, WM_TIMER, WM_APP + n, WM_PAINT of
  // a dialog without a skin, ...); FALSE when the dialog does not handle it.
  virtual INT_PTR OnMessage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
  // WM_DESTROY, before the skin goes: what the dialog holds (a timer, a thread) is let go.
  virtual void OnDestroy(HWND) {}
  // WM_PAINT of a dialog with a skin, once the skin is drawn: what lies over it.
  virtual void OnPaintOverSkin(HWND, HDC) {}
  // The close box (WM_CLOSE): the dialog ends with 0.
  virtual void OnCloseBox(HWND dialog) { EndDialog(dialog, 0); }
};

struct SkinnedDialogLook {
  HINSTANCE instance = nullptr;
  int templateId = 0;
  int skinId = 0;              // the bitmap painted at the top left; 0: none, the system paints
  bool colourButtons = false;  // list boxes and buttons in the skin's colours too
  HWND owner = nullptr;        // the program's dialogs have none
};

// Runs the dialog modally; returns the value EndDialog was given.
INT_PTR RunSkinnedDialog(const SkinnedDialogLook& look, SkinnedDialog& dialog);

// The dialog that runs in `window` and the bitmap of its skin, from its OnInit
// on; none before it, and none for a window that is no dialog of this thread
// run by RunSkinnedDialog.
SkinnedDialog* SkinnedDialogOf(HWND window);
HBITMAP SkinBitmapOf(HWND window);

// Ends every dialog of this thread but `keep` (the library, the details view,
// the timeline, a message box they show), each with IDCANCEL: each modal loop
// returns in turn, innermost first, and the main window's after them.
void EndOtherDialogs(HWND keep);

}  // namespace rewindor::ui
