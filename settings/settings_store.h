// The settings store: the game path, the extra options and the demo speed
// (controls 1011, 1013 and 1026) kept from one run to the next as three text
// values of the per-user key below. There is no copy in memory: while the
// program runs the controls are the settings.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "demo/files.h"
#include "settings/registry.h"

namespace rewindor {

// Under HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "Software\\Kobaltix\\Rewindor\\Settings";

namespace text {
inline constexpr char kCannotCreateSettingsKey[] = "Could not create the settings registry key";
inline constexpr char kCannotSetPath[] = "Could not set the path key value";
inline constexpr char kCannotSetCommandLine[] = "Could not set the commandline key value";
inline constexpr char kCannotSetSpeed[] = "Could not set the speed key value";
inline constexpr char kCannotReadPath[] = "Could not read KXV1";
inline constexpr char kCannotReadCommandLine[] = "Could not read KXV2";
inline constexpr char kCannotReadSpeed[] = "Could not read KXV3";
}  // namespace text

// The main window as the settings store sees it.
class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;
  // An edit control's text, cut to at most `maxChars` characters.
  virtual std::string ControlText(int id, std::size_t maxChars) = 0;
  virtual void SetControlText(int id, std::string_view text) = 0;
  // A message box captioned "Error": "<text>: <the system's reason>".
  virtual void ReportError(std::string_view text, const SystemError& why) = 0;
};

// The values a load could not show whole (one too long, not a text, not
// readable, or holding more than its text: something after a zero, a lone
// surrogate), each by its control with the text the control held once the
// window had started. A save leaves such a value as it is stored while its
// control still holds that text: only the user's change is written over it.
using UnshownSettings = std::map<int, std::string>;

// Fills the three controls from the registry. A key that cannot be opened
// (never saved) ends it silently; each value that cannot be read is reported
// and leaves its control as it was; the others are still read. Returns the
// values not shown whole, each with its control's text as the load left it.
UnshownSettings LoadSettings(SettingsWindow& window, Registry& registry);

// The controls' texts now, for the values `unshown` names: taken once the
// window has filled its fields by other means too (the found game).
void TakeUnshownTexts(SettingsWindow& window, UnshownSettings& unshown);

// Writes the three controls' texts (cut to 259, 259 and 19 characters), but
// not a value of `unshown` whose control still holds the text kept there. A
// key that cannot be created is reported and nothing is written; each value
// that cannot be written is reported and the next is still written. A value
// written is no longer kept in `unshown`.
void SaveSettings(SettingsWindow& window, Registry& registry, UnshownSettings& unshown);
inline void SaveSettings(SettingsWindow& window, Registry& registry) {
  UnshownSettings none;
  SaveSettings(window, registry, none);
}

}  // namespace rewindor
