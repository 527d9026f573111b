#include "ui/details_dialog.h"

#include <optional>

#include "demo/read_info.h"
#include "res/resource.h"
#include "ui/demo_details.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// Each open view has its own state and skin, like the resolution dialog.
struct DetailsState {
  ProgramState& program;
  const std::string& path;
  const std::function<void()>& repair;
  DemoDetails details;
  HBITMAP skin = nullptr;
};

// None before WM_INITDIALOG (a dialog whose creation failed is destroyed without it).
DetailsState* StateOf(HWND dialog) {
  return reinterpret_cast<DetailsState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

std::optional<DemoDetails> ReadDetails(const std::string& path) {
  Bytes image;
  if (!ReadDemoImage(NativeFileSystem(), path, image, ui::ReportError)) return std::nullopt;
  return ReadDemoDetails(image);
}

std::wstring DetailsText(const DemoDetails& details) {
  std::wstring text;
  for (const DetailsLine& line : DescribeDemo(details)) {
    if (!text.empty()) text += L"\r\n";
    text += Wide(line.text) + DemoTextToWide(line.demoText);
  }
  return text;
}

void ShowDetails(HWND dialog, const DemoDetails& details) {
  SetDlgItemTextW(dialog, IDC_DETAILS_TEXT, DetailsText(details).c_str());
  // Only a demo the game never finished writing can be repaired.
  EnableWindow(GetDlgItem(dialog, IDC_DETAILS_REPAIR), details.facts.finished ? FALSE : TRUE);
}

INT_PTR OnInitDialog(HWND dialog, DetailsState& state) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  state.skin = StartSkinnedDialog(dialog, state.program.instance, IDB_DETAILS_SKIN);
  ShowDetails(dialog, state.details);
  return TRUE;  // the focus goes to "Закрыть"
}

INT_PTR OnRepair(HWND dialog, DetailsState& state) {
  // One repair at a time: its boxes have no owner, so the view stays usable meanwhile.
  EnableWindow(GetDlgItem(dialog, IDC_DETAILS_REPAIR), FALSE);
  state.repair();
  // The demo as it now is; when it cannot be read, the view keeps what it showed.
  if (std::optional<DemoDetails> now = ReadDetails(state.path)) state.details = std::move(*now);
  ShowDetails(dialog, state.details);
  return TRUE;
}

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG) return OnInitDialog(dialog, *reinterpret_cast<DetailsState*>(lParam));
    DetailsState* state = StateOf(dialog);
    if (state == nullptr) return FALSE;
    switch (message) {
      case WM_PAINT: return PaintSkin(dialog, state->skin);
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
          case IDC_DETAILS_REPAIR: return OnRepair(dialog, *state);
          default: return TRUE;
        }
      case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
      case WM_DESTROY: ReleaseSkin(state->skin); return FALSE;
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:  // the read-only text asks for this one
      case WM_CTLCOLOREDIT:
        return SkinControlColour(message, wParam, false);
      default: return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

void RunDetailsDialog(ProgramState& program, const std::string& path, const std::function<void()>& repair) {
  std::optional<DemoDetails> details = ReadDetails(path);
  if (!details) return;
  DetailsState state{program, path, repair, std::move(*details)};
  DialogBoxParamW(program.instance, MAKEINTRESOURCEW(IDD_DETAILS), nullptr, DetailsDialogProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace rewindor::ui
