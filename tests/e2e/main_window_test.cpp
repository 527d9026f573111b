// rewindor.exe driven through its main window as a user would: each test gets
// its own copy of the program, the sample demos and a stand-in game in a
// folder whose names hold blanks, and a clean per-user registry.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "demo/messages.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

const std::wstring kSaved = FromUtf8(text::kSettingsSaved);

std::string Fnv1a(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  wsprintfA(hex, "%08lx%08lx", static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash));
  return hex;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
                                    static_cast<unsigned char>(b[at + 2]) << 16 |
                                    static_cast<unsigned char>(b[at + 3]) << 24);
}

void AddLe32(std::string& b, std::size_t at, std::uint32_t delta) {
  std::uint32_t v = Le32(b, at) + delta;
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A demo whose loading segment starts with `n` bytes more than `demo`'s, the
// directory moved to match: trimming it must give `demo` back. (The samples'
// build announcement already opens their first frame, so they keep their
// length when trimmed.)
std::string WithLongerLoading(std::string demo, std::size_t n) {
  const std::size_t directory = Le32(demo, 540);
  AddLe32(demo, directory + 4 + 88, static_cast<std::uint32_t>(n));       // loading entry: length
  AddLe32(demo, directory + 4 + 92 + 84, static_cast<std::uint32_t>(n));  // playback entry: offset
  AddLe32(demo, 540, static_cast<std::uint32_t>(n));
  demo.insert(544, std::string(n, '\x01'));
  return demo;
}

// --- Start-up -------------------------------------------------------------------

struct StartCase {
  const char* name;
  std::wstring demo;
  bool quoted;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartWithDemoTest : public MainWindowTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartWithDemoTest, ShowsTheDemoAndListsItsFolder) {
  const StartCase& c = GetParam();
  const std::wstring path = Demo(c.demo);
  HWND main = Start(c.quoted ? Quote(path) : path);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "no message at start";

  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), path);
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), demos_ + L"\\");
  auto folder = ListItems(main, IDC_FOLDER_LIST);
  ASSERT_TRUE(folder) << Why();
  EXPECT_EQ(Sorted(*folder), Sorted({L"[..]", kClientDemo, kHltvDemo}));
  bool hltv = c.demo == kHltvDemo;
  ExpectShows(main, hltv ? kHltvInfo : kClientInfo, kClientPlayers);  // HLTV too: its roster names them

  if (!hltv && c.quoted && !Config().artifacts.empty()) {
    Sleep(500);  // let the skin and the map picture be painted
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\main_window.png", main)) << Why();
  }
}

INSTANTIATE_TEST_SUITE_P(Demos, StartWithDemoTest,
                         ::testing::Values(StartCase{"client demo, quoted as the shell passes it", kClientDemo, true},
                                           StartCase{"client demo, path with blanks unquoted", kClientDemo, false},
                                           StartCase{"HLTV demo", kHltvDemo, true}));

TEST_F(MainWindowTest, StartWithoutDemoListsTheProgramFolder) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), L"");
  EXPECT_EQ(GetText(main, IDC_DEMO_INFO), L"");
  EXPECT_EQ(ListItems(main, IDC_PLAYER_LIST), std::vector<std::wstring>{});
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), app_dir_ + L"\\");
  auto folder = ListItems(main, IDC_FOLDER_LIST);
  ASSERT_TRUE(folder) << Why();
  EXPECT_TRUE(Contains(*folder, L"[..]") && Contains(*folder, L"[cstrike]")) << ToUtf8(folder->front());
  EXPECT_FALSE(Contains(*folder, L"rewindor.exe"));

  // Walk the folder list to the demo: up, into "My Demos", open the demo.
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[..]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, Dir() + L"\\")) << Why();
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[My Demos]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, demos_ + L"\\")) << Why();
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, kClientDemo)) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, Demo(kClientDemo))) << Why();
  ExpectShows(main, kClientInfo, kClientPlayers);

  // Esc ends the program, and every end is exit code 0.
  ASSERT_TRUE(PressEscape(main)) << Why();
  EXPECT_EQ(process_->WaitExit(), 0u) << Why();
}

