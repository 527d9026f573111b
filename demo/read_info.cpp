#include "demo/read_info.h"

#include <algorithm>

#include "demo/facts.h"
#include "demo/info.h"
#include "demo/messages.h"

namespace rewindor {

namespace {

// Opens the demo and reads it with `read`, reporting a failure with the
// information reader's texts.
template <class Read>
bool ReadReported(FileSystem& files, const std::string& path, const ReadFailureReport& report, Read&& read) {
  std::unique_ptr<DemoFile> file = files.OpenForReading(path);
  if (!file) {
    report(text::kCannotOpenDemo, files.LastError());
    return false;
  }
  ReadOutcome outcome = read(*file);
  switch (outcome) {
    case ReadOutcome::kOk:
      return true;
    case ReadOutcome::kSizeFailed:
    case ReadOutcome::kEmpty:
      report(text::kCannotOpenDemoReason2Read, ReadFailureReason(outcome, files));
      return false;
    case ReadOutcome::kTooLarge:
    case ReadOutcome::kNoMemory:
    case ReadOutcome::kShortRead:
      report(text::kCannotReadIntoMemory, ReadFailureReason(outcome, files));
      return false;
  }
  return false;
}

// The program folder's picture as it is; without one, the game's overview.
void LoadPicture(InfoWindow& window, const ReaderState& state, std::string_view map) {
  if (auto picture = MapPicturePath(state.programFolder, state.currentMod, map, state.decodeDemoText)) {
    window.LoadMapPicture(*picture);
  }
  if (window.HasMapPicture()) return;
  for (const std::string& overview : MapOverviewPaths(window.GameFolder(), state.currentMod, map,
                                                      state.decodeDemoText)) {
    if (window.LoadMapOverview(overview)) return;
  }
}

}  // namespace

bool ReadDemoImage(FileSystem& files, const std::string& path, Bytes& image, const ReadFailureReport& report) {
  return ReadReported(files, path, report, [&image](DemoFile& file) { return ReadWhole(file, image); });
}

bool ReadDemoImage(FileSystem& files, const std::string& path, ImageBuffer& buffer, ByteView& image,
                   const ReadFailureReport& report) {
  return ReadReported(files, path, report, [&](DemoFile& file) { return buffer.Read(file, image); });
}

bool ReadDemoInfo(InfoWindow& window, FileSystem& files, ReaderState& state, const DemoReadSink& read) {
  // A name is added unless the list holds it already in any letter case, as
  // the list compares: one look-up per name, never a search of the list. The
  // list's cap counts names so told apart.
  const auto key = [&window](std::string_view name) { return window.PlayerKey(name); };
  DemoReading reading;
  const DemoReadOptions options{.facts = read != nullptr || state.playersFromRoster, .window = state.window, .key = key};
  const auto failed = [&window](std::string_view text, const SystemError& why) {
    window.ReportError(text, why);
    window.ShowUnreadable(why);
  };
  if (!ReadReported(files, window.DemoPath(), failed, [&](DemoFile& file) { return ReadDemo(file, reading, options); })) {
    return false;
  }

  const DemoInspection& inspection = reading.inspection;
  window.ClearPlayers();
  std::uint64_t notListed = inspection.playersNotListed;
  std::vector<std::string> roster;
  if (state.playersFromRoster) {
    roster = reading.facts.roster;
    notListed = std::max(notListed, reading.facts.rosterNotListed);
  }
  for (const std::string& name : DemoPlayers(inspection, roster, key)) window.AddPlayer(name);
  if (notListed > 0) window.AddPlayersNotListed(notListed);
  window.SetInfoText(ComposeDemoSummary(inspection));
  state.currentMod = inspection.header.gameDir;
  LoadPicture(window, state, inspection.header.mapName);
  window.Redraw();
  if (read) read(reading);
  return true;
}

}  // namespace rewindor
