#include "ui/timeline_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "demo/events.h"
#include "demo/read_info.h"
#include "res/resource.h"
#include "ui/skin.h"
#include "ui/timeline.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// Posted by the reading thread: the timeline is there to be taken.
constexpr UINT kTimelineRead = WM_APP + 1;
constexpr std::size_t kMaxFilterChars = 259;
// The smallest size the dialog can be given, and the columns' widths, in dialog units.
constexpr int kMinWidthUnits = 240, kMinHeightUnits = 140;
constexpr std::array<int, 3> kColumnWidths = {34, 34, 290};
constexpr std::array<const char*, 3> kColumnTitles = {text::kTimelineColumnTime, text::kTimelineColumnRound,
                                                      text::kTimelineColumnEvent};

// The summary at the top, the filter and its count below it, the list filling the rest.
void Layout(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  const SIZE margin = DialogPixels(dialog, 7, 7), gap = DialogPixels(dialog, 4, 4),
             summary = DialogPixels(dialog, 8, 18);
  const SIZE label = DialogPixels(dialog, 28, 8), field = DialogPixels(dialog, 180, 12);
  const int w = client.right, h = client.bottom;
  const int filterTop = margin.cy + summary.cy + gap.cy;
  const int listTop = filterTop + field.cy + gap.cy;
  const int statusLeft = margin.cx + label.cx + field.cx + 3 * gap.cx;
  HDWP moves = BeginDeferWindowPos(5);
  PlaceControl(moves, dialog, IDC_TIMELINE_SUMMARY, margin.cx, margin.cy, w - 2 * margin.cx, summary.cy);
  PlaceControl(moves, dialog, IDC_TIMELINE_FIND_LABEL, margin.cx, filterTop + (field.cy - label.cy) / 2, label.cx,
               label.cy);
  PlaceControl(moves, dialog, IDC_TIMELINE_FILTER, margin.cx + label.cx + gap.cx, filterTop, field.cx, field.cy);
  PlaceControl(moves, dialog, IDC_TIMELINE_STATUS, statusLeft, filterTop + (field.cy - label.cy) / 2,
               w - margin.cx - statusLeft, label.cy);
  PlaceControl(moves, dialog, IDC_TIMELINE_LIST, margin.cx, listTop, w - 2 * margin.cx, h - margin.cy - listTop);
  if (moves != nullptr) EndDeferWindowPos(moves);
  // What happened takes the width the list has beyond the time and the round.
  SendDlgItemMessageW(dialog, IDC_TIMELINE_LIST, LVM_SETCOLUMNWIDTH, 2, LVSCW_AUTOSIZE_USEHEADER);
}

