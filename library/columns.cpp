#include "library/columns.h"

#include "demo/facts.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

// Each column's place in the table is its id.
constexpr bool InOrder() {
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    if (static_cast<std::size_t>(kLibraryColumns[c].id) != c) return false;
  }
  return true;
}
static_assert(InOrder(), "kLibraryColumns lists the columns in LibraryColumn's order");

// A file that is no demo has no map or players to show, only its state.
bool Read(const LibraryRow& row) { return row.state != DemoState::kReadError && row.state != DemoState::kNotADemo; }

// The players of the roster, those beyond the names it keeps too.
std::uint64_t RosterSize(const LibraryRow& row) { return row.roster.size() + row.rosterNotListed; }

bool KnownTime(const std::optional<double>& seconds) {
  return seconds && *seconds >= 0 && *seconds < kMaxPlayingSeconds;
}

std::string ShownAs(const std::optional<std::string>& demoText, const CellWords& words) {
  return demoText ? OneLineText(words.decode(*demoText)) : std::string();
}

}  // namespace

namespace library_cell {

std::string File(const LibraryRow& row, const CellWords&) { return OneLineText(row.file.fileName); }

std::string Map(const LibraryRow& row, const CellWords& words) {
  return Read(row) ? OneLineText(words.decode(row.map)) : std::string();
}

std::string Time(const LibraryRow& row, const CellWords&) {
  return KnownTime(row.duration) ? PlayingTimeText(*row.duration) : std::string();
}

std::string Players(const LibraryRow& row, const CellWords&) {
  return Read(row) ? std::to_string(RosterSize(row)) : std::string();
}

std::string Server(const LibraryRow& row, const CellWords& words) { return ShownAs(row.server, words); }

std::string Recorder(const LibraryRow& row, const CellWords& words) { return ShownAs(row.recorder, words); }

std::string Modified(const LibraryRow& row, const CellWords& words) {
  return words.dateText ? words.dateText(row.file.modified) : LibraryDateText(row.file.modified, words.localTime);
}

std::string Size(const LibraryRow& row, const CellWords&) { return LibrarySizeText(row.file.size); }

std::string State(const LibraryRow& row, const CellWords&) {
  switch (row.state) {
    case DemoState::kFinished: return text::kLibraryFinished;
    case DemoState::kUnfinished: return text::kLibraryUnfinished;
    case DemoState::kNotADemo: return text::kLibraryNotADemo;
    case DemoState::kBeingWritten: return text::kLibraryBeingWritten;
    case DemoState::kReadError: break;
  }
  return OneLineText(row.error);
}

std::string Folder(const LibraryRow& row, const CellWords&) { return OneLineText(row.file.folder); }

double TimeValue(const LibraryRow& row) { return KnownTime(row.duration) ? *row.duration : -1; }

double PlayersValue(const LibraryRow& row) {
  return row.state == DemoState::kReadError ? -1 : static_cast<double>(RosterSize(row));
}

double ModifiedValue(const LibraryRow& row) { return static_cast<double>(row.file.modified); }

double SizeValue(const LibraryRow& row) { return static_cast<double>(row.file.size); }

}  // namespace library_cell

}  // namespace rewindor
