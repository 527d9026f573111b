#include "ui/library.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "demo/facts.h"
#include "demo/patch_run.h"
#include "demo/utf8.h"
#include "ui/texts.h"

namespace rewindor {

const std::array<const char*, kLibraryColumnCount> kLibraryColumnTitles = {
    text::kLibraryColumnFile,    text::kLibraryColumnMap,      text::kLibraryColumnTime,
    text::kLibraryColumnPlayers, text::kLibraryColumnServer,   text::kLibraryColumnRecorder,
    text::kLibraryColumnModified, text::kLibraryColumnSize,    text::kLibraryColumnState,
    text::kLibraryColumnFolder};

namespace {

std::size_t Index(LibraryColumn column) { return static_cast<std::size_t>(column); }

bool IsNumberColumn(LibraryColumn column) {
  return column == LibraryColumn::kTime || column == LibraryColumn::kPlayers ||
         column == LibraryColumn::kModified || column == LibraryColumn::kSize;
}

// The players of the roster, those beyond the names it keeps too.
std::uint64_t RosterSize(const LibraryRow& row) { return row.roster.size() + row.rosterNotListed; }

bool KnownTime(const std::optional<double>& seconds) {
  return seconds && *seconds >= 0 && *seconds < kMaxPlayingSeconds;
}

// A number column's value; what is not known sorts before every value.
double NumberOf(const LibraryRow& row, LibraryColumn column) {
  switch (column) {
    case LibraryColumn::kTime:
      return KnownTime(row.duration) ? *row.duration : -1;
    case LibraryColumn::kPlayers:
      return row.state == DemoState::kReadError ? -1 : static_cast<double>(RosterSize(row));
    case LibraryColumn::kModified:
      return static_cast<double>(row.file.modified);
    case LibraryColumn::kSize:
      return static_cast<double>(row.file.size);
    default:
      return 0;
  }
}

std::string StateText(const LibraryRow& row) {
  switch (row.state) {
    case DemoState::kFinished:
      return text::kLibraryFinished;
    case DemoState::kUnfinished:
      return text::kLibraryUnfinished;
    case DemoState::kNotADemo:
      return text::kLibraryNotADemo;
    case DemoState::kBeingWritten:
      return text::kLibraryBeingWritten;
    case DemoState::kReadError:
      break;
  }
  return OneLineText(row.error);
}

// "%d" after "%d" in `pattern` filled with the numbers, in order.
std::string Filled(std::string_view pattern, std::uint64_t first, std::uint64_t second) {
  return ResultText(ResultText(pattern, first), second);
}

}  // namespace

std::tm SystemLocalTime(std::int64_t utcSeconds) {
  const std::time_t t = static_cast<std::time_t>(utcSeconds);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return local;
}

std::string LibraryDateText(std::int64_t utcSeconds, const LocalTimeOf& localTime) {
  const std::tm t = localTime(utcSeconds);
  if (t.tm_mday == 0) return {};  // a time the system cannot turn into a date
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min);
  return text;
}

std::string LibrarySizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + text::kSizeBytes;
  constexpr const char* kUnits[] = {text::kSizeKilobytes, text::kSizeMegabytes, text::kSizeGigabytes};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  // Tenths, rounded: a value that rounds to 1024.0 goes to the next unit.
  while (unit + 1 < std::size(kUnits) && std::round(value * 10) >= 1024 * 10) {
    value /= 1024;
    ++unit;
  }
  const auto tenths = static_cast<std::uint64_t>(std::round(value * 10));
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + kUnits[unit];
}

LibraryModel::LibraryModel(DemoTextDecoder decode, LocalTimeOf localTime)
    : decode_(std::move(decode)), localTime_(std::move(localTime)) {}

void LibraryModel::Restart(std::size_t total, std::size_t unreadableFolders) {
  entries_.clear();
  byPath_.clear();
  order_.clear();
  shown_.clear();
  total_ = total;
  unreadableFolders_ = unreadableFolders;
  finished_ = false;
}

LibraryModel::Entry LibraryModel::MakeEntry(LibraryRow row) const {
  Entry e;
  auto shownAs = [&](const std::optional<std::string>& demoText) {
    return demoText ? OneLineText(decode_(*demoText)) : std::string();
  };
  // A file that is no demo has no map or players to show, only its state.
  const bool read = row.state != DemoState::kReadError && row.state != DemoState::kNotADemo;
  e.cells[Index(LibraryColumn::kFile)] = OneLineText(row.file.fileName);
  e.cells[Index(LibraryColumn::kMap)] = read ? OneLineText(decode_(row.map)) : std::string();
  e.cells[Index(LibraryColumn::kTime)] = KnownTime(row.duration) ? PlayingTimeText(*row.duration) : std::string();
  e.cells[Index(LibraryColumn::kPlayers)] = read ? std::to_string(RosterSize(row)) : std::string();
  e.cells[Index(LibraryColumn::kServer)] = shownAs(row.server);
  e.cells[Index(LibraryColumn::kRecorder)] = shownAs(row.recorder);
  e.cells[Index(LibraryColumn::kModified)] =
      dateText_ ? dateText_(row.file.modified) : LibraryDateText(row.file.modified, localTime_);
  e.cells[Index(LibraryColumn::kFolder)] = OneLineText(row.file.folder);
  e.cells[Index(LibraryColumn::kSize)] = LibrarySizeText(row.file.size);
  e.cells[Index(LibraryColumn::kState)] = StateText(row);
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    if (!IsNumberColumn(static_cast<LibraryColumn>(c))) e.sortTexts[c] = FoldCase(e.cells[c]);
  }
  const DemoSearchTexts texts{row.file.fileName, row.map,     FieldText(row.server), FieldText(row.recorder),
                              row.players,       row.roster,           row.steamIds};
  e.searchKey = DemoSearchKey(texts, decode_);
  e.row = std::move(row);
  return e;
}

