// The details view and the repair of an unfinished demo, reached through the
// main window's system menu and its right-click menus, on a real recording.
#include <string>
#include <vector>

#include "demo/messages.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

const std::wstring kDetailsTitle = L"Подробнее о демке";
const std::wstring kRealDemo = L"cs-client-cs_assault.dem";

// The view's text as lines.
std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring normal = NormalizeNewlines(text);
  for (std::size_t start = 0;;) {
    std::size_t end = normal.find(L'\n', start);
    lines.push_back(normal.substr(start, end - start));
    if (end == std::wstring::npos) return lines;
    start = end + 1;
  }
}

// The value after a label, or "(no such line)".
std::wstring ValueOf(const std::vector<std::wstring>& lines, const char* label) {
  const std::wstring prefix = W(label);
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return L"(no such line)";
}

class DetailsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const std::wstring real = Config().corpus + L"\\" + kRealDemo;
    if (Config().corpus.empty() || !FileExists(real)) GTEST_SKIP() << "no corpus recording at " << ToUtf8(real);
    ASSERT_TRUE(CopyFileTo(real, Demo(kRealDemo))) << Why();
  }

  // Waits for the view, for its text and for the main window to take messages
  // again behind it (the view runs its own loop).
  HWND WaitDetails() {
    HWND view = FindTopWindow(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT);
    if (view == nullptr) ADD_FAILURE() << Why();
    return view;
  }

  std::vector<std::wstring> Shown(HWND view) {
    auto text = GetText(view, IDC_DETAILS_TEXT);
    EXPECT_TRUE(text) << Why();
    return text ? Lines(*text) : std::vector<std::wstring>{};
  }

  void ExpectLabels(const std::vector<std::wstring>& lines) {
    for (const char* label : {text::kDetailsPlayingTime, text::kDetailsFrames, text::kDetailsServer,
                              text::kDetailsMaxPlayers, text::kDetailsRecorder, text::kDetailsFinished,
                              text::kDetailsResolution, text::kDetailsRoster}) {
      EXPECT_NE(ValueOf(lines, label), L"(no such line)") << label;
    }
  }

  void ExpectClosed(HWND main) {
    EXPECT_TRUE(WaitWindowGone(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT)) << Why();
    EXPECT_TRUE(WaitResponds(main)) << Why();
  }

  // Right-clicks at `point` of the main window (on `clicked`) and chooses the
  // menu's entry: 0 the details, 1 the repair.
  void ChooseFromRightClick(HWND main, HWND clicked, POINT point, int entry) {
    ASSERT_TRUE(WaitResponds(main)) << Why();
    ASSERT_TRUE(OpenAndChoose([&] { return PostContextMenu(main, clicked, point); }, process_->id(), entry))
        << Why();
  }
};

