// The library's table in an owner-data list view: the list keeps no texts of
// its own and asks the model for each cell it paints. Its columns, the cells,
// the header's sort arrow, the selection, and Explorer opened on a row's file.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/model.h"

namespace rewindor::ui {

// Styles, the skin's colours and the columns at their default widths
// (in `dialog`'s units, so they grow with its font).
void PrepareLibraryList(HWND dialog, HWND list);

// The columns' widths in pixels, and back (a list of another length is ignored).
std::vector<std::int32_t> LibraryColumnWidths(HWND dialog, HWND list);
void SetLibraryColumnWidths(HWND list, const std::vector<std::int32_t>& widths);

// LVN_GETDISPINFOW: the text of the cell asked for, cut to the list's buffer.
void FillLibraryCell(const LibraryModel& model, NMLVDISPINFOW& request);

// The arrow on the sorted column's header, none on the others; the sorted
// column made wide enough for its title beside the arrow.
void ShowSortArrow(HWND list, LibraryColumn column, bool descending);
// The folder column at its default width, or hidden (width 0).
void ShowFolderColumn(HWND dialog, HWND list, bool shown);
// The file name column widened to the longest name shown, up to a share of
// the list; never made narrower.
void FitFileColumn(HWND dialog, HWND list, const LibraryModel& model);
// A date in the user's short date and time format, local time.
std::string ShortDateText(std::int64_t utcSeconds);

// The selected row, if any.
std::optional<std::size_t> SelectedLibraryRow(HWND list);
// The list shows `count` rows; `selected` (or none) is the one selected and
// focused, scrolled into view when `reveal`. With `repaint` the rows in view
// are painted anew (they show other demos now); without it only rows that
// came into view are.
void ShowLibraryRows(HWND list, std::size_t count, std::optional<std::size_t> selected, bool reveal, bool repaint);
// The rows in view: the first, and how many there are room for.
std::pair<std::size_t, std::size_t> LibraryRowsInView(HWND list);
// The row under a right-click (`point` as WM_CONTEXTMENU gives it), selected;
// for the keyboard's menu key (-1, -1) the selected row. `at` is where its menu opens.
std::optional<std::size_t> LibraryRowAt(HWND list, LPARAM point, POINT& at);

// Explorer's window of the file's folder with the file selected; a failure to
// start Explorer is reported.
void ShowInFolder(const std::string& path);

}  // namespace rewindor::ui
