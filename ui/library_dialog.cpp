#include "ui/library_dialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include "demo/image_buffer.h"
#include "demo/messages.h"
#include "demo/folders.h"
#include "demo/patch_run.h"
#include "demo/registry.h"
#include "library/inbox.h"
#include "library/model.h"
#include "library/reader.h"
#include "library/repair_batch.h"
#include "res/resource.h"
#include "settings/library_layout.h"
#include "ui/demo_menu.h"
#include "ui/details_dialog.h"
#include "ui/edit_commands.h"
#include "ui/library_view.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/texts.h"
#include "ui/timeline_dialog.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// Posted by the reader's inbox: rows are waiting to be taken.
constexpr UINT kRowsArrived = WM_APP + 1;
// Posted by "Папка...": its menu opens once the button's click is over (a
// menu opened inside the click closes at once under some systems).
constexpr UINT kShowFolderMenu = WM_APP + 2;
// Rows are taken at most this often (milliseconds): between two takings the
// reader reads on, and the list is painted anew a few times a second rather
// than for every row.
constexpr UINT kTakeEvery = 100;
constexpr UINT_PTR kTakeTimer = 1;
// The filter holds at most this many characters.
constexpr std::size_t kMaxFilterChars = 259;
// The smallest size the dialog can be given, in dialog units.
constexpr int kMinWidthUnits = 340, kMinHeightUnits = 160;

// The filter and the subfolders box at the top, the list filling the middle,
// the status line and the batch repair at the bottom.
void Layout(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  const SIZE margin = DialogPixels(dialog, 7, 7), gap = DialogPixels(dialog, 4, 4);
  const SIZE label = DialogPixels(dialog, 28, 8), field = DialogPixels(dialog, 180, 12),
             box = DialogPixels(dialog, 100, 10);
  const SIZE button = DialogPixels(dialog, 100, 14), status = DialogPixels(dialog, 8, 8);
  const int w = client.right, h = client.bottom;
  const int listTop = margin.cy + field.cy + gap.cy;
  const int buttonTop = h - margin.cy - button.cy;
  const SIZE folderButton = DialogPixels(dialog, 50, 14);
  HDWP moves = BeginDeferWindowPos(7);
  PlaceControl(moves, dialog, IDC_LIBRARY_FIND_LABEL, margin.cx, margin.cy + (field.cy - label.cy) / 2, label.cx,
               label.cy);
  PlaceControl(moves, dialog, IDC_LIBRARY_FILTER, margin.cx + label.cx + gap.cx, margin.cy, field.cx, field.cy);
  PlaceControl(moves, dialog, IDC_LIBRARY_SUBFOLDERS, margin.cx + label.cx + field.cx + 3 * gap.cx,
               margin.cy + (field.cy - box.cy) / 2, box.cx, box.cy);
  PlaceControl(moves, dialog, IDC_LIBRARY_FOLDER, w - margin.cx - folderButton.cx,
               margin.cy + (field.cy - folderButton.cy) / 2, folderButton.cx, folderButton.cy);
  PlaceControl(moves, dialog, IDC_LIBRARY_LIST, margin.cx, listTop, w - 2 * margin.cx, buttonTop - gap.cy - listTop);
  PlaceControl(moves, dialog, IDC_LIBRARY_STATUS, margin.cx, buttonTop + (button.cy - status.cy) / 2,
               w - 2 * margin.cx - button.cx - gap.cx, status.cy);
  PlaceControl(moves, dialog, IDC_LIBRARY_REPAIR, w - margin.cx - button.cx, buttonTop, button.cx, button.cy);
  if (moves != nullptr) EndDeferWindowPos(moves);
}

// --- Where the dialog was ----------------------------------------------------------

LayoutRect ToLayout(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

bool OnSomeScreen(LONG x, LONG y) { return MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL) != nullptr; }

