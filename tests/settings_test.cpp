// The settings store through a fake window and an in-memory registry: what is
// stored byte for byte, what loads back, and how each failure is reported
// without stopping the other values.
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

class FakeWindow : public SettingsWindow {
 public:
  std::map<int, std::string> texts;
  std::vector<std::string> errors;

  std::string ControlText(int id, std::size_t maxChars) override { return texts[id].substr(0, maxChars); }
  void SetControlText(int id, std::string_view t) override { texts[id] = t; }
  void ReportError(std::string_view t, const SystemError& why) override {
    errors.push_back(std::string(t) + ": " + why.text);
  }
};

const std::string kKey = "Software\\Kobaltix\\Rewindor\\Settings";

class SettingsTest : public ::testing::Test {
 protected:
  FakeWindow window;
  FakeRegistry registry;
};

TEST_F(SettingsTest, FirstRunWithoutKeyIsSilent) {
  window.texts = {{1011, "keep"}, {1013, ""}, {1026, "1"}};
  LoadSettings(window, registry);
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(window.texts, (std::map<int, std::string>{{1011, "keep"}, {1013, ""}, {1026, "1"}}));
  EXPECT_EQ(registry.log, std::vector<std::string>{"open " + kKey});
}

TEST_F(SettingsTest, SavedAsUtf16TextsAndLoadedBack) {
  window.texts = {{1011, "C:\\Игры\\Half-Life\\hl.exe"}, {1013, ""}, {1026, "1.5"}};
  SaveSettings(window, registry);
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(registry.log, (std::vector<std::string>{"create " + kKey, "set " + kKey + "|Path",
                                                    "set " + kKey + "|CommandLine", "set " + kKey + "|DemoSpeed",
                                                    "close"}));
  const RegistryValue& speed = registry.keys[kKey]["DemoSpeed"];
  EXPECT_EQ(speed.type, 1u);
  EXPECT_EQ(speed.data, (Bytes{'1', 0, '.', 0, '5', 0, 0, 0}));
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].data, (Bytes{0, 0}));  // empty: the terminator alone

  FakeWindow fresh;
  fresh.texts = {{1011, "old"}, {1013, "old"}, {1026, "old"}};
  LoadSettings(fresh, registry);
  EXPECT_TRUE(fresh.errors.empty());
  EXPECT_EQ(fresh.texts, window.texts);
}

TEST_F(SettingsTest, SaveCutsToTheFieldLimits) {
  window.texts = {{1011, std::string(300, 'p')}, {1013, std::string(259, 'o')}, {1026, std::string(25, '9')}};
  SaveSettings(window, registry);
  EXPECT_EQ(registry.TextAt(kKey, "Path"), std::string(259, 'p'));
  EXPECT_EQ(registry.TextAt(kKey, "CommandLine"), std::string(259, 'o'));
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), std::string(19, '9'));
}

TEST_F(SettingsTest, SaveReportsEachFailureAndGoesOn) {
  registry.keys[kKey]["Other"] = FakeRegistry::Text("untouched");
  registry.setFailures[kKey + "|Path"] = FakeRegistry::kAccessDenied;
  window.texts = {{1011, "hl.exe"}, {1013, "-dev"}, {1026, "2"}};
  SaveSettings(window, registry);
  EXPECT_EQ(window.errors, std::vector<std::string>{"Could not set the path key value: status 5"});
  EXPECT_EQ(registry.TextAt(kKey, "CommandLine"), "-dev");
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), "2");
  EXPECT_EQ(registry.TextAt(kKey, "Other"), "untouched");
  EXPECT_EQ(registry.log.back(), "close");

  FakeRegistry locked;
  locked.createFailures[kKey] = FakeRegistry::kAccessDenied;
  window.errors.clear();
  SaveSettings(window, locked);
  EXPECT_EQ(window.errors, std::vector<std::string>{"Could not create the settings registry key: status 5"});
  EXPECT_EQ(locked.log, std::vector<std::string>{"create " + kKey});
}

// One stored value at a time is bad; the other two load.
struct LoadCase {
  const char* name;
  const char* value;  // which value is bad
  std::optional<RegistryValue> stored;  // nothing: the value is missing
  std::string error;  // empty: it loads
  int control;
  std::string shown;  // the control's text afterwards
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
  window.texts = {{1011, "before"}, {1013, "before"}, {1026, "before"}};
  LoadSettings(window, registry);

