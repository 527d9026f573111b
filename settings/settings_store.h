// The settings store: the game path, the extra options and the demo speed
// kept from one run to the next as three text values of the per-user key
// below. There is no copy in memory: while the program runs the main window's
// fields are the settings; the window hands their texts in as a `Settings`
// record and shows the record a load gives back.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "demo/files.h"
#include "demo/registry.h"

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

// The three texts, each as its field holds it (at most 259 characters).
struct Settings {
  std::string gamePath;     // "Path"
  std::string gameOptions;  // "CommandLine"
  std::string demoSpeed;    // "DemoSpeed"
  friend bool operator==(const Settings&, const Settings&) = default;
};

// A failure for the window to report: "<text>: <the system's reason>".
struct SettingsError {
  std::string text;
  SystemError why;
};
using SettingsErrors = std::vector<SettingsError>;

// The values a load could not show whole (one too long, not a text, not
// readable, or holding more than its text: something after a zero, a lone
// surrogate), each by its value's name with the text its field held once the
// window had started. A save leaves such a value as it is stored while its
// field still holds that text: only the user's change is written over it.
using UnshownSettings = std::map<std::string, std::string>;

struct LoadedSettings {
  Settings settings;      // for the fields to show
  SettingsErrors errors;  // in the order the values were read
  UnshownSettings unshown;
};

// The three values read over `shown`, the fields' texts now. A key that
// cannot be opened (never saved) ends it silently; each value that cannot be
// read is an error and keeps its field's text; the others are still read.
LoadedSettings LoadSettings(Registry& registry, const Settings& shown);

// The fields' texts now, for the values `unshown` names: taken once the
// window has filled its fields by other means too (the found game).
void TakeUnshownTexts(const Settings& shown, UnshownSettings& unshown);

// Writes the fields' texts (cut to 259, 259 and 19 characters), but not a
// value of `unshown` whose field still holds the text kept there. A key that
// cannot be created is an error and nothing is written; each value that
// cannot be written is an error and the next is still written. A value
// written is no longer kept in `unshown`.
SettingsErrors SaveSettings(Registry& registry, const Settings& shown, UnshownSettings& unshown);
inline SettingsErrors SaveSettings(Registry& registry, const Settings& shown) {
  UnshownSettings none;
  return SaveSettings(registry, shown, none);
}

}  // namespace rewindor