// A rectangle kept from before goes back where it was when every corner is on
// a screen; otherwise (a screen unplugged, another resolution) it is moved
// wholly onto the screen nearest to it.
void PlaceOnScreen(HWND dialog, LayoutRect kept) {
  RECT r{kept.left, kept.top, kept.right, kept.bottom};
  if (!OnSomeScreen(r.left, r.top) || !OnSomeScreen(r.right - 1, r.top) || !OnSomeScreen(r.left, r.bottom - 1) ||
      !OnSomeScreen(r.right - 1, r.bottom - 1)) {
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &screen)) return;
    kept = MoveInto(kept, ToLayout(screen.rcWork));
  }
  SetWindowPos(dialog, nullptr, kept.left, kept.top, kept.right - kept.left, kept.bottom - kept.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The dialog's rectangle in screen pixels; for a maximised or minimised one,
// the rectangle it has when restored.
std::optional<LayoutRect> NormalRect(HWND dialog) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(dialog, &placement)) return std::nullopt;
  RECT r;
  if (placement.showCmd == SW_SHOWNORMAL && GetWindowRect(dialog, &r)) return ToLayout(r);
  // The restored rectangle is kept in workspace coordinates: from the corner
  // of the main screen's work area.
  r = placement.rcNormalPosition;
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  if (GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &screen)) {
    OffsetRect(&r, screen.rcWork.left - screen.rcMonitor.left, screen.rcWork.top - screen.rcMonitor.top);
  }
  return ToLayout(r);
}

// The cursor shows the wait while a long step runs on the dialog's thread.
class WaitCursor {
 public:
  WaitCursor() : before_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(before_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR before_;
};

class LibraryDialog;
// The library open now: a second opening brings it to the front.
LibraryDialog* openLibrary = nullptr;

// The folders the library listed last, the latest first, for its folder menu.
constexpr std::size_t kRecentFolders = 8;
std::vector<std::string> recentFolders;

void RememberFolder(const std::string& folder) {
  std::erase(recentFolders, folder);
  recentFolders.insert(recentFolders.begin(), folder);
  if (recentFolders.size() > kRecentFolders) recentFolders.resize(kRecentFolders);
}

// The folder picker opens on the folder its data names.
int CALLBACK StartPickerAt(HWND picker, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// The system's folder picker, opened on `start`; none when cancelled.
std::optional<std::string> ChooseFolder(HWND owner, const std::string& start) {
  const std::wstring title = Wide(text::kLibraryChooseFolderTitle);
  const std::wstring first = Wide(start);
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  browse.lpfn = StartPickerAt;
  browse.lParam = reinterpret_cast<LPARAM>(first.c_str());
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  std::optional<std::string> folder;
  if (chosen != nullptr) {
    std::array<wchar_t, MAX_PATH> path{};
    if (SHGetPathFromIDListW(chosen, path.data())) folder = Narrow(path.data());
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  // A drive's root comes with its backslash; the library takes folders without one.
  if (folder && folder->ends_with('\\')) folder->pop_back();
  return folder;
}

class LibraryDialog final : public SkinnedDialog {
 public:
  explicit LibraryDialog(const LibraryRequest& request)
      : request_(request), folder_(request.folder), model_(DemoTextAsShown) {
    model_.SetDateText(ShortDateText);
  }

  INT_PTR OnInit(HWND dialog) override {
    dialog_ = dialog;
    list_ = GetDlgItem(dialog, IDC_LIBRARY_LIST);
    openLibrary = this;
    SetTexts(dialog);
    PrepareLibraryList(dialog, list_);
    SendDlgItemMessageW(dialog, IDC_LIBRARY_FILTER, EM_LIMITTEXT, kMaxFilterChars, 0);
    minimum_ = DialogFrameSize(dialog, kMinWidthUnits, kMinHeightUnits);
    RestoreLayout(dialog);
    Layout(dialog);
    ShowSortArrow(list_, model_.sortColumn(), model_.descending());
    StartReading();
    return TRUE;  // the focus goes to the filter: type to find
  }

  INT_PTR OnCommand(HWND dialog, int id, int code) override {
    switch (id) {
      case IDOK: return OnEnter(dialog);
      case IDCANCEL: return OnClose(dialog);
      case IDC_LIBRARY_FILTER: return code == EN_CHANGE ? OnFilter(dialog) : TRUE;
      case IDC_LIBRARY_SUBFOLDERS: return code == BN_CLICKED ? OnSubfolders() : TRUE;
      case IDC_LIBRARY_REPAIR: return OnRepairUnfinished();
      case IDC_LIBRARY_FOLDER:
        if (code == BN_CLICKED) PostMessageW(dialog, kShowFolderMenu, 0, 0);
        return TRUE;
      default: return TRUE;
    }
  }

  INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case kRowsArrived: return OnRowsArrived(dialog);
      case kShowFolderMenu: return OnFolderButton();
      case WM_TIMER: return wParam == kTakeTimer ? OnTakeTimer(dialog) : FALSE;
      case WM_NOTIFY: return lParam != 0 ? OnNotify(*reinterpret_cast<NMHDR*>(lParam)) : FALSE;
      case WM_CONTEXTMENU: return OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
      case WM_SIZE: Layout(dialog); return TRUE;
      case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimum_.cx, minimum_.cy};
        return TRUE;
      default: return FALSE;
    }
  }

