// The main window shows the demo the user chose, and only that one: Enter
// opens what is chosen and never plays, a double-click starts the game once,
// a long path shows its file name, every player is listed, a demo being
// recorded is read but not edited, and a file that is no demo says so.
#include <string>
#include <vector>

#include "demo/files.h"
#include "demo/messages.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "tools/demo_builder.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

// Whether a tip window of the process shows now.
bool VisibleTipOf(DWORD process) {
  for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w != nullptr;
       w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
    if (IsWindowVisible(w) && WindowProcess(w) == process) return true;
  }
  return false;
}

class ShownDemoTest : public MainWindowTest {
 protected:
  HWND StartWithGame(const std::wstring& demo) {
    HWND main = Start(Quote(demo));
    if (main != nullptr) {
      EXPECT_TRUE(SetText(main, IDC_GAME_PATH, game_)) << Why();
    }
    return main;
  }
  std::wstring Record() const { return At(L"Half Life\\fake_game.txt"); }
  static std::wstring Selected(HWND main) {
    auto items = ListItems(main, IDC_FOLDER_LIST);
    const LRESULT at = SendMessageW(Control(main, IDC_FOLDER_LIST), LB_GETCURSEL, 0, 0);
    return items && at >= 0 && static_cast<std::size_t>(at) < items->size() ? (*items)[static_cast<std::size_t>(at)]
                                                                              : L"(none)";
  }
  HWND OpenDetails(HWND main) { return OpenFrom(main, IDM_DEMO_DETAILS, kDetailsTitle, IDC_DETAILS_TEXT); }
  void CloseDetails(HWND view) { CloseByEscape(view, kDetailsTitle, IDC_DETAILS_TEXT); }
};

// --- Enter opens what is chosen; Смотреть starts once ---------------------------------

TEST_F(ShownDemoTest, EnterOpensWhatIsChosenAndNeverPlaysADoubleClickOnPlayStartsTheGameOnce) {
  HWND main = StartWithGame(Demo(kClientDemo));
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Selected(main), kClientDemo) << "the list selects the demo shown";
  // Enter in the field lists the typed folder; each listing is told by the
  // list's entries, since the field holds the typed text already.
  const auto listed = [&](const std::wstring& entry) {
    for (int i = 0; i < 100; ++i, Sleep(50)) {
      auto items = ListItems(main, IDC_FOLDER_LIST);
      if (items && Contains(*items, entry)) return true;
    }
    return false;
  };
  const std::pair<std::wstring, std::wstring> typings[] = {{app_dir_, L"[cstrike]"}, {demos_ + L"\\", kHltvDemo}};
  for (const auto& [typed, entry] : typings) {
    ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, typed)) << Why();
    ASSERT_TRUE(FocusControl(main, IDC_FOLDER_PATH)) << Why();
    ASSERT_TRUE(PressEnter(Control(main, IDC_FOLDER_PATH))) << Why();
    EXPECT_TRUE(listed(entry)) << ToUtf8(typed);
    EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), typed.ends_with(L"\\") ? typed : typed + L"\\");
  }
  auto folder = ListItems(main, IDC_FOLDER_LIST);
  ASSERT_TRUE(folder) << Why();
  EXPECT_EQ(Sorted(*folder), Sorted({L"[..]", kClientDemo, kHltvDemo}));
  EXPECT_EQ(Selected(main), kClientDemo);
  EXPECT_EQ(NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")), kClientInfo);

  // In the list: Down from the client demo to the HLTV demo below it, Enter.
  ASSERT_TRUE(FocusControl(main, IDC_FOLDER_LIST)) << Why();
  HWND list = Control(main, IDC_FOLDER_LIST);
  ASSERT_TRUE(PressDown(list)) << Why();
  ASSERT_TRUE(PressEnter(list)) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_INFO, kHltvInfo)) << Why();
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), Demo(kHltvDemo));
  // Up to [..] and Enter: the parent folder is listed.
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, demos_ + L"\\")) << Why();
  ASSERT_TRUE(SendMessageW(list, LB_SETCURSEL, 0, 0) != LB_ERR);
  ASSERT_TRUE(PressEnter(list)) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, Dir() + L"\\")) << Why();
  Sleep(500);
  EXPECT_FALSE(FileExists(Record())) << "Enter started the game";
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // A double-click on "Смотреть", and more clicks while the game runs: one start.
  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.hold"), "")) << Why();
  ASSERT_TRUE(DoubleClickButton(Control(main, IDC_PLAY))) << Why();
  ASSERT_TRUE(WaitFile(Record())) << Why();
  Sleep(300);
  ASSERT_TRUE(DoubleClickButton(Control(main, IDC_PLAY))) << Why();
  Sleep(300);
  ASSERT_TRUE(WriteFileBytes(At(L"Half Life\\fake_game.go"), "")) << Why();
  EXPECT_TRUE(WaitFile(At(L"Half Life\\cstrike\\rewindor.dem"), false)) << Why();
  EXPECT_TRUE(WaitResponds(main)) << Why();
  Sleep(1500);
  EXPECT_EQ(CountOf(ReadFileBytes(At(L"Half Life\\fake_game.starts")).value_or(""), "\n"), 1u)
      << "the game was started again after it ended";
}

