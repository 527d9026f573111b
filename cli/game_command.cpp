#include "cli/game_command.h"

#include <algorithm>

#include "cli/json.h"

namespace rewindor::cli {

namespace {

constexpr char kGameUsage[] = "Usage: rewindor-cli game [--json]  (rewindor-cli --help tells more)\n";

bool IsOption(const std::string& arg) { return arg.size() >= 2 && arg[0] == '-'; }

void PrintJson(const std::optional<FoundGame>& game, const std::vector<DemoFolder>& folders, Console& console) {
  JsonObject json;
  json.Add("command", "game").AddBool("found", game.has_value());
  if (game) {
    std::vector<JsonObject> listed;
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
  for (const DemoFolder& folder : folders) text += "Demos: " + folder.path + " (" + std::to_string(folder.demos) + ")\n";
  console.Out(text);
}

}  // namespace

bool IsGameCommand(const std::vector<std::string>& args) {
  auto command = std::find_if_not(args.begin(), args.end(), IsOption);
  return command != args.end() && *command == "game";
}

int RunGameCommand(const std::vector<std::string>& args, GameSources& sources, GameSystem system, Console& console) {
  bool json = false, seenCommand = false;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      console.Out(kUsage);
      return kExitOk;
    }
    if (arg == "--json") {
      json = true;
    } else if (!seenCommand && arg == "game") {
      seenCommand = true;
    } else {
      console.Err("rewindor-cli: game takes no " + std::string(IsOption(arg) ? "option " : "PATH ") + arg + "\n" +
                  kGameUsage);
      return kExitUsage;
    }
  }
  std::optional<FoundGame> game = FindGame(sources, system);
  std::vector<DemoFolder> folders;
  if (game) folders = DemoFolders(sources, game->folder, system);
  (json ? PrintJson : PrintPlain)(game, folders, console);
  return game ? kExitOk : kExitFailed;
}

}  // namespace rewindor::cli
