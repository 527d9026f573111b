#include "demo/read_info.h"

#include <algorithm>

#include "demo/facts.h"
#include "demo/info.h"
#include "demo/messages.h"
#include "demo/report.h"

namespace rewindor {

namespace {

// Opens the demo and reads it with `read`; on failure says why with the
// information reader's texts.
template <class Read>
std::optional<DemoReadError> ReadOpened(FileSystem& files, const std::string& path, Read&& read) {
  std::unique_ptr<DemoFile> file = files.OpenForReading(path);
  if (!file) return DemoReadError{text::kCannotOpenDemo, files.LastError()};
  ReadOutcome outcome = read(*file);
  switch (outcome) {
    case ReadOutcome::kOk: return std::nullopt;
    case ReadOutcome::kSizeFailed:
    case ReadOutcome::kEmpty: return DemoReadError{text::kCannotOpenDemoReason2Read, ReadFailureReason(outcome, files)};
    case ReadOutcome::kTooLarge:
    case ReadOutcome::kNoMemory:
    case ReadOutcome::kShortRead: return DemoReadError{text::kCannotReadIntoMemory, ReadFailureReason(outcome, files)};
  }
  return DemoReadError{text::kCannotReadIntoMemory, ReadFailureReason(ReadOutcome::kShortRead, files)};
}

// The events are read through the window on their own, nothing else.
bool EventsAlone(const DemoReportOptions& options) { return options.events && options.buffer == nullptr; }

// The demo read as asked: whole into the buffer, or through a window.
std::optional<DemoReadError> ReadReading(FileSystem& files, const std::string& path, const DemoReportOptions& options,
                                         DemoReport& report) {
  const bool facts = options.facts || options.playersFromRoster;
  if (EventsAlone(options)) {
    return ReadOpened(files, path, [&](DemoFile& file) { return ReadDemoEvents(file, report.events, options.window); });
  }
  if (options.buffer == nullptr) {
    DemoReading reading;
    const DemoReadOptions read{.facts = facts, .window = options.window, .key = options.playerKey};
    if (auto error = ReadOpened(files, path, [&](DemoFile& file) { return ReadDemo(file, reading, read); })) {
      return error;
    }
    report.inspection = std::move(reading.inspection);
    report.facts = std::move(reading.facts);
    return std::nullopt;
  }
  if (auto error = ReadDemoImage(files, path, *options.buffer, report.image)) return error;
  report.inspection = InspectDemo(report.image, options.playerKey);
  if (facts) report.facts = ReadDemoFacts(report.image, report.inspection.hltv);
  if (options.events) report.events = ReadDemoEvents(report.image);
  return std::nullopt;
}

// The program folder's picture; the game's overviews, tried in order without it.
void FindPictures(const DemoReportOptions& options, DemoReport& report) {
  const std::string_view map = report.inspection.header.mapName;
  report.picture = MapPicturePath(options.programFolder, report.mod, map, options.decodeDemoText);
  report.overviews = MapOverviewPaths(options.gameFolder, report.mod, map, options.decodeDemoText);
}

}  // namespace

std::string DemoReadError::Words() const { return ComposeErrorReport(text, why); }

std::optional<DemoReadError> ReadDemoImage(FileSystem& files, const std::string& path, ImageBuffer& buffer,
                                           ByteView& image) {
  return ReadOpened(files, path, [&](DemoFile& file) { return buffer.Read(file, image); });
}

DemoReport ReadDemoReport(FileSystem& files, const std::string& path, const DemoReportOptions& options) {
  DemoReport report;
  if (std::optional<DemoReadError> error = ReadReading(files, path, options, report)) {
    DemoReport failed;
    failed.error = std::move(error);
    return failed;
  }
  if (EventsAlone(options)) return report;
  const DemoInspection& inspection = report.inspection;
  // A name joins unless one with the same key has: one look-up per name,
  // never a search of the names. The cap counts names so told apart.
  report.playersNotListed = inspection.playersNotListed;
  std::vector<std::string> roster;
  if (options.playersFromRoster) {
    roster = report.facts.roster;
    report.playersNotListed = std::max(report.playersNotListed, report.facts.rosterNotListed);
  }
  report.players = DemoPlayers(inspection, roster, options.playerKey);
  report.summary = ComposeDemoSummary(inspection);
  report.mod = inspection.header.gameDir;
  FindPictures(options, report);
  return report;
}

}  // namespace rewindor