TEST_F(MainWindowTest, WritesTheFileAssociationAtEveryStart) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, std::wstring(kClassKey) + L"\\shell\\open\\command", L""),
            Quote(exe_) + L" \"%1\"")
      << Why();
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, std::wstring(kClassKey) + L"\\DefaultIcon", L""), exe_ + L",0") << Why();
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kExtensionKey, L""), L"rewindor") << Why();
}

TEST_F(MainWindowTest, SecondStartHandsItsDemoToTheFirstWindowAndEnds) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  Process* first = process_;
  // The hand-over restores a minimised window.
  ShowWindowAsync(main, SW_MINIMIZE);
  for (int i = 0; i < 100 && !IsIconic(main); ++i) Sleep(50);
  ASSERT_TRUE(IsIconic(main));

  // The second copy lives elsewhere: its start points the association at it.
  const std::wstring other = At(L"Other Copy\\rewindor.exe");
  ASSERT_TRUE(CopyFileTo(exe_, other)) << Why();
  Process& second = Launch(other, Quote(Demo(kClientDemo)), app_dir_);
  ASSERT_TRUE(second.valid()) << Why();
  bool had_window = false;
  std::optional<DWORD> code;
  for (int i = 0; i < 400 && !code; ++i) {
    had_window = had_window || !TopWindows(L"Rewindor", second.id(), IDC_DEMO_PATH).empty();
    code = second.WaitExit(Millis{50});
  }
  ASSERT_TRUE(code) << "the second start did not end: " << Why();
  EXPECT_EQ(*code, 0u);
  EXPECT_FALSE(had_window) << "the second start opened a window of its own";

  EXPECT_TRUE(first->Running());
  EXPECT_FALSE(IsIconic(main));
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), Demo(kClientDemo));
  ExpectShows(main, kClientInfo, kClientPlayers);
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), app_dir_ + L"\\") << "the folder list keeps its folder";
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, std::wstring(kClassKey) + L"\\shell\\open\\command", L""),
            Quote(other) + L" \"%1\"");
}

TEST_F(MainWindowTest, EnterInTheDemoPathFieldReadsTheTypedDemoAndElsewherePlays) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
  const std::wstring record = At(L"Half Life\\fake_game.txt");

  // A typed path and Enter: the typed demo is shown, no game starts.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(kHltvDemo))) << Why();
  ASSERT_TRUE(FocusControl(main, IDC_DEMO_PATH)) << Why();
  ASSERT_TRUE(PressEnter(Control(main, IDC_DEMO_PATH))) << Why();
  for (int i = 0; i < 200 && NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")) != kHltvInfo; ++i) {
    Sleep(50);
  }
  ExpectShows(main, kHltvInfo, kClientPlayers);  // an HLTV demo's roster names its players
  Sleep(500);
  EXPECT_FALSE(FileExists(record)) << "Enter in the demo path field started the game";
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // Enter in another field presses the default button "Смотреть" as before.
  ASSERT_TRUE(FocusControl(main, IDC_GAME_OPTIONS)) << Why();
  ASSERT_TRUE(PressEnter(Control(main, IDC_GAME_OPTIONS))) << Why();
  EXPECT_TRUE(WaitFile(record)) << Why();
}

// --- Reading failures -----------------------------------------------------------

struct ReadFailureCase {
  const char* name;
  std::wstring file;      // in the demo folder; created empty when `empty`
  bool empty;
  const char* message;
  const char* reason;  // as the information box words it
};

void PrintTo(const ReadFailureCase& c, std::ostream* os) { *os << c.name; }

class ReadFailureTest : public MainWindowTest, public ::testing::WithParamInterface<ReadFailureCase> {};

