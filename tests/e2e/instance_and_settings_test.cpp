// What another program, the shell and the user's own hands can leave the
// program to face: settings stored by other means, a program folder with a %
// in its name, a library layout of no width, and a main window closed while
// its other windows are open.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "library/columns.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

const std::wstring kSettings = std::wstring(kSettingsRoot) + L"\\Settings";

// A value as raw bytes, exactly as given: a text without its terminator is
// stored as such when the byte after it is not zero.
bool SetRaw(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, data, size) == ERROR_SUCCESS;
}

std::optional<std::string> RawValue(const std::wstring& key, const wchar_t* name) {
  BYTE data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(data), size);
}

using InstanceTest = MainWindowTest;

TEST_F(InstanceTest, SettingsOfOtherProgramsAreShownOnlyTheUsersChangesWrittenAndColumnsOfNoWidthReset) {
  // The game path without its terminator (an 'X' follows it in memory); the
  // options with words after a zero, which the field cannot show.
  const std::wstring path = game_ + L"X";
  ASSERT_TRUE(SetRaw(kSettings, L"Path", REG_SZ, path.c_str(), static_cast<DWORD>(game_.size() * 2)));
  const wchar_t options[] = L"-dev\0-console";
  ASSERT_TRUE(SetRaw(kSettings, L"CommandLine", REG_SZ, options, sizeof options));
  ASSERT_TRUE(SetRaw(kSettings, L"DemoSpeed", REG_SZ, L"1", 4));
  const std::optional<std::string> storedOptions = RawValue(kSettings, L"CommandLine");
  ASSERT_TRUE(storedOptions);
  const std::wstring layout = std::wstring(kSettingsRoot) + L"\\Library";
  const std::vector<std::uint32_t> none(kLibraryColumnCount, 0);
  ASSERT_TRUE(SetRaw(layout, L"Columns", REG_BINARY, none.data(), static_cast<DWORD>(none.size() * 4)));

  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "no error for a text without its terminator";
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), game_);
  EXPECT_EQ(GetText(main, IDC_GAME_OPTIONS), L"-dev");
  const auto save = [&](int field, const wchar_t* typed) {
    ASSERT_TRUE(SetText(main, field, typed)) << Why();
    ASSERT_TRUE(Click(main, IDC_SAVE_SETTINGS)) << Why();
    auto box = ExpectBox(L"Rewindor", W(text::kSettingsSaved), false);
    ASSERT_TRUE(box);
    ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
  };
  save(IDC_DEMO_SPEED, L"2");
  EXPECT_EQ(RawValue(kSettings, L"CommandLine"), storedOptions) << "the options were never shown whole";
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettings, L"Path"), game_);
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettings, L"DemoSpeed"), L"2");
  // Once the user changes the field, it is written.
  save(IDC_GAME_OPTIONS, L"-dev -w 800");
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettings, L"CommandLine"), L"-dev -w 800");

  // Library columns of no width come back as the defaults, and those are kept.
  HWND library = OpenFrom(main, IDM_LIBRARY, kLibraryTitle, IDC_LIBRARY_LIST);
  ASSERT_NE(library, nullptr);
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    if (c == static_cast<std::size_t>(LibraryColumn::kFolder)) continue;  // shown only with the subfolders
    DWORD_PTR width = 0;
    ASSERT_TRUE(SendMessageTimeoutW(Control(library, IDC_LIBRARY_LIST), LVM_GETCOLUMNWIDTH, c, 0, SMTO_NORMAL, 5000,
                                    &width));
    EXPECT_GT(width, 12u) << "column " << c;
  }
  ASSERT_TRUE(PostClose(library)) << Why();
  ASSERT_TRUE(WaitWindowGone(kLibraryTitle, process_->id(), kDefaultWait, IDC_LIBRARY_LIST)) << Why();
  auto saved = RawValue(layout, L"Columns");
  ASSERT_TRUE(saved);
  EXPECT_NE(*saved, std::string(kLibraryColumnCount * 4, '\0')) << "the widths shown are kept, not the zeros";
}