TEST_F(DetailsTest, OpensFromEveryMenuOnTheDemoShownAndCloses) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);

  // A right-click on a demo of the folder list opens it, as its double-click does.
  HWND list = Control(main, IDC_FOLDER_LIST);
  ASSERT_NE(list, nullptr) << Why();
  auto entries = ListItems(list);
  ASSERT_TRUE(entries) << Why();
  const auto at = std::find(entries->begin(), entries->end(), kRealDemo);
  ASSERT_NE(at, entries->end()) << "the folder list shows the recording";
  DWORD_PTR height = 0, top = 0;
  ASSERT_TRUE(SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_NORMAL, 5000, &height));
  ASSERT_TRUE(SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_NORMAL, 5000, &top));
  POINT entry{8, static_cast<LONG>((at - entries->begin() - static_cast<long>(top)) * static_cast<long>(height) +
                                   static_cast<long>(height) / 2)};
  ClientToScreen(list, &entry);
  ChooseFromRightClick(main, list, entry, 0);
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, Demo(kRealDemo))) << Why();
  HWND view = WaitDetails();
  ASSERT_NE(view, nullptr);
  ExpectLabels(Shown(view));
  EXPECT_NE(NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")), kClientInfo) << "the recording is shown";
  if (!Config().artifacts.empty()) {
    Sleep(500);  // let the skin be painted
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\details_view.png", view)) << Why();
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\details_view_screen.png")) << Why();
  }
  ASSERT_TRUE(PressEscape(view)) << Why();
  ExpectClosed(main);

  // A right-click on the information box; the close button.
  ChooseFromRightClick(main, main, CentreOf(Control(main, IDC_DEMO_INFO)), 0);
  view = WaitDetails();
  ASSERT_NE(view, nullptr);
  ExpectLabels(Shown(view));
  ASSERT_TRUE(Click(view, IDCANCEL)) << Why();
  ExpectClosed(main);

  // The system menu, opened from the keyboard (Alt+Space), its entry before
  // the repair and the timeline; the caption's close box.
  ASSERT_TRUE(OpenAndChoose([&] { return PostSysCommand(main, SC_KEYMENU, ' '); }, process_->id(), -3)) << Why();
  view = WaitDetails();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(PostClose(view)) << Why();
  ExpectClosed(main);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // A right-click beside the information box, or below the folder list's last
  // entry, opens no menu and no demo.
  RECT info{}, below{};
  GetWindowRect(Control(main, IDC_DEMO_INFO), &info);
  GetWindowRect(list, &below);
  for (const auto& [clicked, point] : {std::pair{main, POINT{info.left - 20, info.top - 20}},
                                       std::pair{list, POINT{below.left + 8, below.bottom - 8}}}) {
    ASSERT_TRUE(PostContextMenu(main, clicked, point)) << Why();
    EXPECT_EQ(FindPopupMenu(process_->id(), Millis{1000}), nullptr);
  }
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), Demo(kRealDemo));
}

TEST_F(DetailsTest, WithoutADemoBothCommandsSayNoDemoIsLoaded) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, L"C")) << Why();
  for (int command : {IDM_DEMO_DETAILS, IDM_REPAIR_DEMO}) {
    ASSERT_TRUE(PostSysCommand(main, command)) << Why();
    auto box = ExpectBox(L"Rewindor", kNoDemoLoaded, false);
    ASSERT_TRUE(box);
    ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
    EXPECT_TRUE(TopWindows(kDetailsTitle, process_->id(), IDC_DETAILS_TEXT).empty());
  }
  // A demo that cannot be read: the information reader's error, and no view.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(L"missing.dem"))) << Why();
  ASSERT_TRUE(PostSysCommand(main, IDM_DEMO_DETAILS)) << Why();
  auto error = FindMessageBox(W(text::kErrorCaption), process_->id());
  ASSERT_TRUE(error) << Why();
  EXPECT_EQ(error->text.rfind(W(text::kCannotOpenDemo) + L": ", 0), 0u) << error->Describe();
  ASSERT_TRUE(PressBoxButton(*error, IDOK)) << Why();
  EXPECT_TRUE(WaitResponds(main)) << Why();
  EXPECT_TRUE(TopWindows(kDetailsTitle, process_->id(), IDC_DETAILS_TEXT).empty());
}

// The facts of the recording (its MANIFEST: 25.097 s, server "Counter-Strike",
// recorded by "Player").
TEST_F(DetailsTest, ShowsWhatTheRecordingHolds) {
  HWND main = Start(Quote(Demo(kRealDemo)));
  ASSERT_NE(main, nullptr);
  ChooseFromRightClick(main, main, CentreOf(Control(main, IDC_DEMO_INFO)), 0);
  HWND view = WaitDetails();
  ASSERT_NE(view, nullptr);
  const std::vector<std::wstring> lines = Shown(view);
  EXPECT_EQ(ValueOf(lines, text::kDetailsPlayingTime), L"0:25");
  EXPECT_EQ(ValueOf(lines, text::kDetailsFrames), L"1504");
  EXPECT_EQ(ValueOf(lines, text::kDetailsServer), L"Counter-Strike");
  EXPECT_EQ(ValueOf(lines, text::kDetailsRecorder), L"Player");
  EXPECT_EQ(ValueOf(lines, text::kDetailsFinished), W(text::kDetailsYes));
  EXPECT_EQ(ValueOf(lines, text::kDetailsResolution), L"1440x900");
  EXPECT_EQ(ValueOf(lines, text::kDetailsRoster), L"2");
  EXPECT_TRUE(Contains(lines, L"Player"));
  EXPECT_FALSE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR))) << "a finished demo needs no repair";
  ASSERT_TRUE(PressEscape(view)) << Why();
  ExpectClosed(main);
}

