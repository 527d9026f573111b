#include "ui/game_start.h"

#include "demo/ascii.h"
#include "demo/demo_format.h"
#include "launch/game_finder.h"
#include "res/resource.h"
#include "ui/win_text.h"

namespace rewindor::ui {

void FillFoundGame(Settings& settings) {
  if (!settings.gamePath.empty()) return;
  if (std::optional<FoundGame> game = FindGame(NativeGameSources(), NativeGameSystem())) {
    settings.gamePath = game->executable;
  }
}

std::string NamedGameFolder(HWND mainWindow) {
  std::string executable = ControlText(mainWindow, IDC_GAME_PATH, kMaxPathChars);
  return executable.find('\\') == std::string::npos ? std::string() : std::string(BeforeLastBackslash(executable));
}

std::string StartFolderOf(HWND mainWindow, const std::string& programFolder) {
  return StartFolder(NativeGameSources(), programFolder, NamedGameFolder(mainWindow), NativeGameSystem());
}

}  // namespace rewindor::ui
