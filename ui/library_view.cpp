#include "ui/library_view.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "demo/report.h"
#include "ui/skin.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

// The folder column shows only with the subfolders (ShowFolderColumn), then this wide.
constexpr int kFolderColumnWidth = 80;
// The file name column grows to its longest name up to this share of the list.
constexpr int kFileColumnMaxPercent = 45;
// Room beside a header's title for its sort arrow and margins, in pixels.
constexpr int kHeaderArrowRoom = 36;
// Room beside a cell's text for its margins, in pixels.
constexpr int kCellMargin = 14;

std::size_t Index(LibraryColumn column) { return static_cast<std::size_t>(column); }

// How wide a text is in the list's font, in pixels.
int TextWidth(HWND list, const std::wstring& text) {
  return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

// The width a header needs for its title and its sort arrow, uncut.
int TitleWidth(HWND list, const std::wstring& title) { return TextWidth(list, title) + kHeaderArrowRoom; }

int ColumnCount(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

}  // namespace

void PrepareLibraryList(HWND dialog, HWND list) {
  // Info tips: a row the filter found by a player names the player.
  const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  // The rows in the skin's colours, as the main window's lists; the header and
  // the selection keep the system's, which every user knows.
  SendMessageW(list, LVM_SETBKCOLOR, 0, kSkinBrushColour);
  SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, kSkinBrushColour);
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, kSkinTextColour);
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    RECT width{0, 0, kLibraryColumns[c].width, 8};
    MapDialogRect(dialog, &width);
    std::wstring title = Wide(kLibraryColumns[c].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = kLibraryColumns[c].alignRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
    // A title stays whole beside its sort arrow; the file name column is
    // fitted to the names, and the folder column shows with the subfolders.
    const bool fitted = c == Index(LibraryColumn::kFile) || c == Index(LibraryColumn::kFolder);
    const int least = static_cast<int>(width.right);
    column.cx = fitted ? least : std::max(least, TitleWidth(list, title));
    column.pszText = title.data();
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  // The folder column shows beside the file name, whose place it tells.
  std::array<int, kLibraryColumnCount> order{};
  order[0] = static_cast<int>(Index(LibraryColumn::kFile));
  order[1] = static_cast<int>(Index(LibraryColumn::kFolder));
  for (std::size_t c = 1; c + 1 < kLibraryColumnCount; ++c) order[c + 1] = static_cast<int>(c);
  SendMessageW(list, LVM_SETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
}

std::vector<std::int32_t> LibraryColumnWidths(HWND dialog, HWND list) {
  std::vector<std::int32_t> widths;
  for (int c = 0, n = ColumnCount(list); c < n; ++c) {
    widths.push_back(static_cast<std::int32_t>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0)));
  }
  // The folder column hidden without the subfolders is kept at the width it shows with.
  const std::size_t folder = Index(LibraryColumn::kFolder);
  if (folder < widths.size() && widths[folder] == 0) {
    RECT r{0, 0, kFolderColumnWidth, 8};
    MapDialogRect(dialog, &r);
    widths[folder] = static_cast<std::int32_t>(r.right);
  }
  return widths;
}

void SetLibraryColumnWidths(HWND list, const std::vector<std::int32_t>& widths) {
  if (widths.size() != static_cast<std::size_t>(ColumnCount(list))) return;
  for (std::size_t c = 0; c < widths.size(); ++c) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(std::min(widths[c], 0x7FFF), 0));
  }
}

void FillLibraryCell(const LibraryModel& model, NMLVDISPINFOW& request) {
  LVITEMW& item = request.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= model.ShownCount() || item.iSubItem < 0 ||
      static_cast<std::size_t>(item.iSubItem) >= kLibraryColumnCount) {
    return;
  }
  const std::wstring text =
      Wide(model.Cell(static_cast<std::size_t>(item.iItem), static_cast<LibraryColumn>(item.iSubItem)));
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax) - 1);
  std::copy_n(text.data(), n, item.pszText);
  item.pszText[n] = L'\0';
}

void ShowSortArrow(HWND list, LibraryColumn column, bool descending) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  if (header == nullptr) return;
  for (int c = 0, n = ColumnCount(list); c < n; ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item))) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == static_cast<int>(column)) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
  }
  // The sorted column is at least as wide as its title beside its arrow.
  if (static_cast<std::size_t>(column) >= kLibraryColumnCount) return;
  const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
  const int needed = TitleWidth(list, Wide(SpecOf(column).title));
  if (width > 0 && width < needed) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(needed, 0));
  }
}

void ShowFolderColumn(HWND dialog, HWND list, bool shown) {
  const WPARAM c = Index(LibraryColumn::kFolder);
  const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
  if (!shown) {
    if (width != 0) SendMessageW(list, LVM_SETCOLUMNWIDTH, c, 0);
    return;
  }
  if (width > 0) return;
  RECT r{0, 0, kFolderColumnWidth, 8};
  MapDialogRect(dialog, &r);
  SendMessageW(list, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(r.right, 0));
}