bool LibraryModel::Before(std::size_t a, std::size_t b) const {
  const Entry& x = entries_[descending_ ? b : a];
  const Entry& y = entries_[descending_ ? a : b];
  if (IsNumberColumn(sortColumn_)) return NumberOf(x.row, sortColumn_) < NumberOf(y.row, sortColumn_);
  return x.sortTexts[Index(sortColumn_)] < y.sortTexts[Index(sortColumn_)];
}

void LibraryModel::Put(LibraryRow row) {
  const std::string path = row.file.path;
  std::size_t index;
  if (auto known = byPath_.find(path); known != byPath_.end()) {
    index = known->second;
    entries_[index] = MakeEntry(std::move(row));
    order_.erase(std::find(order_.begin(), order_.end(), index));
  } else {
    index = entries_.size();
    entries_.push_back(MakeEntry(std::move(row)));
    byPath_.emplace(path, index);
  }
  const auto place = std::upper_bound(order_.begin(), order_.end(), index,
                                      [this](std::size_t a, std::size_t b) { return Before(a, b); });
  order_.insert(place, index);
  Refilter();
}

void LibraryModel::PutAll(std::vector<LibraryRow> rows) {
  std::vector<std::size_t> batch;
  std::unordered_set<std::size_t> inBatch;
  for (LibraryRow& row : rows) {
    const std::string path = row.file.path;
    std::size_t index;
    if (auto known = byPath_.find(path); known != byPath_.end()) {
      index = known->second;
      entries_[index] = MakeEntry(std::move(row));
      // A row read again leaves its place; one of this batch has none yet.
      if (inBatch.contains(index)) {
        batch.erase(std::find(batch.begin(), batch.end(), index));
      } else {
        order_.erase(std::find(order_.begin(), order_.end(), index));
      }
    } else {
      index = entries_.size();
      entries_.push_back(MakeEntry(std::move(row)));
      byPath_.emplace(path, index);
    }
    batch.push_back(index);
    inBatch.insert(index);
  }
  const auto before = [this](std::size_t a, std::size_t b) { return Before(a, b); };
  // Stable both: of equal rows, those in the table stay first and the batch keeps its order.
  std::stable_sort(batch.begin(), batch.end(), before);
  std::vector<std::size_t> merged;
  merged.reserve(order_.size() + batch.size());
  std::merge(order_.begin(), order_.end(), batch.begin(), batch.end(), std::back_inserter(merged), before);
  order_ = std::move(merged);
  Refilter();
}

void LibraryModel::SortBy(LibraryColumn column) {
  descending_ = column == sortColumn_ ? !descending_ : false;
  sortColumn_ = column;
  std::stable_sort(order_.begin(), order_.end(), [this](std::size_t a, std::size_t b) { return Before(a, b); });
  Refilter();
}

std::optional<std::string> LibraryModel::MatchedPlayer(std::size_t index) const {
  if (filter_.empty() || index >= shown_.size()) return std::nullopt;
  const LibraryRow& row = entries_[shown_[index]].row;
  for (const std::vector<std::string>* names : {&row.players, &row.roster}) {
    for (const std::string& name : *names) {
      const std::string one[] = {name};
      if (filter_.FoundIn(DemoSearchKey(DemoSearchTexts{{}, {}, {}, {}, one, {}, {}}, decode_))) {
        return OneLineText(decode_(name));
      }
    }
  }
  return std::nullopt;
}

void LibraryModel::SetFilter(std::string_view text) {
  filter_ = TextFinder(text);
  Refilter();
}

void LibraryModel::Refilter() {
  shown_.clear();
  for (std::size_t index : order_) {
    if (filter_.FoundIn(entries_[index].searchKey)) shown_.push_back(index);
  }
}

const std::string& LibraryModel::Cell(std::size_t index, LibraryColumn column) const {
  return entries_[shown_[index]].cells[Index(column)];
}

std::optional<std::size_t> LibraryModel::ShownIndexOf(const std::string& path) const {
  const auto known = byPath_.find(path);
  if (known == byPath_.end()) return std::nullopt;
  const auto at = std::find(shown_.begin(), shown_.end(), known->second);
  if (at == shown_.end()) return std::nullopt;
  return static_cast<std::size_t>(at - shown_.begin());
}

std::vector<LibraryFile> LibraryModel::UnfinishedShown() const {
  std::vector<LibraryFile> files;
  for (std::size_t index : shown_) {
    if (entries_[index].row.state == DemoState::kUnfinished) files.push_back(entries_[index].row.file);
  }
  return files;
}

std::string LibraryModel::CountText() const { return Filled(text::kLibraryShown, shown_.size(), entries_.size()); }

std::string LibraryModel::ProgressText() const {
  return Filled(text::kLibraryProgress, entries_.size(), std::max(total_, entries_.size()));
}

std::string LibraryModel::StatusText() const {
  std::string status = finished_ ? CountText() : ProgressText();
  if (unreadableFolders_ > 0) status += ", " + ResultText(text::kLibraryUnreadableFolders, unreadableFolders_);
  return status;
}

}  // namespace rewindor
