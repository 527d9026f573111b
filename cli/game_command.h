// rewindor-cli game [--json]: finds the game as the window does at its start,
// and the game's mod folders that hold demos, so that `info` can be pointed at
// them.
#pragma once

#include "cli/cli.h"
#include "launch/game_finder.h"

namespace rewindor::cli {

// Prints what was found (one JSON line with `json`, else lines); 0 when a
// game was found, 1 when none.
int RunGameCommand(bool json, GameSources& sources, GameSystem system, Console& console);

}  // namespace rewindor::cli
