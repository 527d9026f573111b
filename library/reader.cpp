#include "library/reader.h"

#include <exception>
#include <utility>

#include "demo/facts.h"
#include "demo/messages.h"
#include "demo/read_info.h"
#include "demo/report.h"

namespace rewindor {

LibraryRow ReadLibraryRow(FileSystem& files, const LibraryFile& file, ImageBuffer& buffer) {
  LibraryRow row;
  row.file = file;
  DemoReport report = ReadDemoReport(files, file.path, {.facts = true, .buffer = &buffer});
  if (report.error) {
    row.error = UnreadableDemoText(report.error->why);
    return row;
  }
  row.file.size = report.image.size();  // as read: a repair changes it
  DemoFacts& facts = report.facts;
  row.state = !facts.demo                     ? DemoState::kNotADemo
              : facts.finished                ? DemoState::kFinished
              : files.BeingWritten(file.path) ? DemoState::kBeingWritten
                                              : DemoState::kUnfinished;
  row.map = std::move(report.inspection.header.mapName);
  row.duration = facts.duration;
  row.server = std::move(facts.server);
  if (!report.inspection.hltv) row.recorder = std::move(facts.recorder);
  row.players = std::move(report.inspection.playerNames);
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

LibraryReader::LibraryReader(FileSystem& files, Folders& folders, std::string folder, bool subfolders,
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

void LibraryReader::Run(FileSystem& files, Folders& folders, const std::string& folder, bool subfolders,
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

}  // namespace rewindor
