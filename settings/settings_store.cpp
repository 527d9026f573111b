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

void LoadSettings(SettingsWindow& window, Registry& registry) {
  if (registry.OpenKeyForQuery(kSettingsKey) != 0) return;
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
      continue;
    }
    window.ReportError(v.loadFailure, why);
  }
  registry.CloseKey();
}

void SaveSettings(SettingsWindow& window, Registry& registry) {
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
    std::uint32_t status = registry.SetValue(kValues[i].name, kRegistryTextType, EncodeRegistryText(texts[i]));
    if (status != 0) window.ReportError(kValues[i].saveFailure, registry.Describe(status));
  }
  registry.CloseKey();
}

}  // namespace rewindor
