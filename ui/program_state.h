// What the program keeps for its whole life: set by its entry, held by the
// main window.
#pragma once

#include <windows.h>

#include <string>

#include "demo/read_info.h"
#include "settings/settings_store.h"

namespace rewindor::ui {

struct ProgramState {
  HINSTANCE instance = nullptr;
  std::string executablePath;
  std::string pendingDemoPath;      // from the command line, or handed over by a second start
  ReaderState reader;               // the program folder and the current mod name
  HBITMAP mapPicture = nullptr;     // the map picture of the demo read last, or none
  UnshownSettings unshownSettings;  // the settings a save leaves alone until their fields change
  bool demoUnreadable = false;      // the last read of the demo named failed: nothing to play
};

}  // namespace rewindor::ui