void FitFileColumn(HWND dialog, HWND list, const LibraryModel& model) {
  RECT client{};
  GetClientRect(list, &client);
  const int most = static_cast<int>(client.right) * kFileColumnMaxPercent / 100;
  const WPARAM c = Index(LibraryColumn::kFile);
  RECT least{0, 0, SpecOf(LibraryColumn::kFile).width, 8};
  MapDialogRect(dialog, &least);
  // A width the user gave it, or kept from before, only grows.
  const int now = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
  int longest = std::max(static_cast<int>(least.right), now);
  for (std::size_t row = 0; row < model.ShownCount() && longest < most; ++row) {
    longest = std::max(longest, TextWidth(list, Wide(model.Cell(row, LibraryColumn::kFile))) + kCellMargin);
  }
  const int width = std::min(longest, std::max(most, now));
  if (width > now) SendMessageW(list, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(width, 0));
}

std::string ShortDateText(std::int64_t utcSeconds) {
  // Seconds since 1970 as a FILETIME (100-nanosecond steps since 1601).
  constexpr std::int64_t kSecondsFrom1601 = 11644473600;
  if (utcSeconds < -kSecondsFrom1601 || utcSeconds > 0x7FFFFFFF'FFFFLL) return {};
  const std::uint64_t ticks = static_cast<std::uint64_t>(utcSeconds + kSecondsFrom1601) * 10000000ULL;
  const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal{}, local{};
  if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  std::array<wchar_t, 80> date{}, time{};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date.data(), 80) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time.data(), 80) == 0) {
    return {};
  }
  return Narrow(std::wstring(date.data()) + L" " + time.data());
}

std::optional<std::size_t> SelectedLibraryRow(HWND list) {
  const LRESULT row = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  if (row < 0) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void ShowLibraryRows(HWND list, std::size_t count, std::optional<std::size_t> selected, bool reveal, bool repaint) {
  SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  // In an owner-data list the selection is a row number: the row that was
  // selected may have moved, as rows before it were put in or filtered out.
  // Only a selection that moved is set again (a state set on every row costs
  // a notice a row).
  if (selected && *selected >= count) selected.reset();
  const std::optional<std::size_t> before = SelectedLibraryRow(list);
  if (selected != before) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (before) SendMessageW(list, LVM_SETITEMSTATE, *before, reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (selected) SendMessageW(list, LVM_SETITEMSTATE, *selected, reinterpret_cast<LPARAM>(&state));
  }
  if (selected && reveal) SendMessageW(list, LVM_ENSUREVISIBLE, *selected, FALSE);
  if (repaint) InvalidateRect(list, nullptr, FALSE);
}

std::pair<std::size_t, std::size_t> LibraryRowsInView(HWND list) {
  const LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
  const LRESULT room = SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
  // A row cut off at the bottom counts too.
  return {static_cast<std::size_t>(std::max<LRESULT>(top, 0)),
          static_cast<std::size_t>(std::max<LRESULT>(room, 0)) + 1};
}

std::optional<std::size_t> LibraryRowAt(HWND list, LPARAM point, POINT& at) {
  const POINT screen{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
  if (screen.x == -1 && screen.y == -1) {
    std::optional<std::size_t> row = SelectedLibraryRow(list);
    RECT bounds{};
    bounds.left = LVIR_LABEL;
    if (!row || !SendMessageW(list, LVM_GETITEMRECT, *row, reinterpret_cast<LPARAM>(&bounds))) return std::nullopt;
    at = POINT{bounds.left, bounds.bottom};
    ClientToScreen(list, &at);
    return row;
  }
  LVHITTESTINFO hit{};
  hit.pt = screen;
  ScreenToClient(list, &hit.pt);
  const LRESULT row = SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  if (row < 0 || (hit.flags & LVHT_ONITEM) == 0) return std::nullopt;
  ShowLibraryRows(list, static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)),
                  static_cast<std::size_t>(row), false, false);
  at = screen;
  return static_cast<std::size_t>(row);
}

void ShowInFolder(const std::string& path) {
  // Explorer from the system's own folder, never one found on the search path.
  std::array<wchar_t, MAX_PATH> windows{};
  const UINT n = GetWindowsDirectoryW(windows.data(), MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    ReportError(text::kCannotShowInFolder, SystemErrorFromCode(GetLastError()));
    return;
  }
  const std::wstring explorer = std::wstring(windows.data(), n) + L"\\explorer.exe";
  std::wstring file = Wide(path);
  std::replace(file.begin(), file.end(), L'/', L'\\');
  std::wstring command = L"\"" + explorer + L"\" /select,\"" + file + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ReportError(text::kCannotShowInFolder, SystemErrorFromCode(GetLastError()));
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace rewindor::ui
