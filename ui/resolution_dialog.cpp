#include "ui/resolution_dialog.h"

#include <optional>

#include "demo/resolution.h"
#include "res/resource.h"
#include "ui/edit_commands.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// The demo's recorded size, when the demo can be read and records one.
std::optional<Resolution> RecordedResolution(const std::string& path) {
  std::unique_ptr<DemoFile> file = NativeFileSystem().OpenForReading(path);
  Bytes image;
  if (!file || ReadWhole(*file, image) != ReadOutcome::kOk) return std::nullopt;
  return DetectResolution(image);
}

// Each open dialog is its own object: the main window can open a second one
// while the first is still on screen.
class ResolutionDialog final : public SkinnedDialog {
 public:
  explicit ResolutionDialog(const ResolutionRequest& request) : request_(request) {}

  INT_PTR OnInit(HWND dialog) override {
    // The current size is the one the demo records. It stays read-only when
    // found; otherwise the user may type it.
    const std::string path = request_.demoPath();
    std::optional<Resolution> size;
    if (!path.empty()) size = RecordedResolution(path);
    if (size) {
      SetDlgItemInt(dialog, IDC_CURRENT_WIDTH, size->width, FALSE);
      SetDlgItemInt(dialog, IDC_CURRENT_HEIGHT, size->height, FALSE);
    } else {
      EnableWindow(GetDlgItem(dialog, IDC_CURRENT_WIDTH), TRUE);
      EnableWindow(GetDlgItem(dialog, IDC_CURRENT_HEIGHT), TRUE);
    }
    return TRUE;  // the focus goes to OK
  }

  INT_PTR OnCommand(HWND dialog, int id, int) override {
    switch (id) {
      case IDOK: return OnConvert(dialog);
      case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      default: return TRUE;
    }
  }

 private:
  INT_PTR OnConvert(HWND dialog) {
    auto number = [dialog](int id) { return static_cast<std::uint32_t>(GetDlgItemInt(dialog, id, nullptr, FALSE)); };
    std::uint32_t currentWidth = number(IDC_CURRENT_WIDTH), currentHeight = number(IDC_CURRENT_HEIGHT);
    std::uint32_t newWidth = number(IDC_NEW_WIDTH), newHeight = number(IDC_NEW_HEIGHT);
    ConvertResolution(NativeMessageBoxes(), NativeFileSystem(), request_.demoPath(), currentWidth, currentHeight,
                      newWidth, newHeight);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    // Whatever the conversion did, the main window shows the demo as it now is.
    request_.reload();
    return TRUE;
  }

  const ResolutionRequest& request_;
};

}  // namespace

INT_PTR RunResolutionDialog(const ResolutionRequest& request) {
  ResolutionDialog dialog(request);
  return RunSkinnedDialog({request.instance, IDD_RESOLUTION, IDB_DIALOG_SKIN}, dialog);
}

}  // namespace rewindor::ui
