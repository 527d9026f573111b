#include "ui/library_reader.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "demo/facts.h"
#include "demo/messages.h"
#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "demo/repair.h"
#include "demo/report.h"
#include "ui/texts.h"

namespace rewindor {

namespace {

void ListInto(LibraryFolders& folders, const std::string& folder, int depth, bool subfolders,
              const std::atomic<bool>* stop, LibraryListing& listing) {
  if (stop != nullptr && stop->load()) return;
  std::vector<LibraryFolderEntry> entries;
  SystemError why;
  if (!folders.List(folder, entries, why)) listing.unreadable.push_back({folder, why});
  // What was listed before a failure still counts.
  for (const LibraryFolderEntry& entry : entries) {
    if (!entry.directory && HasDemoExtension(entry.name)) {
      listing.demos.push_back({entry.path, entry.name, entry.size, entry.modified});
    }
  }
  if (!subfolders || depth >= kMaxLibraryDepth) return;
  for (const LibraryFolderEntry& entry : entries) {
    if (entry.directory && !entry.link) ListInto(folders, entry.path, depth + 1, subfolders, stop, listing);
  }
}

// One part of the repair's result: its title with the count, then a line a
// demo, at most kMaxRepairLines of them.
void AppendPart(std::string& text, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  if (!text.empty()) text += "\n\n";
  text += ResultText(title, lines.size());
  for (std::size_t i = 0; i < lines.size() && i < kMaxRepairLines; ++i) text.append("\n").append(lines[i]);
  if (lines.size() > kMaxRepairLines) {
    text.append("\n").append(ResultText(text::kLibraryMoreLines, lines.size() - kMaxRepairLines));
  }
}

}  // namespace

std::string FolderBelow(std::string_view listed, std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos || !path.starts_with(listed)) return {};
  std::string_view below = path.substr(0, cut).substr(std::min(listed.size(), cut));
  while (!below.empty() && (below.front() == '\\' || below.front() == '/')) below.remove_prefix(1);
  return std::string(below);
}

LibraryListing ListLibrary(LibraryFolders& folders, const std::string& folder, bool subfolders,
                           const std::atomic<bool>* stop) {
  LibraryListing listing;
  ListInto(folders, folder, 0, subfolders, stop, listing);
  std::sort(listing.demos.begin(), listing.demos.end(),
            [](const LibraryFile& a, const LibraryFile& b) { return a.path < b.path; });
  for (LibraryFile& demo : listing.demos) demo.folder = FolderBelow(folder, demo.path);
  return listing;
}

LibraryRow ReadLibraryRow(FileSystem& files, const LibraryFile& file, ImageBuffer& buffer) {
  LibraryRow row;
  row.file = file;
  ByteView image;
  const auto failed = [&row](std::string_view, const SystemError& why) { row.error = UnreadableDemoText(why); };
  if (!ReadDemoImage(files, file.path, buffer, image, failed)) return row;
  row.file.size = image.size();  // as read: a repair changes it
  DemoInspection inspection = InspectDemo(image);
  DemoFacts facts = ReadDemoFacts(image, inspection.hltv);
  row.state = !facts.demo          ? DemoState::kNotADemo
              : facts.finished      ? DemoState::kFinished
              : files.BeingWritten(file.path) ? DemoState::kBeingWritten
                                    : DemoState::kUnfinished;
  row.map = std::move(inspection.header.mapName);
  row.duration = facts.duration;
  row.server = std::move(facts.server);
  if (!inspection.hltv) row.recorder = std::move(facts.recorder);
  row.players = std::move(inspection.playerNames);
  row.roster = std::move(facts.roster);
  row.rosterNotListed = facts.rosterNotListed;
  for (PlayerSteamId& player : facts.steamIds) row.steamIds.push_back(std::move(player.steamId));
  return row;
}

LibraryRow ReadLibraryRowOrFailure(FileSystem& files, const LibraryFile& file, ImageBuffer& buffer) {
  try {
    return ReadLibraryRow(files, file, buffer);
  } catch (const std::exception&) {
    LibraryRow row;  // what the demo holds did not fit in memory
    row.file = file;
    row.error = UnreadableDemoText({0, text::kReasonNoMemory});
    return row;
  }
}

