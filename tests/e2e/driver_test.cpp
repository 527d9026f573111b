// The driver against a dialog and a stand-in game whose answers are known, so
// a failure in the program's tests points at the program, not at the driver.
#include <string>

#include "tests/e2e/e2e_env.h"

namespace rewindor::e2e {
namespace {

using std::chrono::steady_clock;

class SampleDialogTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    exe_ = At(L"app dir\\sample dialog.exe");
    ASSERT_TRUE(CopyFileTo(Config().sample_dialog, exe_)) << Why();
    work_ = At(L"work dir");
    ASSERT_TRUE(MakeFolders(work_)) << Why();
  }

  // Starts the dialog and waits for its window.
  HWND Open(const std::wstring& args = L"") {
    process_ = &Launch(exe_, args, work_);
    if (!process_->valid()) {
      ADD_FAILURE() << Why();
      return nullptr;
    }
    HWND window = FindTopWindow(L"Rewindor", process_->id(), kDefaultWait, 1000);
    if (window == nullptr) ADD_FAILURE() << Why();
    return window;
  }

  std::wstring exe_, work_;
  Process* process_ = nullptr;
};

TEST_F(SampleDialogTest, PassesArgumentsAndFolderAndReportsExitCodes) {
  HWND dialog = Open(L"\"my demo.dem\" x");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetText(dialog, 1000), L"\"my demo.dem\" x");
  EXPECT_EQ(GetText(dialog, 1031), work_);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "the dialog itself is no message box";

  ASSERT_TRUE(PressEscape(dialog)) << Why();
  EXPECT_EQ(process_->WaitExit(), 2u) << Why();

  dialog = Open();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostClose(dialog)) << Why();
  EXPECT_EQ(process_->WaitExit(), 0u) << Why();
  EXPECT_TRUE(TopWindows(L"Rewindor", process_->id()).empty());
}

TEST_F(SampleDialogTest, ReadsAndWorksControls) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);

  ASSERT_TRUE(SetText(dialog, 1000, L"C:\\Игры\\de_rewind.dem")) << Why();
  EXPECT_EQ(GetText(dialog, 1000), L"C:\\Игры\\de_rewind.dem");

  EXPECT_EQ(ListItems(dialog, 1028), (std::vector<std::wstring>{L"[..]", L"a.dem", L"b.dem"}));
  auto players = ListItems(dialog, 1037);
  ASSERT_TRUE(players) << Why();
  ASSERT_EQ(players->size(), 3u);
  EXPECT_EQ(players->back(), L"Zed");
  EXPECT_NE(std::find(players->begin(), players->end(), L"Alpha"), players->end()) << "letter case kept";
  EXPECT_NE(std::find(players->begin(), players->end(), L"alpha"), players->end());

  ASSERT_TRUE(DoubleClickListItem(dialog, 1028, L"b.dem")) << Why();
  EXPECT_TRUE(WaitText(dialog, 1000, L"b.dem")) << Why();
  EXPECT_FALSE(DoubleClickListItem(dialog, 1028, L"c.dem"));
  EXPECT_NE(Why().find("c.dem"), std::string::npos) << Why();

  ASSERT_TRUE(SetChecked(dialog, 1041, true)) << Why();
  EXPECT_EQ(IsChecked(dialog, 1041), true);
  // The click opens a modal question; Cancel and OK come back to the dialog.
  for (int answer : {IDCANCEL, IDOK}) {
    ASSERT_TRUE(Click(dialog, 1010)) << Why();
    auto box = FindMessageBox(L"Rewindor", process_->id());
    ASSERT_TRUE(box) << Why();
    EXPECT_EQ(box->text, L"Смотреть демку?");
    EXPECT_TRUE(box->OkCancel()) << box->Describe();
    EXPECT_EQ(box->icon, BoxIcon::kQuestion) << box->Describe();
    ASSERT_TRUE(PressBoxButton(*box, answer)) << Why();
    EXPECT_TRUE(WaitText(dialog, 1007, answer == IDOK ? L"OK view=1" : L"Cancel view=1")) << Why();
  }
}

struct BoxCase {
  int button;
  const wchar_t* caption;
  const wchar_t* text;
  BoxIcon icon;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << "button " << c.button << ", " << ToUtf8(c.caption); }

class SampleBoxTest : public SampleDialogTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(SampleBoxTest, TellsCaptionTextButtonsAndIcon) {
  const BoxCase& c = GetParam();
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, c.button)) << Why();
  auto box = FindMessageBox(c.caption, process_->id());
  ASSERT_TRUE(box) << Why();
  EXPECT_EQ(box->text, c.text);
  EXPECT_TRUE(box->OkOnly()) << box->Describe();
  EXPECT_EQ(box->icon, c.icon) << box->Describe();
  EXPECT_FALSE(PressBoxButton(*box, IDCANCEL)) << "an OK-only box has no Cancel";
  ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
  EXPECT_TRUE(WaitNoMessageBox(process_->id())) << Why();
  EXPECT_TRUE(Responds(dialog)) << Why();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, SampleBoxTest,
    ::testing::Values(BoxCase{1012, L"Rewindor", L"Настройки сохранены успеш..", BoxIcon::kInformation},
                      BoxCase{1049, L"Error", L"Нельзя открыть demo-файл: File not found.\n", BoxIcon::kInformation},
                      BoxCase{1029, L"Rewindor", L"Careful", BoxIcon::kWarning}));

