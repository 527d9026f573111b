// The library: every demo of a folder in one table, found by player, map or
// server. The model, without a window: the rows in the current order, the
// texts of their cells (library/columns.h), sorting by a column, the filter,
// and the status line. The dialog shows it in a list view (an owner-data list
// view asks for exactly what it shows: ShownCount and Cell). The reading of
// a folder into rows is in library/reader.h.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "demo/info.h"
#include "demo/text_match.h"
#include "library/columns.h"
#include "library/rows.h"

namespace rewindor {

class LibraryModel {
 public:
  // `decode` shows the demo's texts as the window shows them elsewhere.
  explicit LibraryModel(DemoTextDecoder decode, LocalTimeOf localTime = SystemLocalTime);

  // A new reading of `total` demos begins (with the folders that could not
  // be listed): the rows go, the sort and the filter stay.
  void Restart(std::size_t total, std::size_t unreadableFolders = 0);
  // A row read, or read again (a row of the same path is replaced). It takes
  // its place in the current order, after the rows equal to it.
  void Put(LibraryRow row);
  // Rows as Put takes them one after the other, in one pass over the table:
  // a reading hands over its rows in batches, and a batch costs the table's
  // length once, not once a row.
  void PutAll(std::vector<LibraryRow> rows);
  // Every demo of the reading was read.
  void Finish() { finished_ = true; }

  // A click on a column header: sorted by the column, ascending; the same
  // column again reverses. Time, players, date and size sort as numbers,
  // the other columns as texts without regard to letter case; rows that are
  // equal keep their order.
  void SortBy(LibraryColumn column);
  LibraryColumn sortColumn() const { return sortColumn_; }
  bool descending() const { return descending_; }

  // Only the rows that match (DemoMatches) are shown; an empty text shows all.
  void SetFilter(std::string_view text);
  // The first player of a shown row that the filter finds (as the window shows
  // the name); none without a filter or when no player matched.
  std::optional<std::string> MatchedPlayer(std::size_t index) const;
  // Dates as `dateText` words them from now on (rows already read keep theirs).
  void SetDateText(DateTextOf dateText) { dateText_ = std::move(dateText); }

  std::size_t ShownCount() const { return shown_.size(); }
  const LibraryRow& Shown(std::size_t index) const { return entries_[shown_[index]].row; }
  // The text of a shown row's cell, on one line.
  const std::string& Cell(std::size_t index, LibraryColumn column) const;
  // Where a demo is shown now (to keep a selection across sorting and filtering).
  std::optional<std::size_t> ShownIndexOf(const std::string& path) const;
  // The unfinished demos among those shown, in the order shown.
  std::vector<LibraryFile> UnfinishedShown() const;

  bool reading() const { return !finished_; }
  // "N из M": rows shown of rows read.
  std::string CountText() const;
  // "Прочитано N из M": rows read of the demos listed.
  std::string ProgressText() const;
  // What the dialog's status line shows: the progress while reading, then
  // the count; and the folders that could not be read, when there were any.
  std::string StatusText() const;

 private:
  struct Entry {
    LibraryRow row;
    std::array<std::string, kLibraryColumnCount> cells;
    std::string searchKey;                                   // DemoSearchKey
    std::array<std::string, kLibraryColumnCount> sortTexts;  // the text columns' cells, folded
  };

  Entry MakeEntry(LibraryRow row) const;
  bool Before(std::size_t a, std::size_t b) const;  // in the current order
  void Refilter();

  DemoTextDecoder decode_;
  LocalTimeOf localTime_;
  DateTextOf dateText_;
  std::vector<Entry> entries_;  // in the order read
  std::unordered_map<std::string, std::size_t> byPath_;
  std::vector<std::size_t> order_;  // entries in the current order
  std::vector<std::size_t> shown_;  // those of order_ that match the filter
  TextFinder filter_{""};
  LibraryColumn sortColumn_ = LibraryColumn::kFile;
  bool descending_ = false;
  std::size_t total_ = 0;
  std::size_t unreadableFolders_ = 0;
  bool finished_ = false;
};

}  // namespace rewindor
