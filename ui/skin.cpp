#include "ui/skin.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "res/resource.h"

namespace rewindor::ui {

namespace {

// What a running dialog's DWLP_USER points to.
struct RunningDialog {
  const SkinnedDialogLook& look;
  SkinnedDialog& dialog;
  HBITMAP skin = nullptr;
};

// None before WM_INITDIALOG (a dialog whose creation failed is destroyed without it).
RunningDialog* RunningOf(HWND window) { return reinterpret_cast<RunningDialog*>(GetWindowLongPtrW(window, DWLP_USER)); }

// Sets the program icon (loaded once at the small-icon size) as both icons of a window.
void SetProgramIcon(HWND window, HINSTANCE instance) {
  Skin& skin = SharedSkin();
  if (skin.icon == nullptr) {
    skin.icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  }
  if (skin.icon) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(skin.icon));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(skin.icon));
  }
}

// The shared start: the skin (bitmap `skinId`, returned for the procedure to
// paint and release; none for 0), the controls fitted to it when there is
// one, centred on the screen, with the program icon.
HBITMAP StartSkinnedDialog(HWND dialog, HINSTANCE instance, int skinId) {
  HBITMAP skin = nullptr;
  if (skinId != 0) {
    skin = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(skinId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    FitToSkin(dialog);
    InvalidateRect(dialog, nullptr, FALSE);
    UpdateWindow(dialog);
  }
  CenterOnScreen(dialog);
  SetProgramIcon(dialog, instance);
  return skin;
}

INT_PTR OnInitDialog(HWND window, RunningDialog& running) {
  // The messages of the shared start (moves, sizes, icons) are left to the
  // system: the dialog's own part hears its messages from OnInit on.
  running.skin = StartSkinnedDialog(window, running.look.instance, running.look.skinId);
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&running));
  return running.dialog.OnInit(window);
}

INT_PTR OnPaint(HWND window, RunningDialog& running) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  DrawBitmap(dc, running.skin, 0, 0);
  running.dialog.OnPaintOverSkin(window, dc);
  EndPaint(window, &ps);
  return TRUE;
}

void OnDestroy(HWND window, RunningDialog& running) {
  running.dialog.OnDestroy(window);
  if (running.skin != nullptr) DeleteObject(running.skin);
  running.skin = nullptr;
}

