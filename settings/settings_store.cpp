#include "settings/settings_store.h"

#include <iterator>

#include "demo/demo_format.h"
#include "res/resource.h"

namespace rewindor {

namespace {

struct SettingsValue {
  const char* name;
  int control;
  std::size_t maxChars;
  const char* saveFailure;
  const char* loadFailure;
};

// In the order they are written and read.
constexpr SettingsValue kValues[] = {
    {"Path", IDC_GAME_PATH, kMaxPathChars, text::kCannotSetPath, text::kCannotReadPath},
    {"CommandLine", IDC_GAME_OPTIONS, kMaxPathChars, text::kCannotSetCommandLine, text::kCannotReadCommandLine},
    {"DemoSpeed", IDC_DEMO_SPEED, kMaxDemoSpeedChars, text::kCannotSetSpeed, text::kCannotReadSpeed},
};

// Every value is read back into room for 259 characters, the speed too: a
// longer speed stored by other means is still shown, as it was stored.
constexpr std::size_t kReadCapacity = RegistryTextCapacity(kMaxPathChars);

}  // namespace

UnshownSettings LoadSettings(SettingsWindow& window, Registry& registry) {
  UnshownSettings unshown;
  if (registry.OpenKeyForQuery(kSettingsKey) != 0) return unshown;
  for (const SettingsValue& v : kValues) {
    RegistryValue value;
    std::uint32_t status = registry.QueryValue(v.name, kReadCapacity, value);
    std::string stored;
    SystemError why;
    if (status == kStatusMoreData) {
      why = {status, text::kReasonValueTooLong};
    } else if (status != 0) {
      why = registry.Describe(status);
    } else if (DecodeRegistryText(value, stored, why)) {
      window.SetControlText(v.control, stored);
      if (!IsWholeRegistryText(value, stored)) unshown[v.control] = stored;
      continue;
    }
    window.ReportError(v.loadFailure, why);
    // A value that is there but cannot be read stays; a missing one has nothing to keep.
    if (status != kStatusNotFound) unshown[v.control] = window.ControlText(v.control, kMaxPathChars);
  }
  registry.CloseKey();
  return unshown;
}

void TakeUnshownTexts(SettingsWindow& window, UnshownSettings& unshown) {
  for (auto& [control, text] : unshown) text = window.ControlText(control, kMaxPathChars);
}

void SaveSettings(SettingsWindow& window, Registry& registry, UnshownSettings& unshown) {
  // The texts are taken before the key is touched, as the user left them.
  std::string texts[std::size(kValues)];
  for (std::size_t i = 0; i < std::size(kValues); ++i) {
    texts[i] = window.ControlText(kValues[i].control, kValues[i].maxChars);
  }
  if (std::uint32_t status = registry.CreateKey(kSettingsKey); status != 0) {
    window.ReportError(text::kCannotCreateSettingsKey, registry.Describe(status));
    return;
  }
  for (std::size_t i = 0; i < std::size(kValues); ++i) {
    const int control = kValues[i].control;
    if (auto kept = unshown.find(control);
        kept != unshown.end() && window.ControlText(control, kMaxPathChars) == kept->second) {
      continue;  // as the load left it: the stored value stays
    }
    std::uint32_t status = registry.SetValue(kValues[i].name, kRegistryTextType, EncodeRegistryText(texts[i]));
    if (status != 0) {
      window.ReportError(kValues[i].saveFailure, registry.Describe(status));
    } else {
      unshown.erase(control);
    }
  }
  registry.CloseKey();
}

}  // namespace rewindor
