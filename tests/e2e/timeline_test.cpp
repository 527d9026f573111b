// The timeline ("Ход игры…") of a real recording, opened from every place that
// offers it: the system menu, the right-click menu, the details view and the
// library's row menu; its filter; and a demo that cannot be read.
#include <regex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/timeline.h"

namespace rewindor::e2e {
namespace {

const std::wstring kRealDemo = L"cs-client-de_dust2-namechange.dem";

bool IsTime(const std::wstring& cell) { return std::regex_match(cell, std::wregex(L"[0-9]+:[0-9][0-9]")); }

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
    HWND timeline = FindTopWindow(TimelineTitle(file), process_->id(), kDefaultWait, IDC_TIMELINE_LIST);
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

  // Waits for the timeline of `file`, checks how many rows it shows, and closes it.
  void ExpectTimeline(HWND main, const std::wstring& file, std::size_t count) {
    HWND timeline = WaitTimeline(file);
    ASSERT_NE(timeline, nullptr);
    EXPECT_EQ(Rows(timeline).size(), count);
    CloseByEscape(timeline, TimelineTitle(file), IDC_TIMELINE_LIST);
    EXPECT_TRUE(WaitResponds(main)) << Why();
  }
};

TEST_F(TimelineTest, ShowsTheRoundsKillsChatAndNamesOfTheRecordingFiltersThemAndOpensFromEveryPlace) {
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
  std::size_t holding = 0;
  for (const auto& row : rows) holding += row[2].find(L"222ahahahaha222") != std::wstring::npos ? 1 : 0;
  ASSERT_GT(holding, 0u);
  ASSERT_LT(holding, rows.size());
  HWND filter = Control(timeline, IDC_TIMELINE_FILTER);
  ASSERT_TRUE(TypeText(filter, L"222AHAHAHAHA222")) << Why();
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
  CloseByEscape(timeline, TimelineTitle(kRealDemo), IDC_TIMELINE_LIST);

  // The right-click menu of the information box: details, repair, the timeline.
  ChooseFrom(main, main, CentreOf(Control(main, IDC_DEMO_INFO)), 2);
  ExpectTimeline(main, kRealDemo, rows.size());

  // The details view's button.
  HWND view = OpenFrom(main, IDM_DEMO_DETAILS, kDetailsTitle, IDC_DETAILS_TEXT);
  ASSERT_NE(view, nullptr);
  Shoot(view, L"details_view_with_timeline.png");
  ASSERT_TRUE(Click(view, IDC_DETAILS_TIMELINE)) << Why();
  ExpectTimeline(main, kRealDemo, rows.size());
  CloseByEscape(view, kDetailsTitle, IDC_DETAILS_TEXT);

  // The library's row menu: details, repair, the timeline.
  HWND library = OpenFrom(main, IDM_LIBRARY, kLibraryTitle, IDC_LIBRARY_LIST);
  ASSERT_NE(library, nullptr);
  HWND list = Control(library, IDC_LIBRARY_LIST);
  int row = -1;
  for (int i = 0; i < 200 && row < 0; ++i, Sleep(50)) {
    const auto listed = ListViewRows(list, 1).value_or(std::vector<std::vector<std::wstring>>{});
    for (std::size_t r = 0; r < listed.size(); ++r) {
      if (listed[r][0].find(L"namechange") != std::wstring::npos) row = static_cast<int>(r);
    }
  }
  ASSERT_GE(row, 0) << "the library lists the recording";
  auto point = ListViewRowPoint(list, row);
  ASSERT_TRUE(point) << Why();
  ChooseFrom(library, list, *point, 2);
  ExpectTimeline(main, kRealDemo, rows.size());
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // A demo that cannot be read is one row that says why, not a box.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, Demo(L"gone.dem"))) << Why();
  ASSERT_TRUE(PostCommand(main, IDM_TIMELINE)) << Why();
  timeline = WaitTimeline(L"gone.dem");
  ASSERT_NE(timeline, nullptr);
  const auto unreadable = Rows(timeline);
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0][0], L"");
  EXPECT_NE(unreadable[0][2].find(L": "), std::wstring::npos) << "the system's words: " << ToUtf8(unreadable[0][2]);
  EXPECT_EQ(GetText(timeline, IDC_TIMELINE_STATUS), L"1 из 1");
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "said in the row, not in a box";
  Shoot(timeline, L"timeline_unreadable.png");
}

}  // namespace
}  // namespace rewindor::e2e