// A second start shows the first one's window; closing the main window, the
// innermost window open, closes every window and ends the program.
TEST_F(InstanceTest, ASecondStartShowsTheFirstsWindowAndClosingItEndsEverything) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  Process* first = process_;
  HWND library = OpenFrom(main, IDM_LIBRARY, kLibraryTitle, IDC_LIBRARY_LIST);
  ASSERT_NE(library, nullptr);
  ShowWindowAsync(main, SW_MINIMIZE);
  for (int i = 0; i < 100 && !IsIconic(main); ++i) Sleep(50);
  ASSERT_TRUE(IsIconic(main));
  Process& second = Launch(exe_, L"", app_dir_);  // no demo
  ASSERT_TRUE(second.valid()) << Why();
  EXPECT_EQ(second.WaitExit(), 0u) << Why();
  for (int i = 0; i < 100 && IsIconic(main); ++i) Sleep(50);
  EXPECT_FALSE(IsIconic(main)) << "the first window stayed minimised";
  EXPECT_TRUE(IsWindowVisible(main));
  ASSERT_TRUE(first->Running());

  ASSERT_NE(OpenFrom(main, IDM_DEMO_DETAILS, kDetailsTitle, IDC_DETAILS_TEXT), nullptr);
  HWND timeline = OpenFrom(main, IDM_TIMELINE, TimelineTitle(kClientDemo), IDC_TIMELINE_LIST);
  ASSERT_NE(timeline, nullptr);
  ASSERT_TRUE(PostClose(main)) << Why();
  EXPECT_EQ(first->WaitExit(), 0u) << "the program still runs: " << Why();
  EXPECT_FALSE(IsWindow(library));
  EXPECT_FALSE(IsWindow(timeline));
  ASSERT_NE(Start(L""), nullptr) << "a start after it shows its window";
}

// The shell fills every %-sequence of the open command, the program's folder
// too: such a program is registered by its short path, or not at all with a note.
TEST_F(InstanceTest, AProgramFolderWithAPercentSignIsNeverRegisteredAsItIs) {
  for (const wchar_t* folder : {L"Rewindor %1 long folder", L"x%1y"}) {
    SCOPED_TRACE(ToUtf8(folder));
    for (const wchar_t* key : {kClassKey, kExtensionKey}) ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key));
    const std::wstring exe = At(folder) + L"\\rewindor.exe";
    ASSERT_TRUE(CopyFileTo(exe_, exe)) << Why();
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(exe.c_str(), shortPath, MAX_PATH);
    const bool usable = n > 0 && n < MAX_PATH && std::wstring(shortPath).find(L'%') == std::wstring::npos;

    Process& started = Launch(exe, L"", app_dir_);
    ASSERT_TRUE(started.valid()) << Why();
    if (!usable) {
      auto box = FindMessageBox(L"Error", started.id());
      ASSERT_TRUE(box) << Why();
      EXPECT_EQ(box->text, W(text::kAssociationSkipped) + L": " + W(text::kReasonPercentInPath));
      ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
      EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, std::wstring(kClassKey) + L"\\shell\\open\\command"));
    }
    HWND main = FindTopWindow(L"Rewindor", started.id(), kDefaultWait, IDC_DEMO_PATH);
    ASSERT_NE(main, nullptr) << Why();
    if (usable) {
      EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, std::wstring(kClassKey) + L"\\shell\\open\\command", L""),
                Quote(shortPath) + L" \"%1\"");
      EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kExtensionKey, L""), L"rewindor");
    }
    ASSERT_TRUE(PostClose(main)) << Why();
    EXPECT_EQ(started.WaitExit(), 0u) << Why();
  }
}

}  // namespace
}  // namespace rewindor::e2e
