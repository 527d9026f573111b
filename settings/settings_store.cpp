#include "settings/settings_store.h"

#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

struct SettingsValue {
  const char* name;
  std::string Settings::*text;
  std::size_t maxChars;
  const char* saveFailure;
  const char* loadFailure;
};

// In the order they are written and read.
constexpr SettingsValue kValues[] = {
    {"Path", &Settings::gamePath, kMaxPathChars, text::kCannotSetPath, text::kCannotReadPath},
    {"CommandLine", &Settings::gameOptions, kMaxPathChars, text::kCannotSetCommandLine, text::kCannotReadCommandLine},
    {"DemoSpeed", &Settings::demoSpeed, kMaxDemoSpeedChars, text::kCannotSetSpeed, text::kCannotReadSpeed},
};

// Every value is read back into room for 259 characters, the speed too: a
// longer speed stored by other means is still shown, as it was stored.
constexpr std::size_t kReadCapacity = RegistryTextCapacity(kMaxPathChars);

// Reads one value into its field of `loaded`, or tells why it could not.
void LoadValue(Registry& registry, const SettingsValue& v, LoadedSettings& loaded) {
  std::string& field = loaded.settings.*v.text;
  RegistryValue value;
  const std::uint32_t status = registry.QueryValue(v.name, kReadCapacity, value);
  SystemError why;
  if (status == kStatusMoreData) {
    why = {status, text::kReasonValueTooLong};
  } else if (status != 0) {
    why = registry.Describe(status);
  } else if (DecodeRegistryText(value, field, why)) {
    if (!IsWholeRegistryText(value, field)) loaded.unshown[v.name] = field;
    return;
  }
  loaded.errors.push_back({v.loadFailure, std::move(why)});
  // A value that is there but cannot be read stays; a missing one has nothing to keep.
  if (status != kStatusNotFound) loaded.unshown[v.name] = field;
}

}  // namespace

LoadedSettings LoadSettings(Registry& registry, const Settings& shown) {
  LoadedSettings loaded{shown, {}, {}};
  if (registry.OpenKeyForQuery(RegistryHive::kCurrentUser, kSettingsKey) != 0) return loaded;
  for (const SettingsValue& v : kValues) LoadValue(registry, v, loaded);
  registry.CloseKey();
  return loaded;
}

void TakeUnshownTexts(const Settings& shown, UnshownSettings& unshown) {
  for (const SettingsValue& v : kValues) {
    if (auto kept = unshown.find(v.name); kept != unshown.end()) kept->second = shown.*v.text;
  }
}

SettingsErrors SaveSettings(Registry& registry, const Settings& shown, UnshownSettings& unshown) {
  SettingsErrors errors;
  if (std::uint32_t status = registry.CreateKey(kSettingsKey); status != 0) {
    errors.push_back({text::kCannotCreateSettingsKey, registry.Describe(status)});
    return errors;
  }
  for (const SettingsValue& v : kValues) {
    const std::string& text = shown.*v.text;
    if (auto kept = unshown.find(v.name); kept != unshown.end() && text == kept->second) {
      continue;  // as the load left it: the stored value stays
    }
    const std::uint32_t status =
        registry.SetValue(v.name, kRegistryTextType, EncodeRegistryText(CutToUtf16Length(text, v.maxChars)));
    if (status != 0) {
      errors.push_back({v.saveFailure, registry.Describe(status)});
    } else {
      unshown.erase(v.name);
    }
  }
  registry.CloseKey();
  return errors;
}

}  // namespace rewindor
