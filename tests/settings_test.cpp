// The settings store on records and an in-memory registry: what is stored
// byte for byte, what loads back, and how each failure is reported without
// stopping the other values.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "demo/utf8.h"
#include "tests/support/fake_registry.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rewindor {
namespace {

// The boxes the window shows for the errors, in order.
std::vector<std::string> Reports(const SettingsErrors& errors) {
  std::vector<std::string> reports;
  for (const SettingsError& e : errors) reports.push_back(e.text + ": " + e.why.text);
  return reports;
}

const std::string kKey = "Software\\Kobaltix\\Rewindor\\Settings";

class SettingsTest : public ::testing::Test {
 protected:
  FakeRegistry registry;
};

TEST_F(SettingsTest, FirstRunWithoutKeyIsSilent) {
  const Settings shown{"keep", "", "1"};
  LoadedSettings loaded = LoadSettings(registry, shown);
  EXPECT_TRUE(loaded.errors.empty());
  EXPECT_EQ(loaded.settings, shown);
  EXPECT_EQ(registry.log, std::vector<std::string>{"open " + kKey});
}

TEST_F(SettingsTest, SavedAsUtf16TextsAndLoadedBack) {
  const Settings saved{"C:\\Игры\\Half-Life\\hl.exe", "", "1.5"};
  EXPECT_TRUE(SaveSettings(registry, saved).empty());
  EXPECT_EQ(registry.log, (std::vector<std::string>{"create " + kKey, "set " + kKey + "|Path",
                                                    "set " + kKey + "|CommandLine", "set " + kKey + "|DemoSpeed",
                                                    "close"}));
  const RegistryValue& speed = registry.keys[kKey]["DemoSpeed"];
  EXPECT_EQ(speed.type, 1u);
  EXPECT_EQ(speed.data, (Bytes{'1', 0, '.', 0, '5', 0, 0, 0}));
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].data, (Bytes{0, 0}));  // empty: the terminator alone

  LoadedSettings loaded = LoadSettings(registry, {"old", "old", "old"});
  EXPECT_TRUE(loaded.errors.empty());
  EXPECT_EQ(loaded.settings, saved);
}

TEST_F(SettingsTest, SaveCutsToTheFieldLimits) {
  SaveSettings(registry, {std::string(300, 'p'), std::string(259, 'o'), std::string(25, '9')});
  EXPECT_EQ(registry.TextAt(kKey, "Path"), std::string(259, 'p'));
  EXPECT_EQ(registry.TextAt(kKey, "CommandLine"), std::string(259, 'o'));
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), std::string(19, '9'));
}

TEST_F(SettingsTest, SaveReportsEachFailureAndGoesOn) {
  registry.keys[kKey]["Other"] = FakeRegistry::Text("untouched");
  registry.setFailures[kKey + "|Path"] = FakeRegistry::kAccessDenied;
  const Settings shown{"hl.exe", "-dev", "2"};
  EXPECT_EQ(Reports(SaveSettings(registry, shown)),
            std::vector<std::string>{"Could not set the path key value: status 5"});
  EXPECT_EQ(registry.TextAt(kKey, "CommandLine"), "-dev");
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), "2");
  EXPECT_EQ(registry.TextAt(kKey, "Other"), "untouched");
  EXPECT_EQ(registry.log.back(), "close");

  FakeRegistry locked;
  locked.createFailures[kKey] = FakeRegistry::kAccessDenied;
  EXPECT_EQ(Reports(SaveSettings(locked, shown)),
            std::vector<std::string>{"Could not create the settings registry key: status 5"});
  EXPECT_EQ(locked.log, std::vector<std::string>{"create " + kKey});
}

// One stored value at a time is bad; the other two load.
struct LoadCase {
  const char* name;
  const char* value;  // which value is bad
  std::optional<RegistryValue> stored;  // nothing: the value is missing
  std::string error;  // empty: it loads
  std::string Settings::*field;
  std::string shown;  // the field's text afterwards
};