// ---------------------------------------------------------------------------

LibraryReader::LibraryReader(FileSystem& files, LibraryFolders& folders, std::string folder, bool subfolders,
                             LibrarySink& sink)
    : thread_([this, &files, &folders, folder = std::move(folder), subfolders, &sink] {
        try {
          Run(files, folders, folder, subfolders, sink);
        } catch (const std::exception&) {
          // Out of memory while listing or handing over: the reading ends
          // where it is, rather than the program.
        }
      }) {}

LibraryReader::~LibraryReader() { Stop(); }

void LibraryReader::Stop() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

void LibraryReader::Run(FileSystem& files, LibraryFolders& folders, const std::string& folder, bool subfolders,
                        LibrarySink& sink) {
  const LibraryListing listing = ListLibrary(folders, folder, subfolders, &stop_);
  if (stop_) return;
  sink.Listed(listing);
  ImageBuffer buffer;  // one for every demo of the folder
  for (const LibraryFile& file : listing.demos) {
    if (stop_) return;
    LibraryRow row = ReadLibraryRowOrFailure(files, file, buffer);
    if (stop_) return;
    sink.RowRead(std::move(row));
  }
  if (!stop_) sink.Finished();
}

// ---------------------------------------------------------------------------

void LibraryInbox::Listed(const LibraryListing& listing) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listed_ = true;
    total_ = listing.demos.size();
    unreadable_ = listing.unreadable.size();
  }
  notify_();
}

void LibraryInbox::RowRead(LibraryRow row) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    first = rows_.empty();
    rows_.push_back(std::move(row));
  }
  if (first) notify_();  // one message for the rows that pile up before the dialog takes them
}

void LibraryInbox::Finished() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  notify_();
}

bool LibraryInbox::Drain(LibraryModel& model) {
  bool listed, finished;
  std::size_t total, unreadable;
  std::vector<LibraryRow> rows;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listed = std::exchange(listed_, false);
    finished = std::exchange(finished_, false);
    total = total_;
    unreadable = unreadable_;
    rows.swap(rows_);
  }
  const bool read = !rows.empty();
  if (listed) model.Restart(total, unreadable);
  model.PutAll(std::move(rows));
  if (finished) model.Finish();
  return listed || finished || read;
}

// ---------------------------------------------------------------------------

std::string LibraryRepairQuestion(std::size_t unfinished) {
  if (unfinished == 0) return text::kLibraryNothingToRepair;
  return ResultText(text::kLibraryAskRepair, unfinished);
}

LibraryRepair RepairLibraryDemos(FileSystem& files, const std::vector<LibraryFile>& demos) {
  LibraryRepair result;
  std::vector<std::string> recovered, refused;
  ImageBuffer buffer;  // for reading the demos again
  for (const LibraryFile& demo : demos) {
    RepairReport report;
    const std::string name = OneLineText(demo.fileName) + ": ";
    EditOutcome outcome;
    try {
      outcome = EditDemo(files, demo.path, [&](MutableByteView image) { return RepairDemo(image, report); }, false);
    } catch (const std::exception&) {
      // Out of memory inside the repair: EditDemo had written nothing yet,
      // and its temp file is gone with it.
      refused.push_back(name + UnreadableDemoText({0, text::kReasonNoMemory}));
      result.refreshed.push_back(ReadLibraryRowOrFailure(files, demo, buffer));
      continue;
    }
    if (!outcome.ok()) {
      std::string why(outcome.FailureText());
      if (outcome.failure != EditFailure::kRefused) {
        why = ComposeErrorReport(why, {outcome.why.code, UnreadableReason(outcome.why)});
      }
      refused.push_back(name + why);
    } else if (report.repaired) {
      recovered.push_back(name + RepairResultText(report));
    } else {
      refused.push_back(name + RepairResultText(report));  // whole by now: nothing to repair
    }
    result.refreshed.push_back(ReadLibraryRowOrFailure(files, demo, buffer));
  }
  result.recovered = recovered.size();
  result.refused = refused.size();
  AppendPart(result.text, text::kLibraryRepaired, recovered);
  AppendPart(result.text, text::kLibraryNotRepaired, refused);
  return result;
}

}  // namespace rewindor