// A demo of today's servers: the marker scan finds one name, the user-info
// updates name twenty more (the last of them again in other letters).
std::string TwentyPlayerDemo() {
  namespace b = builder;
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::PlayerInfoBlock("cstrike", {"Solo"})}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 10});
  Bytes users;
  for (int i = 1; i <= 21; ++i) {
    const int id = i <= 20 ? i + 1 : 30;
    const Bytes u = b::UpdateUserInfo(static_cast<std::uint8_t>(i), id,
                                      b::PlayerInfo(i <= 20 ? "player " + std::to_string(i) : "PLAYER 7", id));
    users.insert(users.end(), u.begin(), u.end());
  }
  demo.playback().items.push_back(b::NetFrame({users}));
  const Bytes bytes = b::Build(demo).bytes;
  return std::string(bytes.begin(), bytes.end());
}

// --- One demo on screen at a time, every player ----------------------------------------

TEST_F(ShownDemoTest, ALongPathShowsItsFileNameTheListFollowsTheDemoShownAndEveryPlayerIsNamed) {
  const std::wstring deep = At(L"Steam\\steamapps\\common\\Half-Life\\cstrike\\demos from the long weekend");
  const std::wstring demo = deep + L"\\" + kClientDemo;
  ASSERT_TRUE(CopyFileTo(Sample(kClientDemo), demo)) << Why();
  HWND main = StartWithGame(demo);
  ASSERT_NE(main, nullptr);
  // The field is scrolled: its first visible character is far into the path.
  HWND field = Control(main, IDC_DEMO_PATH);
  RECT r{};
  GetClientRect(field, &r);
  const LRESULT first = SendMessageW(field, EM_CHARFROMPOS, 0, MAKELPARAM(1, r.bottom / 2));
  EXPECT_GT(LOWORD(first), deep.size() / 2) << "the field shows the start of the path, not the file name";
  Shoot(main, L"long_path.png");
  // The mouse resting on the field shows the whole path in a tip; the pointer
  // goes back where it was for the tests after this one.
  POINT before{};
  GetCursorPos(&before);
  const POINT centre = CentreOf(field);
  SetCursorPos(centre.x, centre.y);
  Sleep(300);
  SetCursorPos(centre.x + 2, centre.y);
  bool tip = false;
  for (int i = 0; i < 60 && !tip; ++i, Sleep(50)) tip = VisibleTipOf(process_->id());
  EXPECT_TRUE(tip) << "no tip over the demo path field";
  Shoot(nullptr, L"long_path_tip.png");
  SetCursorPos(before.x, before.y);
  EXPECT_EQ(Selected(main), kClientDemo);

  // A demo of another folder: the list keeps its folder and selects nothing.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(kHltvDemo))) << Why();
  ASSERT_TRUE(PostCommand(main, IDOK)) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_INFO, kHltvInfo)) << Why();
  EXPECT_EQ(Selected(main), L"(none)");
  // Listed, its folder selects it.
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, demos_)) << Why();
  ASSERT_TRUE(FocusControl(main, IDC_FOLDER_PATH)) << Why();
  ASSERT_TRUE(PressEnter(Control(main, IDC_FOLDER_PATH))) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, demos_ + L"\\")) << Why();
  EXPECT_EQ(Selected(main), kHltvDemo);

  // The player list and the details name every player.
  const std::wstring twenty = Demo(L"twenty.dem");
  ASSERT_TRUE(WriteFileBytes(twenty, TwentyPlayerDemo())) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, twenty)) << Why();
  ASSERT_TRUE(PostCommand(main, IDOK)) << Why();
  std::vector<std::wstring> players;
  for (int i = 0; i < 100 && players.size() != 21; ++i, Sleep(50)) {
    players = ListItems(main, IDC_PLAYER_LIST).value_or(std::vector<std::wstring>{});
  }
  EXPECT_EQ(players.size(), 21u);
  EXPECT_TRUE(Contains(players, L"Solo") && Contains(players, L"player 20") && !Contains(players, L"PLAYER 7"));
  Shoot(main, L"twenty_players.png");
  HWND view = OpenDetails(main);
  ASSERT_NE(view, nullptr);
  HWND text = Control(view, IDC_DETAILS_TEXT);
  EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & WS_VSCROLL) << "the details text scrolls";
  EXPECT_NE(GetText(text).value_or(L"").find(L"player 20"), std::wstring::npos);
  SendMessageW(text, WM_VSCROLL, SB_BOTTOM, 0);
  Shoot(view, L"details_scrolled.png");
  CloseDetails(view);
}