class LoadTest : public SettingsTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, BadValueReportedAloneAndItsControlKept) {
  const LoadCase& c = GetParam();
  registry.keys[kKey] = {{"Path", FakeRegistry::Text("C:\\HL\\hl.exe")},
                         {"CommandLine", FakeRegistry::Text("-dev")},
                         {"DemoSpeed", FakeRegistry::Text("1")}};
  if (c.stored) {
    registry.keys[kKey][c.value] = *c.stored;
  } else {
    registry.keys[kKey].erase(c.value);
  }
  LoadedSettings loaded = LoadSettings(registry, {"before", "before", "before"});

  Settings expected{"C:\\HL\\hl.exe", "-dev", "1"};
  expected.*c.field = c.shown;
  EXPECT_EQ(loaded.settings, expected);
  if (!c.error.empty()) {
    EXPECT_EQ(Reports(loaded.errors), std::vector<std::string>{c.error});
  } else {
    EXPECT_TRUE(loaded.errors.empty());
  }
  EXPECT_EQ(registry.log.back(), "close");
}

RegistryValue Raw(std::uint32_t type, Bytes data) { return {type, std::move(data)}; }

INSTANTIATE_TEST_SUITE_P(
    Values, LoadTest,
    ::testing::Values(
        LoadCase{"CommandLineMissing", "CommandLine", std::nullopt, "Could not read KXV2: status 2", &Settings::gameOptions, "before"},
        LoadCase{"PathOf259Loads", "Path", FakeRegistry::Text(std::string(259, 'p')), "", &Settings::gamePath,
                 std::string(259, 'p')},
        LoadCase{"PathOver259NotCut", "Path", FakeRegistry::Text(std::string(260, 'p')),
                 "Could not read KXV1: Сохранённый текст длиннее 259 знаков.", &Settings::gamePath, "before"},
        LoadCase{"LongSpeedStillLoads", "DemoSpeed", FakeRegistry::Text(std::string(40, '1')), "", &Settings::demoSpeed,
                 std::string(40, '1')},
        LoadCase{"SpeedAsNumber", "DemoSpeed", Raw(4, {1, 0, 0, 0}),
                 "Could not read KXV3: Сохранённое значение не текст (REG_SZ).", &Settings::demoSpeed, "before"},
        // Without its terminator a text is read whole, as RegGetValue reads it.
        LoadCase{"Unterminated", "CommandLine", Raw(1, {'a', 0, 'b', 0}), "", &Settings::gameOptions, "ab"},
        LoadCase{"OddTailDropped", "CommandLine", Raw(1, {'a', 0, 'b'}), "", &Settings::gameOptions, "a"},
        LoadCase{"NoBytesAtAllIsEmpty", "CommandLine", Raw(1, {}), "", &Settings::gameOptions, ""},
        LoadCase{"TextEndsAtFirstTerminator", "DemoSpeed", Raw(1, {'2', 0, 0, 0, 'x', 0}), "", &Settings::demoSpeed, "2"}),
    [](const auto& p) { return std::string(p.param.name); });

// A stored value the load could not show whole survives a save of the
// untouched field, also when the found game filled that field afterwards, and
// is written over once the user changes the field.
struct UnshownCase {
  const char* name;
  RegistryValue stored;  // as "CommandLine"
  std::string shown;     // the options' field after the load
};

class UnshownTest : public SettingsTest, public ::testing::WithParamInterface<UnshownCase> {};