// After the box, nothing of the demo shown before stays: the information box
// says this demo could not be read, and "Смотреть" refuses to play it.
TEST_P(ReadFailureTest, ReportsTheErrorEmptiesTheWindowAndIsNotPlayed) {
  const ReadFailureCase& c = GetParam();
  if (c.empty) {
    ASSERT_TRUE(WriteFileBytes(Demo(c.file), "")) << Why();
  }
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(c.file))) << Why();
  ASSERT_TRUE(PostCommand(main, IDOK)) << Why();  // the OK command reads the demo path again

  auto box = FindMessageBox(W(text::kErrorCaption), process_->id());
  ASSERT_TRUE(box) << Why();
  const std::wstring prefix = W(c.message) + L": ";
  EXPECT_EQ(box->text.substr(0, prefix.size()), prefix) << box->Describe();
  EXPECT_GT(box->text.size(), prefix.size()) << "the system's reason follows";
  EXPECT_TRUE(box->OkOnly()) << box->Describe();
  EXPECT_EQ(box->icon, BoxIcon::kInformation) << box->Describe();
  ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
  EXPECT_TRUE(WaitNoMessageBox(process_->id())) << Why();
  ExpectShows(main, W(text::kDemoUnreadable) + L": " + W(c.reason), {});
  Shoot(main, (std::wstring(L"unreadable_") + c.file + L".png").c_str());

  ASSERT_TRUE(Click(main, IDC_PLAY)) << Why();
  ExpectBox(L"Rewindor", W(text::kPlayUnreadable), false);
  EXPECT_FALSE(FileExists(At(L"Half Life\\fake_game.txt"))) << "the game started with a demo not read";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadFailureTest,
    ::testing::Values(
        ReadFailureCase{"missing file", L"missing.dem", false, text::kCannotOpenDemo, text::kReasonFileNotFound},
        ReadFailureCase{"empty file", L"empty.dem", true, text::kCannotOpenDemoReason2Read, text::kReasonEmptyFile}));

// --- Edits ----------------------------------------------------------------------

struct PatchCase {
  const char* name;
  int button;
  const char* question;
  bool result_ok_cancel;  // the fade and resolution results ask OK/Cancel
};

void PrintTo(const PatchCase& c, std::ostream* os) { *os << c.name; }

class PatchTest : public MainWindowTest, public ::testing::WithParamInterface<PatchCase> {};

const std::string kFadePattern("\x62\x00\x30\x00\x30\x05\x00\x00\x00\x00\xFF", 11);

TEST_P(PatchTest, CancelLeavesTheDemoAndOkEditsIt) {
  const PatchCase& c = GetParam();
  const std::wstring demo = Demo(kClientDemo);
  auto sample = ReadFileBytes(demo);
  ASSERT_TRUE(sample) << Why();
  if (c.button == IDC_TRIM_LOADING) {
    ASSERT_TRUE(WriteFileBytes(demo, WithLongerLoading(*sample, 300))) << Why();
  }
  auto before = ReadFileBytes(demo);
  ASSERT_TRUE(before) << Why();
  HWND main = Start(Quote(demo));
  ASSERT_NE(main, nullptr);

  ASSERT_TRUE(Click(main, c.button)) << Why();
  auto question = ExpectBox(W(text::kProgramCaption), W(c.question), true);
  ASSERT_TRUE(question);
  EXPECT_EQ(question->icon, BoxIcon::kQuestion) << question->Describe();
  ASSERT_TRUE(PressBoxButton(*question, IDCANCEL)) << Why();
  Sleep(500);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "Cancel ends the command without a report";
  EXPECT_EQ(ReadFileBytes(demo), before) << "Cancel leaves the file untouched";

  ASSERT_TRUE(Click(main, c.button)) << Why();
  question = ExpectBox(W(text::kProgramCaption), W(c.question), true);
  ASSERT_TRUE(question);
  ASSERT_TRUE(PressBoxButton(*question, IDOK)) << Why();
  auto result = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(result) << Why();
  EXPECT_EQ(c.result_ok_cancel ? result->OkCancel() : result->OkOnly(), true) << result->Describe();
  EXPECT_EQ(result->icon, c.result_ok_cancel ? BoxIcon::kQuestion : BoxIcon::kInformation) << result->Describe();
  ASSERT_TRUE(PressBoxButton(*result, IDOK)) << Why();
  ASSERT_TRUE(WaitNoMessageBox(process_->id())) << Why();
  ASSERT_TRUE(WaitResponds(main)) << Why();

  auto after = ReadFileBytes(demo);
  ASSERT_TRUE(after) << Why();
  switch (c.button) {
    case IDC_REMOVE_FADE:
      EXPECT_EQ(result->text, W(text::kFadesRemoved));
      EXPECT_GT(CountOf(*before, kFadePattern), 0u) << "the sample holds fades";
      EXPECT_EQ(CountOf(*after, kFadePattern), 0u);
      EXPECT_EQ(after->size(), before->size());
      break;
    case IDC_STRIP_TEAM_CHAT: {
      std::size_t team = CountOf(*before, "(Terrorist)") + CountOf(*before, "(Counter-Terrorist)") +
                         CountOf(*before, "*DEAD*");
      EXPECT_GT(team, 0u) << "the sample holds team chat";
      EXPECT_EQ(result->text, std::to_wstring(team) + L" messages stripped.");
      EXPECT_EQ(CountOf(*after, "(Terrorist)") + CountOf(*after, "(Counter-Terrorist)") + CountOf(*after, "*DEAD*"),
                0u);
      EXPECT_EQ(after->size(), before->size());
      break;
    }
    case IDC_TRIM_LOADING:
      EXPECT_EQ(result->text, W(text::kDemoTrimmed));
      EXPECT_EQ(after->size(), sample->size());
      EXPECT_TRUE(*after == *sample) << "the trim gives back the demo without the extra loading bytes";
      break;
  }
  // The edits do not read the demo again: the window shows what it showed.
  ExpectShows(main, kClientInfo, kClientPlayers);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, PatchTest,
    ::testing::Values(PatchCase{"remove fade to black", IDC_REMOVE_FADE, text::kAskRemoveFades, true},
                      PatchCase{"strip team chat", IDC_STRIP_TEAM_CHAT, text::kAskStripChat, false},
                      PatchCase{"trim the loading segment", IDC_TRIM_LOADING, text::kAskTrimLoading, false}));

