// The timeline ("Ход игры…") of a real recording, opened from every place that
// offers it: the system menu, the right-click menu, the details view and the
// library's row menu; its filter; and a demo that cannot be read.
#include <cwctype>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/timeline.h"

namespace rewindor::e2e {
namespace {

const std::wstring kRealDemo = L"cs-client-de_dust2-namechange.dem";
const std::wstring kDetailsTitle = L"Подробнее о демке";
const std::wstring kLibraryTitle = L"Библиотека демок";

std::wstring TitleFor(const std::wstring& file) { return W(text::kTimelineCaption) + L" — " + file; }

bool IsTime(const std::wstring& cell) {
  const std::size_t colon = cell.find(L':');
  if (colon == std::wstring::npos || colon == 0 || cell.size() != colon + 3) return false;
  for (std::size_t i = 0; i < cell.size(); ++i) {
    if (i != colon && !std::iswdigit(cell[i])) return false;
  }
  return true;
}

class TimelineTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const std::wstring real = Config().corpus + L"\\public-servers\\" + kRealDemo;
    if (Config().corpus.empty() || !FileExists(real)) GTEST_SKIP() << "no corpus recording at " << ToUtf8(real);
    ASSERT_TRUE(CopyFileTo(real, Demo(kRealDemo))) << Why();
  }

  // Waits for the timeline of `file` and for its reading to end.
  HWND WaitTimeline(const std::wstring& file) {
    HWND timeline = FindTopWindow(TitleFor(file), process_->id(), kDefaultWait, IDC_TIMELINE_LIST);
    if (timeline == nullptr) {
      ADD_FAILURE() << Why();
      return nullptr;
    }
    for (int i = 0; i < 400 && GetText(timeline, IDC_TIMELINE_STATUS) == W(text::kTimelineReading); ++i) Sleep(50);
    EXPECT_NE(GetText(timeline, IDC_TIMELINE_STATUS), W(text::kTimelineReading)) << "the reading never ended";
    return timeline;
  }

  std::vector<std::vector<std::wstring>> Rows(HWND timeline) {
    auto rows = ListViewRows(Control(timeline, IDC_TIMELINE_LIST), 3);
    EXPECT_TRUE(rows) << Why();
    return rows.value_or(std::vector<std::vector<std::wstring>>{});
  }

  void CloseTimeline(HWND main, HWND timeline, const std::wstring& file) {
    ASSERT_TRUE(PressEscape(timeline)) << Why();
    EXPECT_TRUE(WaitWindowGone(TitleFor(file), process_->id(), kDefaultWait, IDC_TIMELINE_LIST)) << Why();
    EXPECT_TRUE(WaitResponds(main)) << Why();
  }

  void ChooseFrom(HWND window, HWND clicked, POINT point, int entry) {
    ASSERT_TRUE(PostContextMenu(window, clicked, point)) << Why();
    HWND menu = FindPopupMenu(process_->id());
    ASSERT_NE(menu, nullptr) << Why();
    ASSERT_TRUE(ChooseMenuEntry(menu, entry)) << Why();
  }
};

