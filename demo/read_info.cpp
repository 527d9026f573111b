#include "demo/read_info.h"

#include "demo/info.h"
#include "demo/messages.h"

namespace rewindor {

bool ReadDemoInfo(InfoWindow& window, FileSystem& files, ReaderState& state) {
  std::string path = window.DemoPath();
  std::unique_ptr<DemoFile> file = files.OpenForReading(path);
  if (!file) {
    window.ReportError(text::kCannotOpenDemo, files.LastError());
    return false;
  }
  Bytes image;
  ReadOutcome outcome = ReadWhole(*file, image);
  switch (outcome) {
    case ReadOutcome::kOk:
      break;
    case ReadOutcome::kSizeFailed:
    case ReadOutcome::kEmpty:
      window.ReportError(text::kCannotOpenDemoReason2Read, ReadFailureReason(outcome, files));
      return false;
    case ReadOutcome::kTooLarge:
    case ReadOutcome::kNoMemory:
    case ReadOutcome::kShortRead:
      window.ReportError(text::kCannotReadIntoMemory, ReadFailureReason(outcome, files));
      return false;
  }

  DemoFacts facts = InspectDemo(image);
  window.ClearPlayers();
  for (const std::string& name : facts.playerNames) {
    if (!window.HasPlayer(name)) window.AddPlayer(name);
  }
  window.SetInfoText(ComposeDemoSummary(facts));
  state.currentMod = facts.header.gameDir;
  if (auto picture = MapPicturePath(state.programFolder, state.currentMod, facts.header.mapName,
                                    state.decodeDemoText)) {
    window.LoadMapPicture(*picture);
  }
  window.Redraw();
  return true;
}

}  // namespace rewindor