TEST_F(SampleDialogTest, WaitsEndWithTheirTimeAndSayWhatTheyAwaited) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);

  auto start = steady_clock::now();
  EXPECT_EQ(FindTopWindow(L"Rewindor II", 0, Millis{600}), nullptr);
  EXPECT_NE(Why().find("Rewindor II"), std::string::npos) << Why();
  EXPECT_FALSE(FindMessageBox(L"Rewindor", process_->id(), Millis{600}));
  EXPECT_FALSE(WaitFile(At(L"never.txt"), true, Millis{600}));
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(30));

  // A program inside a long command answers nothing until it is done.
  ASSERT_TRUE(Click(dialog, 1030)) << Why();
  bool busy = false;
  for (int i = 0; i < 10 && !busy; ++i) busy = !Responds(dialog, Millis{250});
  EXPECT_TRUE(busy) << "the dialog answered all along";
  EXPECT_TRUE(WaitResponds(dialog)) << Why();
  EXPECT_TRUE(WaitText(dialog, 1007, L"rested")) << Why();
}

TEST_F(SampleDialogTest, EndsLeftoverProcessesAndTakesScreenshots) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);

  const std::wstring shot = At(L"shots\\sample.png");
  ASSERT_TRUE(SaveScreenshot(shot, dialog)) << Why();
  auto png = ReadFileBytes(shot);
  ASSERT_TRUE(png) << Why();
  ASSERT_GT(png->size(), 33u);
  EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  RECT rect;
  GetWindowRect(dialog, &rect);
  auto big32 = [&](std::size_t at) {
    return static_cast<LONG>((static_cast<unsigned char>((*png)[at]) << 24) |
                             (static_cast<unsigned char>((*png)[at + 1]) << 16) |
                             (static_cast<unsigned char>((*png)[at + 2]) << 8) | static_cast<unsigned char>((*png)[at + 3]));
  };
  EXPECT_EQ(big32(16), rect.right - rect.left);
  EXPECT_EQ(big32(20), rect.bottom - rect.top);
  if (!Config().artifacts.empty()) CopyFileTo(shot, Config().artifacts + L"\\sample_dialog.png");

  EXPECT_EQ(KillProcessesIn(At(L"app dir")), 1);
  EXPECT_TRUE(process_->WaitExit(Millis{5000})) << Why();
}

TEST(DriverTest, RegistryFilesAndTexts) {
  const std::wstring key = L"Software\\Kobaltix\\RewindorDriverTest";
  ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key)) << Why();
  EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, key, L""));
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key + L"\\shell", L"", L"\"C:\\a b\\x.exe\" \"%1\"")) << Why();
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key, L"Path", L"C:\\Игры\\hl.exe")) << Why();
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, key + L"\\shell", L""), L"\"C:\\a b\\x.exe\" \"%1\"");
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, key, L"Path"), L"C:\\Игры\\hl.exe");
  EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, key, L"Missing"));
  ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key)) << Why();
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, key));

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"rewindor driver test";
  const std::string bytes("HLDEMO\0\0\x05\xff", 10);
  ASSERT_TRUE(WriteFileBytes(folder + L"\\a\\b c\\demo.dem", bytes)) << Why();
  EXPECT_EQ(ReadFileBytes(folder + L"\\a\\b c\\demo.dem"), bytes);
  EXPECT_TRUE(DeleteTree(folder)) << Why();
  EXPECT_FALSE(FileExists(folder + L"\\a\\b c\\demo.dem"));

  EXPECT_EQ(NormalizeNewlines(L"a\r\nb\nc\r"), L"a\nb\nc\r");
  EXPECT_EQ(FromHostPath("/work/main/build x/a.exe"), L"Z:\\work\\main\\build x\\a.exe");
  EXPECT_EQ(FromHostPath("C:/Games/hl.exe"), L"C:\\Games\\hl.exe");
}

class FakeGameTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    game_ = At(L"Half Life\\hl.exe");
    ASSERT_TRUE(CopyFileTo(Config().fake_game, game_)) << Why();
    ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\cstrike\\rewindor.dem"), "demo bytes")) << Why();
  }
  std::wstring game_;
};

TEST_F(FakeGameTest, RecordsItsCommandLineAndTheCopyAndCanBeHeld) {
  Process& plain = Launch(game_, L" -game cstrike -fullscreen +playdemo rewindor.dem 1", At(L"Half Life"));
  ASSERT_TRUE(plain.valid()) << Why();
  EXPECT_EQ(plain.WaitExit(), 0u) << Why();
  auto record = ReadFileBytes(At(L"Half Life\\fake_game.txt"));
  ASSERT_TRUE(record) << Why();
  EXPECT_EQ(*record, "command=\"" + ToUtf8(game_) +
                         "\"  -game cstrike -fullscreen +playdemo rewindor.dem 1\n"
                         "mod=cstrike\ncopy=yes\ncopy_size=10\ncopy_fnv=e5aeebd7e01354c1\n");

  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.hold"), "")) << Why();
  ASSERT_TRUE(DeleteFileW(At(L"Half Life\\fake_game.txt").c_str()));
  Process& held = Launch(game_, L"-game valve", At(L"Half Life"));
  ASSERT_TRUE(WaitFile(At(L"Half Life\\fake_game.txt"))) << Why();
  EXPECT_TRUE(held.Running());
  EXPECT_NE(ReadFileBytes(At(L"Half Life\\fake_game.txt")).value_or("").find("copy=no\n"), std::string::npos);
  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.go"), "")) << Why();
  EXPECT_EQ(held.WaitExit(), 0u) << Why();
}

}  // namespace
}  // namespace rewindor::e2e