TEST_F(TimelineTest, ShowsTheRoundsKillsChatAndNamesOfTheRecordingAndFiltersThem) {
  HWND main = Start(Quote(Demo(kRealDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PostSysCommand(main, IDM_TIMELINE)) << Why();  // as the system menu sends it
  HWND timeline = WaitTimeline(kRealDemo);
  ASSERT_NE(timeline, nullptr);

  const auto rows = Rows(timeline);
  ASSERT_FALSE(rows.empty());
  bool renamed = false;
  for (const auto& row : rows) {
    EXPECT_TRUE(IsTime(row[0])) << ToUtf8(row[0]) << " | " << ToUtf8(row[2]);
    EXPECT_FALSE(row[1].empty());
    renamed = renamed || row[2].find(W(text::kTimelineRenamed)) != std::wstring::npos;
  }
  EXPECT_TRUE(renamed) << "the recording's name change is a row";
  const std::wstring total = std::to_wstring(rows.size());
  EXPECT_EQ(GetText(timeline, IDC_TIMELINE_STATUS), total + L" из " + total);
  const std::wstring summary = GetText(timeline, IDC_TIMELINE_SUMMARY).value_or(L"");
  EXPECT_EQ(summary.rfind(L"Сч", 0), 0u) << ToUtf8(summary);
  Shoot(timeline, L"timeline.png");

  // The filter keeps the rows whose text holds what is typed, letter case
  // ignored: the name the player took second is in two of them.
  const std::wstring typed = L"222AHAHAHAHA222";
  std::size_t holding = 0;
  for (const auto& row : rows) holding += row[2].find(L"222ahahahaha222") != std::wstring::npos ? 1 : 0;
  ASSERT_GT(holding, 0u);
  ASSERT_LT(holding, rows.size());
  HWND filter = Control(timeline, IDC_TIMELINE_FILTER);
  ASSERT_TRUE(TypeText(filter, typed)) << Why();
  EXPECT_TRUE(WaitText(timeline, IDC_TIMELINE_STATUS, std::to_wstring(holding) + L" из " + total)) << Why();
  const auto shown = Rows(timeline);
  ASSERT_EQ(shown.size(), holding);
  for (const auto& row : shown) EXPECT_NE(row[2].find(L"222ahahahaha222"), std::wstring::npos);
  Shoot(timeline, L"timeline_filtered.png");
  ASSERT_TRUE(ClearEdit(filter)) << Why();
  EXPECT_TRUE(WaitText(timeline, IDC_TIMELINE_STATUS, total + L" из " + total)) << Why();

  // Larger, the list takes the room.
  RECT before{};
  GetWindowRect(Control(timeline, IDC_TIMELINE_LIST), &before);
  SetWindowPos(timeline, nullptr, 0, 0, 1000, 700, SWP_NOZORDER | SWP_ASYNCWINDOWPOS);  // all on the screen
  RECT after = before;
  for (int i = 0; i < 100 && after.right - after.left <= before.right - before.left; ++i, Sleep(50)) {
    GetWindowRect(Control(timeline, IDC_TIMELINE_LIST), &after);
  }
  EXPECT_GT(after.right - after.left, before.right - before.left);
  EXPECT_GT(after.bottom - after.top, before.bottom - before.top);
  Shoot(timeline, L"timeline_large.png");
  CloseTimeline(main, timeline, kRealDemo);

  // The right-click menu of the information box: details, repair, the timeline.
  ChooseFrom(main, main, CentreOf(Control(main, IDC_DEMO_INFO)), 2);
  timeline = WaitTimeline(kRealDemo);
  ASSERT_NE(timeline, nullptr);
  EXPECT_EQ(Rows(timeline).size(), rows.size());
  CloseTimeline(main, timeline, kRealDemo);
}

TEST_F(TimelineTest, OpensFromTheDetailsViewAndTheLibrarysRowMenu) {
  HWND main = Start(Quote(Demo(kRealDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PostCommand(main, IDM_DEMO_DETAILS)) << Why();
  HWND view = FindTopWindow(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT);
  ASSERT_NE(view, nullptr) << Why();
  Shoot(view, L"details_view_with_timeline.png");
  ASSERT_TRUE(Click(view, IDC_DETAILS_TIMELINE)) << Why();
  HWND timeline = WaitTimeline(kRealDemo);
  ASSERT_NE(timeline, nullptr);
  EXPECT_FALSE(Rows(timeline).empty());
  CloseTimeline(main, timeline, kRealDemo);
  ASSERT_TRUE(PressEscape(view)) << Why();
  ASSERT_TRUE(WaitWindowGone(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT)) << Why();

  ASSERT_TRUE(PostCommand(main, IDM_LIBRARY)) << Why();
  HWND library = FindTopWindow(kLibraryTitle, process_->id(), kDefaultWait, IDC_LIBRARY_LIST);
  ASSERT_NE(library, nullptr) << Why();
  HWND list = Control(library, IDC_LIBRARY_LIST);
  int row = -1;
  for (int i = 0; i < 200 && row < 0; ++i, Sleep(50)) {
    auto rows = ListViewRows(list, 1);
    for (std::size_t r = 0; rows && r < rows->size(); ++r) {
      if ((*rows)[r][0].find(L"namechange") != std::wstring::npos) row = static_cast<int>(r);
    }
  }
  ASSERT_GE(row, 0) << "the library lists the recording";
  auto point = ListViewRowPoint(list, row);
  ASSERT_TRUE(point) << Why();
  ChooseFrom(library, list, *point, 2);  // details, repair, the timeline
  timeline = WaitTimeline(kRealDemo);
  ASSERT_NE(timeline, nullptr);
  EXPECT_FALSE(Rows(timeline).empty());
  CloseTimeline(main, timeline, kRealDemo);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
}

TEST_F(TimelineTest, ADemoThatCannotBeReadIsOneRowThatSaysWhy) {
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  const std::wstring missing = Demo(L"gone.dem");
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, missing)) << Why();
  ASSERT_TRUE(PostCommand(main, IDM_TIMELINE)) << Why();
  HWND timeline = WaitTimeline(L"gone.dem");
  ASSERT_NE(timeline, nullptr);
  const auto rows = Rows(timeline);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], L"");
  EXPECT_NE(rows[0][2].find(L": "), std::wstring::npos) << "the reason, with the system's words: " << ToUtf8(rows[0][2]);
  EXPECT_EQ(GetText(timeline, IDC_TIMELINE_STATUS), L"1 из 1");
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "said in the row, not in a box";
  Shoot(timeline, L"timeline_unreadable.png");
  CloseTimeline(main, timeline, L"gone.dem");
}

}  // namespace
}  // namespace rewindor::e2e