INT_PTR CALLBACK SkinnedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing may leave a window procedure as an exception: an unexpected one
  // ends the message as not handled, and the dialog goes on.
  try {
    if (message == WM_INITDIALOG) return OnInitDialog(window, *reinterpret_cast<RunningDialog*>(lParam));
    RunningDialog* running = RunningOf(window);
    if (running == nullptr) return FALSE;
    switch (message) {
      case WM_PAINT:
        if (running->look.skinId == 0) break;
        return OnPaint(window, *running);
      case WM_COMMAND: return running->dialog.OnCommand(window, LOWORD(wParam), HIWORD(wParam));
      case WM_CLOSE: running->dialog.OnCloseBox(window); return TRUE;
      case WM_DESTROY: OnDestroy(window, *running); return FALSE;
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN: return SkinControlColour(message, wParam, running->look.colourButtons);
      default: break;
    }
    return running->dialog.OnMessage(window, message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}

// Only a dialog of this thread whose procedure is the shared one holds a RunningDialog.
RunningDialog* CheckedRunningOf(HWND window) {
  if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return nullptr;
  wchar_t name[8] = {};
  if (GetClassNameW(window, name, 8) != 6 || std::wstring_view(name) != L"#32770") return nullptr;
  if (GetWindowLongPtrW(window, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(&SkinnedDialogProc)) return nullptr;
  return RunningOf(window);
}

BOOL CALLBACK EndDialogUnlessKept(HWND window, LPARAM kept) {
  wchar_t name[8] = {};
  if (window != reinterpret_cast<HWND>(kept) && GetClassNameW(window, name, 8) == 6 &&
      std::wstring_view(name) == L"#32770") {
    EndDialog(window, IDCANCEL);
  }
  return TRUE;
}

}  // namespace

Skin& SharedSkin() {
  static Skin skin;
  return skin;
}

void CreateSharedSkin() {
  Skin& skin = SharedSkin();
  skin.background = CreateSolidBrush(kSkinBrushColour);
  skin.field = CreateSolidBrush(kSkinBrushColour);
  skin.button = CreateSolidBrush(kSkinBrushColour);
}

void ReleaseSharedSkin() {
  Skin& skin = SharedSkin();
  for (HBRUSH brush : {skin.background, skin.field, skin.button}) {
    if (brush) DeleteObject(brush);
  }
  if (skin.icon) DestroyIcon(skin.icon);
  skin = Skin{};
}

INT_PTR SkinControlColour(UINT message, WPARAM wParam, bool colourButtons) {
  const Skin& skin = SharedSkin();
  HDC dc = reinterpret_cast<HDC>(wParam);
  HBRUSH brush = nullptr;
  switch (message) {
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(skin.background);
    case WM_CTLCOLORSTATIC: brush = skin.background; break;
    case WM_CTLCOLOREDIT: brush = skin.field; break;
    case WM_CTLCOLORLISTBOX:
      if (!colourButtons) return FALSE;
      brush = skin.field;
      break;
    case WM_CTLCOLORBTN:
      if (!colourButtons) return FALSE;
      brush = skin.button;
      break;
    default: return FALSE;
  }
  SetTextColor(dc, kSkinTextColour);
  SetBkMode(dc, TRANSPARENT);
  // Controls that paint their text opaquely anyway (list box entries) get
  // the brush's colour behind it, not white.
  SetBkColor(dc, kSkinBrushColour);
  return reinterpret_cast<INT_PTR>(brush);
}

void FitToSkin(HWND dialog) {
  // The system's dialog base units for this dialog's font: 4 by 8 units.
  RECT base{0, 0, 4, 8};
  MapDialogRect(dialog, &base);
  if (base.right <= 0 || base.bottom <= 0) return;
  auto x = [&](LONG px) { return MulDiv(MulDiv(px, 4, base.right), kSkinUnitX, 4); };
  auto y = [&](LONG px) { return MulDiv(MulDiv(px, 8, base.bottom), kSkinUnitY, 8); };
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(child, x(r.left), y(r.top), x(r.right) - x(r.left), y(r.bottom) - y(r.top), FALSE);
  }
  RECT client;
  GetClientRect(dialog, &client);
  RECT frame{0, 0, x(client.right), y(client.bottom)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
  if (bitmap == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

SIZE DialogPixels(HWND dialog, int x, int y) {
  RECT r{0, 0, x, y};
  MapDialogRect(dialog, &r);
  return SIZE{r.right, r.bottom};
}

SIZE DialogFrameSize(HWND dialog, int x, int y) {
  const SIZE client = DialogPixels(dialog, x, y);
  RECT frame{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void PlaceControl(HDWP& moves, HWND dialog, int id, int x, int y, int w, int h) {
  HWND control = GetDlgItem(dialog, id);
  if (moves != nullptr && control != nullptr) {
    moves =
        DeferWindowPos(moves, control, nullptr, x, y, std::max(w, 0), std::max(h, 0), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void CenterOnScreen(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  int x = (GetSystemMetrics(SM_CXFULLSCREEN) - w) / 2;
  int y = (GetSystemMetrics(SM_CYFULLSCREEN) - h) / 2;
  if (x >= 1 && y >= 1) MoveWindow(window, x, y, w, h, FALSE);
}

INT_PTR RunSkinnedDialog(const SkinnedDialogLook& look, SkinnedDialog& dialog) {
  RunningDialog running{look, dialog};
  return DialogBoxParamW(look.instance, MAKEINTRESOURCEW(look.templateId), look.owner, SkinnedDialogProc,
                         reinterpret_cast<LPARAM>(&running));
}

SkinnedDialog* SkinnedDialogOf(HWND window) {
  RunningDialog* running = CheckedRunningOf(window);
  return running ? &running->dialog : nullptr;
}

HBITMAP SkinBitmapOf(HWND window) {
  RunningDialog* running = CheckedRunningOf(window);
  return running ? running->skin : nullptr;
}

void EndOtherDialogs(HWND keep) {
  EnumThreadWindows(GetCurrentThreadId(), EndDialogUnlessKept, reinterpret_cast<LPARAM>(keep));
}

}  // namespace rewindor::ui