TEST_F(MainWindowTest, ResolutionDialogNeedsADemoPathAndCancelChangesNothing) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, L"C")) << Why();
  ASSERT_TRUE(Click(main, IDC_CONVERT_RESOLUTION)) << Why();
  auto refusal = ExpectBox(L"Rewindor", kNoDemoLoaded, false);
  ASSERT_TRUE(refusal);
  ASSERT_TRUE(PressBoxButton(*refusal, IDOK)) << Why();

  const std::wstring demo = Demo(kClientDemo);
  auto before = ReadFileBytes(demo);
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, demo)) << Why();
  ASSERT_TRUE(Click(main, IDC_CONVERT_RESOLUTION)) << Why();
  HWND dialog = FindTopWindow(kResolutionTitle, process_->id(), kDefaultWait, IDC_NEW_WIDTH);
  ASSERT_NE(dialog, nullptr) << Why();
  ASSERT_TRUE(PressEscape(dialog)) << Why();
  EXPECT_TRUE(WaitWindowGone(kResolutionTitle, process_->id(), kDefaultWait, IDC_NEW_WIDTH)) << Why();
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  EXPECT_EQ(ReadFileBytes(demo), before);
}

// --- Settings -------------------------------------------------------------------

TEST_F(MainWindowTest, SavedSettingsComeBackAfterARestart) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  const std::wstring options = L"-nofbo +name \"Вася Пупкин\"";
  ASSERT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
  ASSERT_TRUE(SetText(main, IDC_GAME_OPTIONS, options)) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_SPEED, L"0.5")) << Why();
  ASSERT_TRUE(Click(main, IDC_SAVE_SETTINGS)) << Why();
  auto box = ExpectBox(L"Rewindor", kSaved, false);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->icon, BoxIcon::kInformation) << box->Describe();
  ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();

  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, L"Path"), game_);
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, L"CommandLine"), options);
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, L"DemoSpeed"), L"0.5");

  ASSERT_TRUE(PostClose(main)) << Why();
  EXPECT_EQ(process_->WaitExit(), 0u) << Why();
  main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), game_);
  EXPECT_EQ(GetText(main, IDC_GAME_OPTIONS), options);
  EXPECT_EQ(GetText(main, IDC_DEMO_SPEED), L"0.5");
}

// --- Playing ----------------------------------------------------------------------

struct PlayCase {
  const char* name;
  std::vector<int> boxes;  // check boxes ticked
  std::wstring tail;       // the command line after "+exec config.cfg "
};

void PrintTo(const PlayCase& c, std::ostream* os) { *os << c.name; }