// --- A demo being recorded, and a file that is no demo ----------------------------------

TEST_F(ShownDemoTest, ADemoBeingRecordedIsReadButNotRepairedAndAFileThatIsNoDemoSaysSo) {
  // A demo the game is still writing: cut in its playback, no directory yet,
  // open for writing as the game keeps it.
  std::string bytes = ReadFileBytes(Demo(kClientDemo)).value_or("");
  ASSERT_GT(bytes.size(), 2000u);
  bytes.resize(bytes.size() * 2 / 3);
  bytes.replace(540, 4, std::string(4, '\0'));
  const std::wstring demo = Demo(L"recording.dem");
  ASSERT_TRUE(WriteFileBytes(demo, bytes)) << Why();
  HANDLE game = CreateFileW(demo.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(game, INVALID_HANDLE_VALUE);

  HWND main = StartWithGame(demo);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "the demo is read as it is";
  EXPECT_EQ(NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")), kClientInfo);

  HWND view = OpenDetails(main);
  ASSERT_NE(view, nullptr);
  EXPECT_NE(GetText(view, IDC_DETAILS_TEXT).value_or(L"").find(W(text::kDetailsFinished) +
                                                                W(text::kDetailsBeingWritten)),
            std::wstring::npos);
  EXPECT_FALSE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR))) << "no repair while it is written";
  Shoot(view, L"details_being_written.png");
  CloseDetails(view);

  // The repair from the menu asks, then refuses in Russian and leaves it.
  ASSERT_TRUE(PostSysCommand(main, IDM_REPAIR_DEMO)) << Why();
  auto ask = FindMessageBox(L"Rewindor", process_->id());
  ASSERT_TRUE(ask) << Why();
  ASSERT_TRUE(PressBoxButton(*ask, IDOK)) << Why();
  auto refused = FindMessageBox(L"Rewindor", process_->id());
  ASSERT_TRUE(refused) << Why();
  EXPECT_EQ(refused->text, W(text::kReasonBeingWritten)) << refused->Describe();
  ASSERT_TRUE(PressBoxButton(*refused, IDOK)) << Why();
  CloseHandle(game);
  EXPECT_EQ(ReadFileBytes(demo), bytes);

  // A file that is no demo: its summary is shown as for any file, and no repair.
  const std::wstring notes = Demo(L"notes.dem");
  ASSERT_TRUE(WriteFileBytes(notes, std::string(2000, 'x'))) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, notes)) << Why();
  ASSERT_TRUE(PostCommand(main, IDOK)) << Why();
  for (int i = 0; i < 100 && NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")) == kClientInfo; ++i) {
    Sleep(50);
  }
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  view = OpenDetails(main);
  ASSERT_NE(view, nullptr);
  EXPECT_NE(GetText(view, IDC_DETAILS_TEXT).value_or(L"").find(W(text::kDetailsFinished) + W(text::kDetailsNotADemo)),
            std::wstring::npos);
  EXPECT_FALSE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR)));
  CloseDetails(view);
}

}  // namespace
}  // namespace rewindor::e2e