// A recording the game never finished: cut inside Playback, no directory.
TEST_F(DetailsTest, RepairsAnUnfinishedDemoFromTheView) {
  auto whole = ReadFileBytes(Demo(kRealDemo));
  ASSERT_TRUE(whole) << Why();
  ASSERT_GT(whole->size(), 600000u);
  std::string cut = whole->substr(0, 600000);
  cut.replace(540, 4, std::string(4, '\0'));  // the directory offset: none
  const std::wstring demo = Demo(L"unfinished.dem");
  ASSERT_TRUE(WriteFileBytes(demo, cut)) << Why();

  HWND main = Start(Quote(demo));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PostSysCommand(main, IDM_DEMO_DETAILS)) << Why();
  HWND view = WaitDetails();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(ValueOf(Shown(view), text::kDetailsFinished), W(text::kDetailsNo));
  ASSERT_TRUE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR))) << "an unfinished demo can be repaired";
  Shoot(nullptr, L"details_unfinished_screen.png");

  // Blank what the main window shows, so that its reading the demo again shows.
  ASSERT_TRUE(SetText(main, IDC_DEMO_INFO, L"")) << Why();
  // The main window stays usable meanwhile; another path typed there does not
  // change which demo the view's button repairs.
  auto sample = ReadFileBytes(Demo(kClientDemo));
  ASSERT_TRUE(sample) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(kClientDemo))) << Why();
  ASSERT_TRUE(Click(view, IDC_DETAILS_REPAIR)) << Why();
  auto question = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(question) << Why();
  EXPECT_TRUE(question->OkCancel()) << question->Describe();
  ASSERT_TRUE(PressBoxButton(*question, IDOK)) << Why();
  auto result = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(result) << Why();
  EXPECT_EQ(result->text.rfind(L"Демка починена! Время: 0:", 0), 0u) << result->Describe();
  Shoot(nullptr, L"repair_result_screen.png");
  ASSERT_TRUE(PressBoxButton(*result, IDOK)) << Why();
  ASSERT_TRUE(WaitResponds(main)) << Why();

  auto repaired = ReadFileBytes(demo);
  ASSERT_TRUE(repaired && repaired->size() > 544) << Why();
  EXPECT_NE(repaired->substr(540, 4), std::string(4, '\0')) << "the repaired demo has a directory";
  EXPECT_FALSE(GetText(main, IDC_DEMO_INFO).value_or(L"").empty()) << "the main window read the demo again";
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), demo);
  EXPECT_EQ(ReadFileBytes(Demo(kClientDemo)), sample) << "the demo typed meanwhile is left alone";
  // The view shows the demo as it now is.
  const std::vector<std::wstring> lines = Shown(view);
  EXPECT_EQ(ValueOf(lines, text::kDetailsFinished), W(text::kDetailsYes));
  EXPECT_NE(ValueOf(lines, text::kDetailsPlayingTime), W(text::kDetailsUnknown));
  EXPECT_FALSE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR)));
  ASSERT_TRUE(Click(view, IDCANCEL)) << Why();
  ExpectClosed(main);

  // "Починить демку" from the system menu on the repaired demo: whatever the
  // boxes say (OK to each), a second repair changes nothing.
  ASSERT_TRUE(PostSysCommand(main, IDM_REPAIR_DEMO)) << Why();
  int boxes = 0;
  while (auto box = FindMessageBox(W(text::kProgramCaption), process_->id(), Millis{3000})) {
    ASSERT_LT(++boxes, 4) << box->Describe();
    ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
  }
  EXPECT_GE(boxes, 1) << "the command says what it did";
  ASSERT_TRUE(WaitResponds(main)) << Why();
  EXPECT_EQ(ReadFileBytes(demo), repaired);
}

}  // namespace
}  // namespace rewindor::e2e
