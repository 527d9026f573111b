#include "ui/details_dialog.h"

#include <optional>

#include "demo/details.h"
#include "demo/read_info.h"
#include "res/resource.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/texts.h"
#include "ui/timeline_dialog.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// The demo read whole, as the edits read it; a failure is reported as the
// information reader reports it.
std::optional<DemoDetails> ReadDetails(const std::string& path) {
  ImageBuffer buffer;
  DemoReport report = ReadDemoReport(NativeFileSystem(), path, {.facts = true, .buffer = &buffer});
  if (report.error) {
    ReportError(report.error->text, report.error->why);
    return std::nullopt;
  }
  DemoDetails details{std::move(report.facts), report.inspection.hltv};
  details.beingWritten = !details.facts.finished && NativeFileSystem().BeingWritten(path);
  return details;
}

std::wstring DetailsText(const DemoDetails& details) {
  std::wstring text;
  for (const DetailsLine& line : DescribeDemo(details, text::kDetailsWording)) {
    if (!text.empty()) text += L"\r\n";
    text += Wide(line.text) + DemoTextToWide(line.demoText);
  }
  return text;
}

// Each open view is its own object, like the resolution dialog.
class DetailsDialog final : public SkinnedDialog {
 public:
  DetailsDialog(HINSTANCE instance, const std::string& path, const std::function<void()>& repair, DemoDetails details)
      : instance_(instance), path_(path), repair_(repair), details_(std::move(details)) {}

  INT_PTR OnInit(HWND dialog) override {
    Show(dialog);
    return TRUE;  // the focus goes to "Закрыть"
  }

  INT_PTR OnCommand(HWND dialog, int id, int) override {
    switch (id) {
      case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      case IDC_DETAILS_REPAIR: return OnRepair(dialog);
      case IDC_DETAILS_TIMELINE: RunTimelineDialog(instance_, path_); return TRUE;
      default: return TRUE;
    }
  }

 private:
  void Show(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_DETAILS_TEXT, DetailsText(details_).c_str());
    // Only a demo the game never finished writing, and no longer writes, can be repaired.
    const bool repairable = details_.facts.demo && !details_.facts.finished && !details_.beingWritten;
    EnableWindow(GetDlgItem(dialog, IDC_DETAILS_REPAIR), repairable ? TRUE : FALSE);
  }

  INT_PTR OnRepair(HWND dialog) {
    // One repair at a time: its boxes have no owner, so the view stays usable meanwhile.
    EnableWindow(GetDlgItem(dialog, IDC_DETAILS_REPAIR), FALSE);
    repair_();
    // The demo as it now is; when it cannot be read, the view keeps what it showed.
    if (std::optional<DemoDetails> now = ReadDetails(path_)) details_ = std::move(*now);
    Show(dialog);
    return TRUE;
  }

  HINSTANCE instance_;
  const std::string& path_;
  const std::function<void()>& repair_;
  DemoDetails details_;
};

}  // namespace

void RunDetailsDialog(HINSTANCE instance, const std::string& path, const std::function<void()>& repair) {
  std::optional<DemoDetails> details = ReadDetails(path);
  if (!details) return;
  DetailsDialog dialog(instance, path, repair, std::move(*details));
  RunSkinnedDialog({instance, IDD_DETAILS, IDB_DETAILS_SKIN}, dialog);
}

}  // namespace rewindor::ui
