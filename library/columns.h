// The library's columns, each described once: its title, default width and
// alignment in the window, the text of its cell and how it sorts; a new column
// is a line of the table (and its name in LibraryColumn). The table's order is
// the columns' order, in the window and in the widths kept per user
// (settings/library_layout.h), so the columns there keep their places.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "demo/info.h"
#include "library/rows.h"
#include "library/texts.h"

namespace rewindor {

// The columns the code names, in the table's order.
// kFolder shows each demo's folder below the listed one (with subfolders).
enum class LibraryColumn : std::uint8_t {
  kFile,
  kMap,
  kTime,
  kPlayers,
  kServer,
  kRecorder,
  kModified,
  kSize,
  kState,
  kFolder
};

// What a cell's text is made with: the demo's texts decoded as the window
// shows them elsewhere, and the date in words.
struct CellWords {
  const DemoTextDecoder& decode;
  const DateTextOf& dateText;  // empty: LibraryDateText with `localTime`
  const LocalTimeOf& localTime;
};

struct LibraryColumnSpec {
  LibraryColumn id;
  const char* title;
  int width;  // the default, in dialog units; 0: hidden until asked for
  bool alignRight;
  std::string (*cell)(const LibraryRow& row, const CellWords& words);  // on one line
  // The value a numeric column sorts by (what is not known sorts first);
  // nullptr: the column sorts by its cell's text, without regard to letter case.
  double (*number)(const LibraryRow& row);
};

// The cells and sort values, one function a column (library/columns.cpp).
namespace library_cell {
std::string File(const LibraryRow& row, const CellWords& words);
std::string Map(const LibraryRow& row, const CellWords& words);
std::string Time(const LibraryRow& row, const CellWords& words);
std::string Players(const LibraryRow& row, const CellWords& words);
std::string Server(const LibraryRow& row, const CellWords& words);
std::string Recorder(const LibraryRow& row, const CellWords& words);
std::string Modified(const LibraryRow& row, const CellWords& words);
std::string Size(const LibraryRow& row, const CellWords& words);
std::string State(const LibraryRow& row, const CellWords& words);
std::string Folder(const LibraryRow& row, const CellWords& words);
double TimeValue(const LibraryRow& row);
double PlayersValue(const LibraryRow& row);
double ModifiedValue(const LibraryRow& row);
double SizeValue(const LibraryRow& row);
}  // namespace library_cell

// The widths are together the dialog's list less its scroll bar, each the
// usual longest cell in MS Sans Serif 8.
inline constexpr LibraryColumnSpec kLibraryColumns[] = {
    {LibraryColumn::kFile, text::kLibraryColumnFile, 90, false, library_cell::File, nullptr},
    {LibraryColumn::kMap, text::kLibraryColumnMap, 46, false, library_cell::Map, nullptr},
    {LibraryColumn::kTime, text::kLibraryColumnTime, 34, true, library_cell::Time, library_cell::TimeValue},
    {LibraryColumn::kPlayers, text::kLibraryColumnPlayers, 42, true, library_cell::Players, library_cell::PlayersValue},
    {LibraryColumn::kServer, text::kLibraryColumnServer, 70, false, library_cell::Server, nullptr},
    {LibraryColumn::kRecorder, text::kLibraryColumnRecorder, 56, false, library_cell::Recorder, nullptr},
    {LibraryColumn::kModified, text::kLibraryColumnModified, 80, false, library_cell::Modified,
     library_cell::ModifiedValue},
    {LibraryColumn::kSize, text::kLibraryColumnSize, 36, true, library_cell::Size, library_cell::SizeValue},
    {LibraryColumn::kState, text::kLibraryColumnState, 48, false, library_cell::State, nullptr},
    {LibraryColumn::kFolder, text::kLibraryColumnFolder, 0, false, library_cell::Folder, nullptr},
};
inline constexpr std::size_t kLibraryColumnCount = std::size(kLibraryColumns);

constexpr const LibraryColumnSpec& SpecOf(LibraryColumn column) {
  return kLibraryColumns[static_cast<std::size_t>(column)];
}

}  // namespace rewindor
