#include "library/model.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "demo/patch_run.h"
#include "demo/utf8.h"
#include "library/texts.h"

namespace rewindor {

namespace {

std::size_t Index(LibraryColumn column) { return static_cast<std::size_t>(column); }

// "%d" after "%d" in `pattern` filled with the numbers, in order.
std::string Filled(std::string_view pattern, std::uint64_t first, std::uint64_t second) {
  return ResultText(ResultText(pattern, first), second);
}

}  // namespace

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
  const CellWords words{decode_, dateText_, localTime_};
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    e.cells[c] = kLibraryColumns[c].cell(row, words);
    if (kLibraryColumns[c].number == nullptr) e.sortTexts[c] = FoldCase(e.cells[c]);
  }
  const DemoSearchTexts texts{row.file.fileName, row.map,    FieldText(row.server), FieldText(row.recorder),
                              row.players,       row.roster, row.steamIds};
  e.searchKey = DemoSearchKey(texts, decode_);
  e.row = std::move(row);
  return e;
}

bool LibraryModel::Before(std::size_t a, std::size_t b) const {
  const Entry& x = entries_[descending_ ? b : a];
  const Entry& y = entries_[descending_ ? a : b];
  if (const auto number = SpecOf(sortColumn_).number) return number(x.row) < number(y.row);
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