  void OnDestroy(HWND dialog) override {
    StopReading();
    SaveLayout(dialog);
    openLibrary = nullptr;
  }

  // A second opening: to the front, on the folder the main window shows now.
  void ComeForward(const std::string& folder) {
    if (IsIconic(dialog_)) ShowWindow(dialog_, SW_RESTORE);
    SetForegroundWindow(dialog_);
    if (folder == folder_) return;
    folder_ = folder;
    StartReading();
  }

 private:
  void SetTexts(HWND dialog) {
    SetWindowTextW(dialog, Wide(text::kLibraryCaption).c_str());
    SetControlText(dialog, IDC_LIBRARY_FIND_LABEL, text::kLibraryFind);
    SetControlText(dialog, IDC_LIBRARY_SUBFOLDERS, text::kLibrarySubfolders);
    SetControlText(dialog, IDC_LIBRARY_REPAIR, text::kLibraryRepairUnfinished);
    SetControlText(dialog, IDC_LIBRARY_FOLDER, text::kLibraryFolderButton);
  }

  // --- The folder ------------------------------------------------------------------

  // The title names the folder listed.
  void ShowFolder() {
    const std::string caption = std::string(text::kLibraryCaption) + text::kLibraryCaptionFolder + folder_;
    SetWindowTextW(dialog_, Wide(caption).c_str());
  }