void PrepareList(HWND dialog, HWND list) {
  const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  // The skin's colours, as the library's rows.
  SendMessageW(list, LVM_SETBKCOLOR, 0, kSkinBrushColour);
  SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, kSkinBrushColour);
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, kSkinTextColour);
  for (std::size_t c = 0; c < kColumnTitles.size(); ++c) {
    RECT width{0, 0, kColumnWidths[c], 8};
    MapDialogRect(dialog, &width);
    std::wstring title = Wide(kColumnTitles[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = c < 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width.right;
    column.pszText = title.data();
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
}

// Reads the demo and builds its timeline; a demo that cannot be read is one row with the reason.
Timeline ReadTimeline(const std::string& path) {
  const DemoReport report = ReadDemoReport(NativeFileSystem(), path, {.events = true});
  if (report.error) return UnreadableTimeline(report.error->Words());
  return BuildTimeline(report.events, DemoTextAsShown);
}

// One reading on a thread of its own; the timeline waits in here until the dialog takes it.
class TimelineReading {
 public:
  TimelineReading(HWND dialog, std::string path)
      : thread_([this, dialog, path = std::move(path)] {
          Timeline timeline = ReadTimeline(path);
          {
            std::lock_guard<std::mutex> hold(lock_);
            timeline_ = std::move(timeline);
          }
          PostMessageW(dialog, kTimelineRead, 0, 0);
        }) {}
  // The reading is bounded by the demo's size: it is waited for.
  ~TimelineReading() {
    if (thread_.joinable()) thread_.join();
  }
  TimelineReading(const TimelineReading&) = delete;
  TimelineReading& operator=(const TimelineReading&) = delete;

  std::optional<Timeline> Take() {
    std::lock_guard<std::mutex> hold(lock_);
    std::optional<Timeline> taken = std::move(timeline_);
    timeline_.reset();
    return taken;
  }

 private:
  std::mutex lock_;
  std::optional<Timeline> timeline_;
  std::thread thread_;  // last: it starts once the rest is there
};

class TimelineDialog final : public SkinnedDialog {
 public:
  explicit TimelineDialog(const std::string& path) : path_(path) {}

  INT_PTR OnInit(HWND dialog) override {
    dialog_ = dialog;
    list_ = GetDlgItem(dialog, IDC_TIMELINE_LIST);
    SetWindowTextW(dialog, Wide(std::string(text::kTimelineCaption) + " — " + FileNameOf(path_)).c_str());
    SetControlText(dialog, IDC_TIMELINE_FIND_LABEL, text::kTimelineFind);
    SetControlText(dialog, IDC_TIMELINE_STATUS, text::kTimelineReading);
    SendDlgItemMessageW(dialog, IDC_TIMELINE_FILTER, EM_LIMITTEXT, kMaxFilterChars, 0);
    PrepareList(dialog, list_);
    minimum_ = DialogFrameSize(dialog, kMinWidthUnits, kMinHeightUnits);
    Layout(dialog);
    reading_ = std::make_unique<TimelineReading>(dialog, path_);
    return TRUE;  // the focus goes to the filter
  }

  INT_PTR OnCommand(HWND dialog, int id, int code) override {
    switch (id) {
      case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      case IDC_TIMELINE_FILTER: return code == EN_CHANGE ? OnFilter(dialog) : TRUE;
      default: return TRUE;
    }
  }

  INT_PTR OnMessage(HWND dialog, UINT message, WPARAM, LPARAM lParam) override {
    switch (message) {
      case kTimelineRead: return OnRead(dialog);
      case WM_NOTIFY: return lParam != 0 ? OnNotify(*reinterpret_cast<NMHDR*>(lParam)) : FALSE;
      case WM_SIZE: Layout(dialog); return TRUE;
      case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimum_.cx, minimum_.cy};
        return TRUE;
      default: return FALSE;
    }
  }

  void OnDestroy(HWND) override { reading_.reset(); }

 private:
  static std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }

  INT_PTR OnRead(HWND dialog) {
    std::optional<Timeline> timeline = reading_ ? reading_->Take() : std::nullopt;
    if (!timeline) return TRUE;
    timeline_ = std::move(*timeline);
    filter_ = std::make_unique<TimelineFilter>(timeline_.rows);
    SetControlText(dialog, IDC_TIMELINE_SUMMARY, timeline_.summary);
    return OnFilter(dialog);
  }

  INT_PTR OnFilter(HWND dialog) {
    if (!filter_) return TRUE;  // still reading: the text is applied when the rows come
    filter_->Set(ControlText(dialog, IDC_TIMELINE_FILTER, kMaxFilterChars));
    SendMessageW(list_, LVM_SETITEMCOUNT, filter_->ShownCount(), 0);
    InvalidateRect(list_, nullptr, TRUE);
    SetControlText(dialog, IDC_TIMELINE_STATUS, filter_->StatusText());
    return TRUE;
  }

  INT_PTR OnNotify(NMHDR& header) {
    if (header.hwndFrom != list_ || header.code != LVN_GETDISPINFOW || !filter_) return FALSE;
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0 || item.iItem < 0 ||
        static_cast<std::size_t>(item.iItem) >= filter_->ShownCount()) {
      return TRUE;
    }
    const TimelineRow& row = filter_->Shown(static_cast<std::size_t>(item.iItem));
    const std::string& cell = item.iSubItem == 0 ? row.time : item.iSubItem == 1 ? row.round : row.text;
    const std::wstring wide = Wide(cell);
    const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
    const std::size_t n = std::min(wide.size(), room);
    std::copy_n(wide.begin(), n, item.pszText);
    item.pszText[n] = L'\0';
    return TRUE;
  }

  const std::string path_;
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  SIZE minimum_{};
  Timeline timeline_;
  std::unique_ptr<TimelineFilter> filter_;    // over timeline_'s rows
  std::unique_ptr<TimelineReading> reading_;  // waited for before the dialog goes
};

}  // namespace

void RunTimelineDialog(HINSTANCE instance, const std::string& path) {
  TimelineDialog dialog(path);
  RunSkinnedDialog({instance, IDD_TIMELINE, 0}, dialog);
}

}  // namespace rewindor::ui
