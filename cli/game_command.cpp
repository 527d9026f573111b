#include "cli/game_command.h"

#include "cli/json.h"

namespace rewindor::cli {

namespace {

void PrintJson(const std::optional<FoundGame>& game, const std::vector<DemoFolder>& folders, Console& console) {
  JsonObject json;
  json.Add("command", "game").AddBool("found", game.has_value());
  if (game) {
    std::vector<JsonObject> listed;
    listed.reserve(folders.size());
    for (const DemoFolder& folder : folders) {
      listed.push_back(JsonObject().Add("path", folder.path).AddInt("demos", static_cast<std::int64_t>(folder.demos)));
    }
    json.Add("folder", game->folder).Add("exe", game->executable).Add("source", game->source);
    json.Add("demoFolders", listed);
  }
  console.Out(json.Line());
}

void PrintPlain(const std::optional<FoundGame>& game, const std::vector<DemoFolder>& folders, Console& console) {
  if (!game) {
    console.Out("Game: not found\n");
    return;
  }
  std::string text = "Game: " + game->executable + "\nFolder: " + game->folder + "\nSource: " + game->source + "\n";
  for (const DemoFolder& folder : folders)
    text += "Demos: " + folder.path + " (" + std::to_string(folder.demos) + ")\n";
  console.Out(text);
}

}  // namespace

int RunGameCommand(bool json, GameSources& sources, GameSystem system, Console& console) {
  std::optional<FoundGame> game = FindGame(sources, system);
  std::vector<DemoFolder> folders;
  if (game) folders = DemoFolders(sources, game->folder, system);
  (json ? PrintJson : PrintPlain)(game, folders, console);
  return game ? kExitOk : kExitFailed;
}

}  // namespace rewindor::cli