TEST_P(UnshownTest, KeptBySavesUntilItsFieldChanges) {
  const UnshownCase& c = GetParam();
  registry.keys[kKey] = {{"Path", FakeRegistry::Text("C:\\HL\\hl.exe")}, {"CommandLine", c.stored}};
  LoadedSettings loaded = LoadSettings(registry, {});
  EXPECT_EQ(loaded.settings.gameOptions, c.shown);
  Settings shown = loaded.settings;
  TakeUnshownTexts(shown, loaded.unshown);
  UnshownSettings& unshown = loaded.unshown;

  SaveSettings(registry, shown, unshown);
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].data, c.stored.data);
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].type, c.stored.type);
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), "");  // the others are written as ever

  shown.gameOptions = "-dev";
  SaveSettings(registry, shown, unshown);
  EXPECT_EQ(registry.TextAt(kKey, "CommandLine"), "-dev");
  EXPECT_TRUE(unshown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, UnshownTest,
    ::testing::Values(
        // '-', 'a', zero, then 'b': the text shown ends at the zero.
        UnshownCase{"TextAfterZero", Raw(1, {'-', 0, 'a', 0, 0, 0, 'b', 0, 0, 0}), "-a"},
        // 'x', then a lone high surrogate D800, then the terminator.
        UnshownCase{"LoneSurrogate", Raw(1, {'x', 0, 0x00, 0xD8, 0, 0}), "x\xEF\xBF\xBD"},
        UnshownCase{"OddTail", Raw(1, {'x', 0, 'y'}), "x"},
        UnshownCase{"TooLong", FakeRegistry::Text(std::string(300, 'o')), ""},
        UnshownCase{"NotText", Raw(4, {1, 0, 0, 0}), ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SettingsTest, ShownWholeOrMissingValuesAreWrittenAsEver) {
  registry.keys[kKey] = {{"Path", FakeRegistry::Text("a")},
                         {"CommandLine", Raw(1, {'a', 0, 'b', 0})},  // no terminator, but whole
                         {"DemoSpeed", Raw(1, {'2', 0, 0, 0, 0, 0})}};  // zeros after the text
  EXPECT_TRUE(LoadSettings(registry, {}).unshown.empty());
  registry.keys[kKey].erase("DemoSpeed");
  EXPECT_TRUE(LoadSettings(registry, {}).unshown.empty());  // missing: nothing to keep
}

TEST_F(SettingsTest, AnUnshownValueStaysWhenTheFoundGameFillsItsField) {
  registry.keys[kKey] = {{"Path", Raw(4, {1, 0, 0, 0})}};
  LoadedSettings loaded = LoadSettings(registry, {});
  loaded.settings.gamePath = "C:\\found\\hl.exe";
  TakeUnshownTexts(loaded.settings, loaded.unshown);
  SaveSettings(registry, loaded.settings, loaded.unshown);
  EXPECT_EQ(registry.keys[kKey]["Path"].type, 4u);
}

// A text read as a path is, from either hive: whole or nothing.
TEST(RegistryTextTest, OnlyWholeTextsThatFit) {
  FakeRegistry registry;
  const std::string key = "Software\\Valve\\Steam";
  registry.keys[key] = {
      {"Text", Raw(1, {'c', 0, ':', 0, 0, 0})},
      {"Unterminated", Raw(1, {'c', 0, ':', 0})},
      {"Odd", Raw(1, {'c', 0, ':'})},
      {"Number", Raw(4, {7, 0, 0, 0})},
      {"Expandable", Raw(2, {'c', 0, 0, 0})},           // REG_EXPAND_SZ
      {"Of259", FakeRegistry::Text(std::string(259, 'x'))},
      {"Of260", Raw(1, Bytes(520, 'x'))},               // fills the buffer with no zero unit
      {"Of300", FakeRegistry::Text(std::string(300, 'x'))}};
  registry.keys["HKLM\\" + key] = {{"InstallPath", FakeRegistry::Text("D:\\Steam")}};
  const auto read = [&](RegistryHive hive, const char* name) {
    return ReadRegistryText(registry, hive, key, name, 259);
  };
  EXPECT_EQ(read(RegistryHive::kCurrentUser, "Text"), "c:");
  EXPECT_EQ(read(RegistryHive::kCurrentUser, "Unterminated"), "c:");
  EXPECT_EQ(read(RegistryHive::kCurrentUser, "Of259"), std::string(259, 'x'));
  for (const char* skipped : {"Odd", "Number", "Expandable", "Of260", "Of300", "Missing", "InstallPath"}) {
    EXPECT_EQ(read(RegistryHive::kCurrentUser, skipped), std::nullopt) << skipped;
  }
  EXPECT_EQ(read(RegistryHive::kLocalMachine, "InstallPath"), "D:\\Steam");
  EXPECT_EQ(ReadRegistryText(registry, RegistryHive::kCurrentUser, "Software\\None", "Text", 259), std::nullopt);
  EXPECT_EQ(registry.log.back(), "open Software\\None");
  EXPECT_EQ(registry.log[registry.log.size() - 2], "close");  // every key opened is closed again
}

#ifdef _WIN32
// The real registry, under a key of the test's own that is removed afterwards.
TEST(NativeRegistryTest, TextsStoredAsUtf16AndReadBackWithinTheBuffer) {
  const std::string key = "Software\\Kobaltix\\Rewindor\\Test-" + std::to_string(GetCurrentProcessId());
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  ASSERT_EQ(registry->CreateKey(key), 0u);
  EXPECT_EQ(registry->SetValue("Path", kRegistryTextType, EncodeRegistryText("C:\\Игры\\hl.exe")), 0u);
  EXPECT_EQ(registry->SetValue("", kRegistryTextType, EncodeRegistryText("default")), 0u);
  registry->CloseKey();

  ASSERT_EQ(registry->OpenKeyForQuery(RegistryHive::kCurrentUser, key), 0u);
  RegistryValue value;
  std::string text;
  SystemError why;
  ASSERT_EQ(registry->QueryValue("Path", RegistryTextCapacity(259), value), 0u);
  EXPECT_EQ(value.type, kRegistryTextType);
  EXPECT_EQ(value.data.size(), (std::u16string(u"C:\\Игры\\hl.exe").size() + 1) * 2);
  ASSERT_TRUE(DecodeRegistryText(value, text, why));
  EXPECT_EQ(text, "C:\\Игры\\hl.exe");
  ASSERT_EQ(registry->QueryValue("", RegistryTextCapacity(259), value), 0u);
  ASSERT_TRUE(DecodeRegistryText(value, text, why));
  EXPECT_EQ(text, "default");

  EXPECT_EQ(registry->QueryValue("Path", 4, value), kStatusMoreData);
  EXPECT_EQ(registry->QueryValue("Nothing", 520, value), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  // Opened for reading only.
  EXPECT_NE(registry->SetValue("Path", kRegistryTextType, EncodeRegistryText("x")), 0u);
  registry->CloseKey();

  // A text stored without its terminator, by another program: the byte after
  // the data is not zero, so nothing supplies one.
  const wchar_t stored[] = L"-devX";
  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(Utf8ToUtf16(key).c_str()), 0,
                          KEY_SET_VALUE, &raw),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(raw, L"CommandLine", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored), 8), ERROR_SUCCESS);
  RegCloseKey(raw);
  ASSERT_EQ(registry->OpenKeyForQuery(RegistryHive::kCurrentUser, key), 0u);
  ASSERT_EQ(registry->QueryValue("CommandLine", RegistryTextCapacity(259), value), 0u);
  EXPECT_EQ(value.data.size(), 8u);
  ASSERT_TRUE(DecodeRegistryText(value, text, why));
  EXPECT_EQ(text, "-dev");
  EXPECT_TRUE(IsWholeRegistryText(value, text));
  registry->CloseKey();

  std::u16string wideKey = Utf8ToUtf16(key);
  RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(wideKey.c_str()));
  EXPECT_NE(registry->OpenKeyForQuery(RegistryHive::kCurrentUser, key), 0u);
}
#endif

}  // namespace
}  // namespace rewindor
