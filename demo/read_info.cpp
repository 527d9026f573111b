#include "demo/read_info.h"

#include "demo/info.h"
#include "demo/messages.h"

namespace rewindor {

bool ReadDemoImage(FileSystem& files, const std::string& path, Bytes& image, const ReadFailureReport& report) {
  std::unique_ptr<DemoFile> file = files.OpenForReading(path);
  if (!file) {
    report(text::kCannotOpenDemo, files.LastError());
    return false;
  }
  ReadOutcome outcome = ReadWhole(*file, image);
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

bool ReadDemoInfo(InfoWindow& window, FileSystem& files, ReaderState& state, const DemoReadSink& read) {
  Bytes image;
  if (!ReadDemoImage(files, window.DemoPath(), image,
                     [&window](std::string_view text, const SystemError& why) { window.ReportError(text, why); })) {
    return false;
  }

  DemoInspection facts = InspectDemo(image);
  window.ClearPlayers();
  // A name is added unless the list holds it already in any letter case, as
  // the list compares: one look-up per name, never a search of the list.
  for (const std::string& name : DemoPlayers(facts, [&window](std::string_view n) { return window.PlayerKey(n); })) {
    window.AddPlayer(name);
  }
  if (facts.playersNotListed > 0) window.AddPlayersNotListed(facts.playersNotListed);
  window.SetInfoText(ComposeDemoSummary(facts));
  state.currentMod = facts.header.gameDir;
  if (auto picture = MapPicturePath(state.programFolder, state.currentMod, facts.header.mapName,
                                    state.decodeDemoText)) {
    window.LoadMapPicture(*picture);
  }
  window.Redraw();
  if (read) read(image, facts);
  return true;
}

}  // namespace rewindor