  // "Папка...": a menu of "Выбрать папку..." and the recent folders below the button.
  INT_PTR OnFolderButton() {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return TRUE;
    constexpr UINT kChoose = 1, kFirstRecent = 2;
    AppendMenuW(menu, MF_STRING, kChoose, Wide(text::kLibraryChooseFolder).c_str());
    const std::vector<std::string> recent = recentFolders;
    if (!recent.empty()) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (std::size_t i = 0; i < recent.size(); ++i) {
      AppendMenuW(menu, MF_STRING | (recent[i] == folder_ ? MF_CHECKED : 0U), kFirstRecent + i,
                  Wide(recent[i]).c_str());
    }
    RECT button{};
    GetWindowRect(GetDlgItem(dialog_, IDC_LIBRARY_FOLDER), &button);
    SetForegroundWindow(dialog_);  // else the menu may close at once
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY,
                                         button.right, button.bottom, 0, dialog_, nullptr));
    DestroyMenu(menu);
    std::optional<std::string> folder;
    if (chosen == kChoose) folder = ChooseFolder(dialog_, folder_);
    if (chosen >= kFirstRecent && chosen - kFirstRecent < recent.size()) folder = recent[chosen - kFirstRecent];
    if (folder && *folder != folder_) {
      folder_ = *folder;
      StartReading();
    }
    return TRUE;
  }

  // --- Reading ---------------------------------------------------------------------

  // A new reading of the folder: the old reader is stopped first, then a new
  // inbox and a new reader. The filter and the sort stay.
  void StartReading() {
    StopReading();
    // The old reading's notice may still be waiting; the new one posts its own.
    KillTimer(dialog_, kTakeTimer);
    pending_ = false;
    inbox_ = std::make_unique<LibraryInbox>([this] {
      // At most one message waits in the queue; the rows pile up in the inbox meanwhile.
      if (!pending_.exchange(true) && !PostMessageW(dialog_, kRowsArrived, 0, 0)) pending_ = false;
    });
    model_.Restart(0);
    ShowRows(std::nullopt, false, true);
    ShowFolder();
    RememberFolder(folder_);
    fitted_ = false;
    const bool subfolders = IsDlgButtonChecked(dialog_, IDC_LIBRARY_SUBFOLDERS) == BST_CHECKED;
    ShowFolderColumn(dialog_, list_, subfolders);
    reader_ = std::make_unique<LibraryReader>(NativeFileSystem(), NativeFolders(), folder_, subfolders, *inbox_);
  }

  // Once it returns the inbox hears nothing more; it waits only for the demo being read.
  void StopReading() {
    if (reader_) reader_->Stop();
    reader_.reset();
  }

  INT_PTR OnRowsArrived(HWND dialog) {
    const DWORD now = GetTickCount();
    const DWORD since = now - lastTaken_;
    if (since >= kTakeEvery) return TakeRows(now);
    // Taken when the time is up; `pending_` stays set, so nothing more is posted meanwhile.
    SetTimer(dialog, kTakeTimer, kTakeEvery - since, nullptr);
    return TRUE;
  }

  INT_PTR OnTakeTimer(HWND dialog) {
    KillTimer(dialog, kTakeTimer);
    return TakeRows(GetTickCount());
  }

  INT_PTR TakeRows(DWORD now) {
    lastTaken_ = now;
    pending_ = false;
    const std::optional<std::string> selected = SelectedPath();
    const std::vector<std::string> inView = PathsInView();
    // The rows read in the meantime mostly land out of view: the rows in view
    // are painted again only when they show other demos now.
    if (inbox_ && inbox_->Drain(model_)) ShowRows(selected, false, PathsInView() != inView);
    // Once every demo is read, the names show whole.
    if (!fitted_ && !model_.reading()) {
      fitted_ = true;
      FitFileColumn(dialog_, list_, model_);
    }
    return TRUE;
  }

  // --- The table -------------------------------------------------------------------

  std::optional<std::string> SelectedPath() const {
    std::optional<std::size_t> row = SelectedLibraryRow(list_);
    if (!row || *row >= model_.ShownCount()) return std::nullopt;
    return model_.Shown(*row).file.path;
  }

  std::vector<std::string> PathsInView() const {
    const auto [top, room] = LibraryRowsInView(list_);
    std::vector<std::string> paths;
    for (std::size_t row = top; row < top + room && row < model_.ShownCount(); ++row) {
      paths.push_back(model_.Shown(row).file.path);
    }
    return paths;
  }

  // The list and the status line as the model has them now, the demo that was
  // selected still selected wherever it went.
  void ShowRows(const std::optional<std::string>& selected, bool reveal, bool repaint = true) {
    std::optional<std::size_t> row;
    if (selected) row = model_.ShownIndexOf(*selected);
    ShowLibraryRows(list_, model_.ShownCount(), row, reveal, repaint);
    std::string status = model_.StatusText();
    if (status != status_) {
      status_ = std::move(status);
      SetControlText(dialog_, IDC_LIBRARY_STATUS, status_);
    }
  }

  INT_PTR OnFilter(HWND dialog) {
    const std::optional<std::string> selected = SelectedPath();
    model_.SetFilter(ControlText(dialog, IDC_LIBRARY_FILTER, kMaxFilterChars));
    ShowRows(selected, true);
    return TRUE;
  }

  INT_PTR OnSubfolders() {
    StartReading();
    return TRUE;
  }

  INT_PTR OnNotify(NMHDR& header) {
    if (header.hwndFrom != list_) return FALSE;  // only our own list's notices are read
    switch (header.code) {
      case LVN_GETDISPINFOW: FillLibraryCell(model_, reinterpret_cast<NMLVDISPINFOW&>(header)); return TRUE;
      case LVN_COLUMNCLICK: {
        const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
        if (column >= 0 && static_cast<std::size_t>(column) < kLibraryColumnCount) {
          SortBy(static_cast<LibraryColumn>(column));
        }
        return TRUE;
      }
      case LVN_GETINFOTIPW: return OnInfoTip(reinterpret_cast<NMLVGETINFOTIPW&>(header));
      case NM_DBLCLK: {
        const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
        if (row >= 0) Open(static_cast<std::size_t>(row));
        return TRUE;
      }
      default: return FALSE;
    }
  }

  // The tip of a row the filter found by a player: which player it was.
  INT_PTR OnInfoTip(NMLVGETINFOTIPW& tip) {
    if (tip.pszText == nullptr || tip.cchTextMax <= 0 || tip.iItem < 0) return TRUE;
    const std::optional<std::string> player = model_.MatchedPlayer(static_cast<std::size_t>(tip.iItem));
    const std::wstring text = player ? Wide(text::kLibraryMatchedPlayer + *player) : std::wstring();
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax) - 1);
    std::copy_n(text.data(), n, tip.pszText);
    tip.pszText[n] = L'\0';
    return TRUE;
  }

  void SortBy(LibraryColumn column) {
    const std::optional<std::string> selected = SelectedPath();
    model_.SortBy(column);
    ShowSortArrow(list_, model_.sortColumn(), model_.descending());
    ShowRows(selected, true);
  }

  // --- A row's commands --------------------------------------------------------------

  // The library stays open: a user judging several demos goes back and forth,
  // and the main window comes to the front with the demo it now shows.
  void Open(std::size_t row) {
    if (row >= model_.ShownCount()) return;
    request_.openDemo(model_.Shown(row).file.path);
  }

  // Enter opens the selected demo when the list has the focus; in the filter
  // it goes on to the list.
  INT_PTR OnEnter(HWND dialog) {
    if (GetFocus() == list_) {
      if (std::optional<std::size_t> row = SelectedLibraryRow(list_)) Open(*row);
    } else if (GetFocus() == GetDlgItem(dialog, IDC_LIBRARY_FILTER) && model_.ShownCount() > 0) {
      if (!SelectedLibraryRow(list_)) ShowLibraryRows(list_, model_.ShownCount(), 0, true, false);
      SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list_), TRUE);
    }
    return TRUE;
  }

  INT_PTR OnClose(HWND dialog) {
    if (reader_) reader_->RequestStop();  // the reading ends at once, whatever it was at
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }

  INT_PTR OnContextMenu(HWND clicked, LPARAM point) {
    if (clicked != list_) return FALSE;
    POINT at{};
    const std::optional<std::size_t> row = LibraryRowAt(list_, point, at);
    if (!row || *row >= model_.ShownCount()) return TRUE;
    const LibraryFile file = model_.Shown(*row).file;
    const DemoState state = model_.Shown(*row).state;
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return TRUE;
    AppendDemoCommands(menu);
    // No repair is offered for a file that is no demo, nor for one being recorded.
    if (state == DemoState::kNotADemo || state == DemoState::kBeingWritten) {
      EnableMenuItem(menu, IDM_REPAIR_DEMO, MF_BYCOMMAND | MF_GRAYED);
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_LIBRARY_SHOW_IN_FOLDER, Wide(text::kLibraryShowInFolder).c_str());
    SetForegroundWindow(dialog_);
    const int command = static_cast<int>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y,
                       0, dialog_, nullptr));
    DestroyMenu(menu);
    switch (command) {
      case IDM_DEMO_DETAILS: RunDetailsDialog(request_.instance, file.path, [this, &file] { RepairOne(file); }); break;
      case IDM_REPAIR_DEMO: RepairOne(file); break;
      case IDM_TIMELINE: RunTimelineDialog(request_.instance, file.path); break;
      case IDM_LIBRARY_SHOW_IN_FOLDER: ShowInFolder(file.path); break;
      default: break;
    }
    return TRUE;
  }

  // The repair command's own flow (ask, repair, say) on one demo; its row and
  // the main window then show the demo as it now is.
  void RepairOne(const LibraryFile& file) {
    RepairUnfinishedDemo(NativeMessageBoxes(), NativeFileSystem(), file.path);
    const std::optional<std::string> selected = SelectedPath();
    model_.Put(ReadLibraryRowOrFailure(NativeFileSystem(), file, buffer_));
    ShowRows(selected, false);
    request_.reloadIfShown({file.path});
  }

  // "Починить недописанные": one question, the repairs on this thread under the
  // wait cursor (the boxes that bracket them hold the user anyway), one result box.
  // A click while its question, the repairs or the result are up is ignored.
  INT_PTR OnRepairUnfinished() {
    if (repairing_) return TRUE;
    repairing_ = true;
    RepairUnfinished();
    repairing_ = false;
    // Its boxes have no owner: when they go, the library comes back in front.
    SetForegroundWindow(dialog_);
    return TRUE;
  }

  void RepairUnfinished() {
    const std::vector<LibraryFile> demos = model_.UnfinishedShown();
    const std::string question = LibraryRepairQuestion(demos.size());
    if (demos.empty()) {
      ShowInfo(question);
      return;
    }
    if (!Ask(question)) return;
    LibraryRepair repair;
    {
      WaitCursor wait;
      repair = RepairLibraryDemos(NativeFileSystem(), demos);
    }
    // The rows show the demos as they now are behind the result, which then
    // never contradicts them.
    const std::optional<std::string> selected = SelectedPath();
    std::vector<std::string> paths;
    for (LibraryRow& row : repair.refreshed) {
      paths.push_back(row.file.path);
      model_.Put(std::move(row));
    }
    ShowRows(selected, false);
    ShowInfo(repair.text);
    request_.reloadIfShown(paths);
  }

  // --- The layout, kept per user; never a box about it ---------------------------------

  void RestoreLayout(HWND dialog) {
    std::unique_ptr<Registry> registry = MakeNativeRegistry();
    const LibraryLayout layout = LoadLibraryLayout(*registry, kLibraryColumnCount);
    SetLibraryColumnWidths(list_, layout.columnWidths);
    if (layout.window) PlaceOnScreen(dialog, *layout.window);
  }

  void SaveLayout(HWND dialog) {
    LibraryLayout layout;
    layout.window = NormalRect(dialog);
    layout.columnWidths = LibraryColumnWidths(dialog, list_);
    std::unique_ptr<Registry> registry = MakeNativeRegistry();
    SaveLibraryLayout(*registry, layout);
  }

  const LibraryRequest& request_;
  std::string folder_;
  LibraryModel model_;
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  SIZE minimum_{};
  std::string status_;
  std::unique_ptr<LibraryInbox> inbox_;
  std::unique_ptr<LibraryReader> reader_;  // stopped before its inbox goes
  std::atomic<bool> pending_{false};
  DWORD lastTaken_ = 0;  // GetTickCount when rows were last taken
  ImageBuffer buffer_;   // for the demos read again on this thread after a repair
  bool repairing_ = false;
  bool fitted_ = false;  // the file name column fitted to this reading's names
};

}  // namespace

void RunLibraryDialog(const LibraryRequest& request) {
  if (openLibrary != nullptr) {
    openLibrary->ComeForward(request.folder);
    return;
  }
  LibraryDialog dialog(request);
  RunSkinnedDialog({request.instance, IDD_LIBRARY, 0}, dialog);
}

}  // namespace rewindor::ui