class PlayTest : public MainWindowTest, public ::testing::WithParamInterface<PlayCase> {
 protected:
  HWND Prepare() {
    HWND main = Start(Quote(Demo(kClientDemo)));
    if (main == nullptr) return nullptr;
    EXPECT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
    EXPECT_TRUE(SetText(main, IDC_GAME_OPTIONS, L"-w 800 -h 600")) << Why();
    EXPECT_TRUE(SetText(main, IDC_DEMO_SPEED, L"2")) << Why();
    return main;
  }
  std::wstring Copy() const { return At(L"Half Life\\cstrike\\rewindor.dem"); }
  std::wstring Record() const { return At(L"Half Life\\fake_game.txt"); }
};

TEST_P(PlayTest, StartsTheGameWithACopyAndRemovesItAfter) {
  const PlayCase& c = GetParam();
  HWND main = Prepare();
  ASSERT_NE(main, nullptr);
  for (int box : c.boxes) ASSERT_TRUE(SetChecked(main, box, true)) << Why();
  // The game stays until told to go, to show that the launcher waits for it.
  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.hold"), "")) << Why();

  ASSERT_TRUE(Click(main, IDC_PLAY)) << Why();
  ASSERT_TRUE(WaitFile(Record())) << Why();
  auto record = ReadFileBytes(Record());
  ASSERT_TRUE(record) << Why();
  EXPECT_EQ(RecordValue(*record, "command"),
            ToUtf8(Quote(game_) + L" -w 800 -h 600 -game cstrike -fullscreen -console -toconsole +exec config.cfg " +
                   c.tail));
  auto demo = ReadFileBytes(Demo(kClientDemo));
  ASSERT_TRUE(demo) << Why();
  EXPECT_EQ(RecordValue(*record, "copy"), "yes");
  EXPECT_EQ(RecordValue(*record, "copy_fnv"), Fnv1a(*demo)) << "the copy holds the demo's bytes";

  Sleep(1000);
  EXPECT_TRUE(FileExists(Copy())) << "the copy stays while the game runs";
  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.go"), "")) << Why();
  EXPECT_TRUE(WaitFile(Copy(), false)) << Why();
  EXPECT_TRUE(WaitResponds(main)) << Why();
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PlayTest,
    ::testing::Values(PlayCase{"playback at the chosen speed", {}, L"+playdemo rewindor.dem 2"},
                      PlayCase{"viewdemo", {IDC_VIEWDEMO}, L"+viewdemo rewindor.dem"},
                      PlayCase{"timedemo", {IDC_TIMEDEMO}, L"+timedemo rewindor.dem"},
                      PlayCase{"movie", {IDC_STARTMOVIE}, L"+playdemo rewindor.dem 3 +startmovie rewindmovie 90"},
                      PlayCase{"timedemo wins over movie", {IDC_TIMEDEMO, IDC_STARTMOVIE}, L"+timedemo rewindor.dem"}));

TEST_F(MainWindowTest, AHostileModNameIsRefusedAndNothingIsCopied) {
  // The sample with its game folder field (260 bytes at 276) naming a way out.
  auto bytes = ReadFileBytes(Demo(kClientDemo));
  ASSERT_TRUE(bytes) << Why();
  std::string field = "..\\escaped";
  field.resize(260, '\0');
  bytes->replace(276, 260, field);
  const std::wstring demo = Demo(L"hostile.dem");
  ASSERT_TRUE(WriteFileBytes(demo, *bytes)) << Why();

  HWND main = Start(Quote(demo));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
  ASSERT_TRUE(Click(main, IDC_PLAY)) << Why();
  auto box = FindMessageBox(L"Rewindor", process_->id());
  ASSERT_TRUE(box) << Why();
  EXPECT_TRUE(box->OkOnly()) << box->Describe();
  ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
  ASSERT_TRUE(WaitResponds(main)) << Why();
  EXPECT_FALSE(FileExists(At(L"escaped\\rewindor.dem")));
  EXPECT_FALSE(FileExists(At(L"Half Life\\cstrike\\rewindor.dem")));
  EXPECT_FALSE(FileExists(At(L"Half Life\\fake_game.txt"))) << "the game was started";
}

}  // namespace
}  // namespace rewindor::e2e
