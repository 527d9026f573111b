// The main window and the game found on this machine: the game path filled at
// the start when it is empty, the folder that a start without a demo lists,
// and the game folder that map overviews come from.
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings_store.h"

namespace rewindor::ui {

// Fills an empty game path with the game found on this machine (Steam, or a
// Half-Life installed before it); a saved path stands. The found path is saved
// only by "Сохранить". Shows nothing, whatever it meets.
void FillFoundGame(Settings& settings);

// The folder of the game named in 1011; empty when it names no folder.
std::string NamedGameFolder(HWND mainWindow);

// The folder that a start without a demo lists: the program folder, unless
// it holds no demo and the game's mod folder with the most demos can be listed.
std::string StartFolderOf(HWND mainWindow, const std::string& programFolder);

}  // namespace rewindor::ui