  std::map<int, std::string> expected = {{1011, "C:\\HL\\hl.exe"}, {1013, "-dev"}, {1026, "1"}};
  expected[c.control] = c.shown;
  EXPECT_EQ(window.texts, expected);
  if (!c.error.empty()) {
    EXPECT_EQ(window.errors, std::vector<std::string>{c.error});
  } else {
    EXPECT_TRUE(window.errors.empty());
  }
  EXPECT_EQ(registry.log.back(), "close");
}

RegistryValue Raw(std::uint32_t type, Bytes data) { return {type, std::move(data)}; }

INSTANTIATE_TEST_SUITE_P(
    Values, LoadTest,
    ::testing::Values(
        LoadCase{"CommandLineMissing", "CommandLine", std::nullopt, "Could not read KXV2: status 2", 1013, "before"},
        LoadCase{"PathOf259Loads", "Path", FakeRegistry::Text(std::string(259, 'p')), "", 1011,
                 std::string(259, 'p')},
        LoadCase{"PathOver259NotCut", "Path", FakeRegistry::Text(std::string(260, 'p')),
                 "Could not read KXV1: Сохранённый текст длиннее 259 знаков.", 1011, "before"},
        LoadCase{"LongSpeedStillLoads", "DemoSpeed", FakeRegistry::Text(std::string(40, '1')), "", 1026,
                 std::string(40, '1')},
        LoadCase{"SpeedAsNumber", "DemoSpeed", Raw(4, {1, 0, 0, 0}),
                 "Could not read KXV3: Сохранённое значение не текст (REG_SZ).", 1026, "before"},
        // Without its terminator a text is read whole, as RegGetValue reads it.
        LoadCase{"Unterminated", "CommandLine", Raw(1, {'a', 0, 'b', 0}), "", 1013, "ab"},
        LoadCase{"OddTailDropped", "CommandLine", Raw(1, {'a', 0, 'b'}), "", 1013, "a"},
        LoadCase{"NoBytesAtAllIsEmpty", "CommandLine", Raw(1, {}), "", 1013, ""},
        LoadCase{"TextEndsAtFirstTerminator", "DemoSpeed", Raw(1, {'2', 0, 0, 0, 'x', 0}), "", 1026, "2"}),
    [](const auto& p) { return std::string(p.param.name); });

// A stored value the load could not show whole survives a save of the
// untouched field, also when the found game filled that field afterwards, and
// is written over once the user changes the field.
struct UnshownCase {
  const char* name;
  RegistryValue stored;  // as "CommandLine"
  std::string shown;     // control 1013 after the load
};

class UnshownTest : public SettingsTest, public ::testing::WithParamInterface<UnshownCase> {};

TEST_P(UnshownTest, KeptBySavesUntilItsFieldChanges) {
  const UnshownCase& c = GetParam();
  registry.keys[kKey] = {{"Path", FakeRegistry::Text("C:\\HL\\hl.exe")}, {"CommandLine", c.stored}};
  window.texts = {{1011, ""}, {1013, ""}, {1026, ""}};
  UnshownSettings unshown = LoadSettings(window, registry);
  EXPECT_EQ(window.texts[1013], c.shown);
  TakeUnshownTexts(window, unshown);

  SaveSettings(window, registry, unshown);
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].data, c.stored.data);
  EXPECT_EQ(registry.keys[kKey]["CommandLine"].type, c.stored.type);
  EXPECT_EQ(registry.TextAt(kKey, "DemoSpeed"), "");  // the others are written as ever

  window.texts[1013] = "-dev";
  SaveSettings(window, registry, unshown);
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
  window.texts = {{1011, ""}, {1013, ""}, {1026, ""}};
  UnshownSettings unshown = LoadSettings(window, registry);
  EXPECT_TRUE(unshown.empty());
  registry.keys[kKey].erase("DemoSpeed");
  EXPECT_TRUE(LoadSettings(window, registry).empty());  // missing: nothing to keep
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

  ASSERT_EQ(registry->OpenKeyForQuery(key), 0u);
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
  ASSERT_EQ(registry->OpenKeyForQuery(key), 0u);
  ASSERT_EQ(registry->QueryValue("CommandLine", RegistryTextCapacity(259), value), 0u);
  EXPECT_EQ(value.data.size(), 8u);
  ASSERT_TRUE(DecodeRegistryText(value, text, why));
  EXPECT_EQ(text, "-dev");
  EXPECT_TRUE(IsWholeRegistryText(value, text));
  registry->CloseKey();

  std::u16string wideKey = Utf8ToUtf16(key);
  RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(wideKey.c_str()));
  EXPECT_NE(registry->OpenKeyForQuery(key), 0u);
}
#endif

}  // namespace
}  // namespace rewindor
