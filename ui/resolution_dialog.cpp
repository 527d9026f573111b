#include "ui/resolution_dialog.h"

#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "res/resource.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// Each open dialog has its own skin: the main window can open a second one
// while the first is still on screen.
struct DialogState {
  ProgramState& program;
  HWND main;  // the main window that opened the dialog
  HBITMAP skin = nullptr;

  // The main window, while it is still our own.
  HWND MainWindow() const { return IsOwnMainWindow(main) ? main : nullptr; }
};

// Null until the dialog has initialised.
DialogState* StateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

// The demo's recorded size, when the demo can be read and records one.
std::optional<Resolution> RecordedResolution(const std::string& path) {
  std::unique_ptr<DemoFile> file = NativeFileSystem().OpenForReading(path);
  Bytes image;
  if (!file || ReadWhole(*file, image) != ReadOutcome::kOk) return std::nullopt;
  return DetectResolution(image);
}

// The edit commands' view of the main window, for the conversion.
class ConversionHost final : public PatchWindow {
 public:
  explicit ConversionHost(HWND mainWindow) : main_(mainWindow) {}
  std::string DemoPath() override { return main_ ? ControlText(main_, IDC_DEMO_PATH, 259) : std::string(); }
  bool ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon,
                   MessageButtons buttons) override {
    return ui::ShowMessage(caption, text, icon, buttons);
  }
  void ReportError(std::string_view text, const SystemError& why) override { ui::ReportError(text, why); }

 private:
  HWND main_;
};

INT_PTR OnInitDialog(HWND dialog, DialogState& state) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  state.skin = StartSkinnedDialog(dialog, state.program.instance, IDB_DIALOG_SKIN);

  // The current size is the one the demo records. It stays read-only when
  // found; otherwise the user may type it.
  HWND main = state.MainWindow();
  std::optional<Resolution> size;
  if (main) size = RecordedResolution(ControlText(main, IDC_DEMO_PATH, 259));
  if (size) {
    SetDlgItemInt(dialog, IDC_CURRENT_WIDTH, size->width, FALSE);
    SetDlgItemInt(dialog, IDC_CURRENT_HEIGHT, size->height, FALSE);
  } else {
    EnableWindow(GetDlgItem(dialog, IDC_CURRENT_WIDTH), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_CURRENT_HEIGHT), TRUE);
  }
  return TRUE;  // the focus goes to OK
}

INT_PTR OnConvert(HWND dialog, const DialogState& state) {
  auto number = [dialog](int id) { return static_cast<std::uint32_t>(GetDlgItemInt(dialog, id, nullptr, FALSE)); };
  std::uint32_t currentWidth = number(IDC_CURRENT_WIDTH), currentHeight = number(IDC_CURRENT_HEIGHT);
  std::uint32_t newWidth = number(IDC_NEW_WIDTH), newHeight = number(IDC_NEW_HEIGHT);
  HWND main = state.MainWindow();
  ConversionHost host(main);
  ConvertResolution(host, NativeFileSystem(), currentWidth, currentHeight, newWidth, newHeight);
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  // Whatever the conversion did, the main window shows the demo as it now is.
  ReloadDemo(main);
  return TRUE;
}

INT_PTR CALLBACK ResolutionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG) return OnInitDialog(dialog, *reinterpret_cast<DialogState*>(lParam));
    DialogState* state = StateOf(dialog);
    if (state == nullptr) return FALSE;
    switch (message) {
      case WM_PAINT: return PaintSkin(dialog, state->skin);
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDOK: return OnConvert(dialog, *state);
          case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
          default: return TRUE;
        }
      case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
      case WM_DESTROY: ReleaseSkin(state->skin); return FALSE;
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
        return SkinControlColour(message, wParam, false);
      default: return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

INT_PTR RunResolutionDialog(HWND mainWindow, ProgramState& program) {
  DialogState state{program, mainWindow};
  return DialogBoxParamW(program.instance, MAKEINTRESOURCEW(IDD_RESOLUTION), nullptr, ResolutionDialogProc,
                         reinterpret_cast<LPARAM>(&state));
}

}  // namespace rewindor::ui
