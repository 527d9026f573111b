// rewindor-cli game [--json]: finds the game as the window does at its start,
// and the game's mod folders that hold demos, so that `info` can be pointed at
// them.
#pragma once

#include <string>
#include <vector>

#include "cli/cli.h"
#include "launch/game_finder.h"

namespace rewindor::cli {

// True when the command line's command (its first word that is not an option) is "game".
bool IsGameCommand(const std::vector<std::string>& args);

// Prints what was found; 0 when a game was found, 1 when none, 2 for wrong usage.
int RunGameCommand(const std::vector<std::string>& args, GameSources& sources, GameSystem system, Console& console);

}  // namespace rewindor::cli
