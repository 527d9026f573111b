// The library dialog on real recordings, used as a player would: opened from
// the main window, read in the background, narrowed by the filter, sorted by a
// column, a demo opened with a double-click, the unfinished ones repaired in
// one go, and its place kept for the next time.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo/messages.h"
#include "library/columns.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

const std::wstring kLibraryTitle = W(text::kLibraryCaption);
const std::wstring kDetailsTitle = L"Подробнее о демке";
constexpr int kColumns = 9;
constexpr int kFile = 0, kMap = 1, kTime = 2, kPlayers = 3, kServer = 4, kRecorder = 5, kState = 8;

// Real recordings (their facts in the corpus's MANIFEST) and the names they get here.
struct Recording {
  const wchar_t* source;  // in the corpus
  const wchar_t* name;    // in the test's folder
};
const Recording kRecordings[] = {
    {L"cs-client-cs_assault.dem", L"assault.dem"},
    {L"cs-hltv-cs_assault.dem", L"assault hltv.dem"},
    {L"public-servers\\cs-client-de_dust2-cyrillic-server.dem", L"дасти.dem"},
    {L"public-servers\\cs-client-cs_assault-11players.dem", L"assault 11.dem"},
};

// A text of the program's with its "%d" filled.
std::wstring Filled(const char* pattern, int n) {
  std::wstring text = W(pattern);
  return text.replace(text.find(L"%d"), 2, std::to_wstring(n));
}

// "m:ss" as seconds, for the order of the time column.
int Seconds(const std::wstring& time) {
  const auto colon = time.find(L':');
  return colon == std::wstring::npos ? -1 : std::stoi(time.substr(0, colon)) * 60 + std::stoi(time.substr(colon + 1));
}

class LibraryTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (Config().corpus.empty() || !FileExists(Config().corpus + L"\\" + kRecordings[0].source)) {
      GTEST_SKIP() << "no corpus at " << ToUtf8(Config().corpus);
    }
    for (const Recording& r : kRecordings) {
      ASSERT_TRUE(CopyFileTo(Config().corpus + L"\\" + r.source, Demo(r.name))) << Why();
    }
  }

  // The library's window, once its reading has finished with `rows` rows.
  HWND WaitLibrary(int rows) {
    HWND library = FindTopWindow(kLibraryTitle, process_->id(), kDefaultWait, IDC_LIBRARY_LIST);
    if (library == nullptr) {
      ADD_FAILURE() << Why();
      return nullptr;
    }
    const std::wstring all = std::to_wstring(rows);
    EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, all + L" из " + all)) << Why();
    return library;
  }

  std::vector<std::vector<std::wstring>> Rows(HWND library) {
    auto rows = ListViewRows(Control(library, IDC_LIBRARY_LIST), kColumns);
    EXPECT_TRUE(rows) << Why();
    return rows.value_or(std::vector<std::vector<std::wstring>>{});
  }

  // Where a demo is shown, by its file name; -1 when it is not.
  int IndexOf(HWND library, const std::wstring& name) {
    const auto rows = Rows(library);
    const auto at = std::find_if(rows.begin(), rows.end(), [&](const auto& row) { return row[kFile] == name; });
    return at == rows.end() ? -1 : static_cast<int>(at - rows.begin());
  }

  std::vector<std::wstring> RowOf(HWND library, const std::wstring& name) {
    const int at = IndexOf(library, name);
    return at < 0 ? std::vector<std::wstring>(kColumns) : Rows(library)[static_cast<std::size_t>(at)];
  }

  void Close(HWND library) {
    ASSERT_TRUE(PressEscape(library)) << Why();
    EXPECT_TRUE(WaitWindowGone(kLibraryTitle, process_->id(), kDefaultWait, IDC_LIBRARY_LIST)) << Why();
    // Hidden first, then destroyed: the layout is kept only as it is destroyed.
    for (int i = 0; i < 200 && IsWindow(library); ++i) Sleep(25);
  }

  // A copy of the first recording cut inside its playback, the directory
  // offset zeroed: a demo the game never finished writing.
  std::wstring MakeUnfinished(const std::wstring& name) {
    std::string demo = ReadFileBytes(Demo(kRecordings[0].name)).value_or(std::string(1000, '\0'));
    demo.resize(demo.size() * 2 / 3);
    demo.replace(540, 4, std::string(4, '\0'));
    EXPECT_TRUE(WriteFileBytes(Demo(name), demo)) << Why();
    return Demo(name);
  }

  // A right-click on a row (none: the keyboard's menu key on the selected
  // row) and the menu's entry chosen.
  void ChooseFromRow(HWND library, const std::wstring& name, int entry) {
    HWND list = Control(library, IDC_LIBRARY_LIST);
    auto point = name.empty() ? POINT{-1, -1} : ListViewRowPoint(list, IndexOf(library, name));
    ASSERT_TRUE(point) << Why();
    ASSERT_TRUE(OpenAndChoose([&] { return PostContextMenu(library, list, *point); }, process_->id(), entry))
        << Why();
  }

  // Waits for a box of the program, checks it and presses `button`.
  void Answer(const std::wstring& text, bool ok_cancel, int button) {
    auto box = ExpectBox(W(text::kProgramCaption), text, ok_cancel);
    ASSERT_TRUE(box);
    ASSERT_TRUE(PressBoxButton(*box, button)) << Why();
  }

  static int LibraryColumnWidth(HWND library) {
    DWORD_PTR width = 0;
    SendMessageTimeoutW(Control(library, IDC_LIBRARY_LIST), LVM_GETCOLUMNWIDTH, 0, 0, SMTO_NORMAL, 5000, &width);
    return static_cast<int>(width);
  }
};

TEST_F(LibraryTest, ShowsEveryDemoOfTheFolderFindsSortsAndOpens) {
  ASSERT_TRUE(WriteFileBytes(Demo(L"empty.dem"), "")) << Why();
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  Shoot(main, L"main_window_library_button.png");
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = WaitLibrary(7);
  ASSERT_NE(library, nullptr);
  Shoot(library, L"library.png");
  HWND list = Control(library, IDC_LIBRARY_LIST);

  // The rows: one a demo, the facts of each, sorted by file name.
  const auto rows = Rows(library);
  ASSERT_EQ(rows.size(), 7u);
  std::vector<std::wstring> names;
  for (const auto& row : rows) names.push_back(row[kFile]);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "by file name at first";
  auto assault = RowOf(library, L"assault.dem");
  assault.erase(assault.begin() + kRecorder + 1, assault.begin() + kState);  // the date and size are the copy's
  EXPECT_EQ(assault, (std::vector<std::wstring>{L"assault.dem", L"cs_assault", L"0:25", L"2", L"Counter-Strike",
                                                 L"Player", W(text::kLibraryFinished)}));
  EXPECT_EQ(RowOf(library, L"assault hltv.dem")[kRecorder], L"") << "HLTV has no recorder";
  EXPECT_EQ(RowOf(library, L"assault 11.dem")[kPlayers], L"11");
  // A demo that cannot be read: its row says why, and no box.
  const std::wstring why = RowOf(library, L"empty.dem")[kState];
  EXPECT_NE(why.find(L": "), std::wstring::npos) << ToUtf8(why);  // "<the window's text>: <the reason>"
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // The filter: a recorder's name in other letter case, Cyrillic.
  HWND filter = Control(library, IDC_LIBRARY_FILTER);
  ASSERT_TRUE(TypeText(filter, L"адский")) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"1 из 7")) << Why();
  ASSERT_EQ(Rows(library).size(), 1u);
  EXPECT_EQ(Rows(library)[0][kFile], L"дасти.dem");
  Shoot(library, L"library_filtered.png");
  ASSERT_TRUE(ClearEdit(filter)) << Why();
  ASSERT_TRUE(TypeText(filter, L"ASSAULT")) << Why();  // the map and the file names
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"3 из 7")) << Why();
  ASSERT_TRUE(ClearEdit(filter)) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"7 из 7")) << Why();

  // Sorting by time, as numbers: a click, then a second one reverses.
  for (bool descending : {false, true}) {
    ASSERT_TRUE(ClickHeader(list, kTime)) << Why();
    const int arrow = descending ? HDF_SORTDOWN : HDF_SORTUP;
    for (int i = 0; i < 50 && (HeaderFormat(list, kTime).value_or(0) & arrow) == 0; ++i) Sleep(50);
    EXPECT_EQ(HeaderFormat(list, kTime).value_or(0) & (HDF_SORTUP | HDF_SORTDOWN), arrow);
    EXPECT_EQ(HeaderFormat(list, kFile).value_or(-1) & (HDF_SORTUP | HDF_SORTDOWN), 0);
    std::vector<int> times;
    for (const auto& row : Rows(library)) times.push_back(Seconds(row[kTime]));
    if (descending) std::reverse(times.begin(), times.end());
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "descending: " << descending;
  }
  EXPECT_EQ(Rows(library).front()[kFile], L"assault.dem") << "the longest first";

  // A double-click opens the demo in the main window; the library stays.
  ASSERT_TRUE(DoubleClickListViewRow(list, IndexOf(library, L"assault hltv.dem"))) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, Demo(L"assault hltv.dem"))) << Why();
  EXPECT_NE(NormalizeNewlines(GetText(main, IDC_DEMO_INFO).value_or(L"")).find(L"HLTV: Yes"), std::wstring::npos);
  EXPECT_EQ(ListViewSelected(list), IndexOf(library, L"assault hltv.dem"));
  // Enter on the selected row of the list does the same.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, L"")) << Why();
  ASSERT_TRUE(FocusControl(library, IDC_LIBRARY_LIST)) << Why();
  ASSERT_TRUE(PressEnter(list)) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, Demo(L"assault hltv.dem"))) << Why();
  EXPECT_TRUE(IsWindowVisible(library));
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  Close(library);
  EXPECT_TRUE(WaitResponds(main)) << Why();
}

// The library's number (1130) masked as system commands are reads as the
// repair's (1120): every way to the library opens it, and nothing is repaired.
TEST_F(LibraryTest, EveryWayToItOpensTheOneLibraryAndNeverTheRepair) {
  const std::wstring cut = MakeUnfinished(L"cut.dem");
  const auto before = ReadFileBytes(cut);
  HWND main = Start(Quote(cut));
  ASSERT_NE(main, nullptr);

  ASSERT_TRUE(PostSysCommand(main, IDM_LIBRARY)) << Why();  // as the system menu sends it
  HWND library = WaitLibrary(7);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(FindMessageBox(W(text::kProgramCaption), process_->id(), Millis{1000}), std::nullopt);
  EXPECT_EQ(RowOf(library, L"cut.dem")[kState], W(text::kLibraryUnfinished));
  Close(library);

  // The system menu from the keyboard: the library, a separator, then the three demo commands.
  ASSERT_TRUE(OpenAndChoose([&] { return PostSysCommand(main, SC_KEYMENU, ' '); }, process_->id(), -4)) << Why();
  library = WaitLibrary(7);
  ASSERT_NE(library, nullptr);
  Close(library);

  // The right-click menu of the information box, its last entry.
  const POINT info = CentreOf(Control(main, IDC_DEMO_INFO));
  ASSERT_TRUE(OpenAndChoose([&] { return PostContextMenu(main, main, info); }, process_->id(), -1)) << Why();
  library = WaitLibrary(7);
  ASSERT_NE(library, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  EXPECT_TRUE(ReadFileBytes(cut) == before) << "nothing was repaired";

  // Opened again while it is open: the same library, on the folder the list shows now.
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[..]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, Dir() + L"\\")) << Why();
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"0 из 0")) << Why();
  EXPECT_EQ(TopWindows(kLibraryTitle, process_->id(), IDC_LIBRARY_LIST).size(), 1u);
  ASSERT_TRUE(Click(library, IDC_LIBRARY_SUBFOLDERS)) << Why();  // the demos below it too
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"7 из 7")) << Why();
  Close(library);
}

TEST_F(LibraryTest, RepairsTheUnfinishedDemosShownAfterOneQuestion) {
  const std::wstring cut = MakeUnfinished(L"cut.dem");
  const std::wstring hidden = MakeUnfinished(L"other unfinished.dem");
  const auto hiddenBefore = ReadFileBytes(hidden);
  HWND main = Start(Quote(cut));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = WaitLibrary(8);
  ASSERT_NE(library, nullptr);

  // None of those shown is unfinished: the box says so, and asks nothing.
  ASSERT_TRUE(TypeText(Control(library, IDC_LIBRARY_FILTER), L"dust")) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"1 из 8")) << Why();
  ASSERT_TRUE(Click(library, IDC_LIBRARY_REPAIR)) << Why();
  Answer(W(text::kLibraryNothingToRepair), false, IDOK);

  // One of the two shown: one question, one result, and the row then says "дописана".
  ASSERT_TRUE(ClearEdit(Control(library, IDC_LIBRARY_FILTER))) << Why();
  ASSERT_TRUE(TypeText(Control(library, IDC_LIBRARY_FILTER), L"cut.dem")) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"1 из 8")) << Why();
  ASSERT_TRUE(SetText(main, IDC_DEMO_INFO, L"")) << Why();  // its reading the demo again shows
  ASSERT_TRUE(Click(library, IDC_LIBRARY_REPAIR)) << Why();
  auto question = ExpectBox(W(text::kProgramCaption), Filled(text::kLibraryAskRepair, 1), true);
  ASSERT_TRUE(question);
  EXPECT_EQ(question->icon, BoxIcon::kQuestion);
  ASSERT_TRUE(PressBoxButton(*question, IDOK)) << Why();
  auto result = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(result) << Why();
  EXPECT_TRUE(result->OkOnly()) << result->Describe();
  EXPECT_EQ(result->text.rfind(Filled(text::kLibraryRepaired, 1) + L"\ncut.dem: Демка починена! Время: 0:", 0), 0u)
      << result->Describe();
  Shoot(nullptr, L"library_repair_result_screen.png");
  EXPECT_EQ(RowOf(library, L"cut.dem")[kState], W(text::kLibraryFinished)) << "behind the result already";
  ASSERT_TRUE(PressBoxButton(*result, IDOK)) << Why();
  EXPECT_TRUE(WaitNoMessageBox(process_->id())) << Why();
  EXPECT_NE(RowOf(library, L"cut.dem")[kTime], L"");
  EXPECT_FALSE(GetText(main, IDC_DEMO_INFO).value_or(L"").empty()) << "the main window read its demo again";
  EXPECT_TRUE(ReadFileBytes(hidden) == hiddenBefore) << "a demo filtered out is not repaired";

  // The other, asked about and declined: nothing changes.
  ASSERT_TRUE(ClearEdit(Control(library, IDC_LIBRARY_FILTER))) << Why();
  EXPECT_TRUE(WaitText(library, IDC_LIBRARY_STATUS, L"8 из 8")) << Why();
  ASSERT_TRUE(Click(library, IDC_LIBRARY_REPAIR)) << Why();
  Answer(Filled(text::kLibraryAskRepair, 1), true, IDCANCEL);
  EXPECT_EQ(RowOf(library, L"other unfinished.dem")[kState], W(text::kLibraryUnfinished));
  EXPECT_TRUE(ReadFileBytes(hidden) == hiddenBefore);
  Close(library);
}

TEST_F(LibraryTest, ARowsMenuShowsItsDetailsRepairsItAndShowsItInItsFolder) {
  MakeUnfinished(L"cut.dem");
  const std::wstring cut2 = MakeUnfinished(L"cut 2.dem");
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = WaitLibrary(8);
  ASSERT_NE(library, nullptr);

  // The details view of the row's demo, whose button repairs it; the row follows.
  ChooseFromRow(library, L"cut.dem", 0);
  HWND view = FindTopWindow(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT);
  ASSERT_NE(view, nullptr) << Why();
  ASSERT_TRUE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR)));
  ASSERT_TRUE(Click(view, IDC_DETAILS_REPAIR)) << Why();
  auto question = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(question && question->OkCancel()) << Why();
  ASSERT_TRUE(PressBoxButton(*question, IDOK)) << Why();
  auto result = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(result) << Why();
  EXPECT_EQ(result->text.rfind(L"Демка починена!", 0), 0u) << result->Describe();
  ASSERT_TRUE(PressBoxButton(*result, IDOK)) << Why();
  for (int i = 0; i < 100 && IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR)); ++i) Sleep(50);
  EXPECT_FALSE(IsWindowEnabled(Control(view, IDC_DETAILS_REPAIR))) << "the view shows the repaired demo";
  ASSERT_TRUE(PressEscape(view)) << Why();
  EXPECT_TRUE(WaitWindowGone(kDetailsTitle, process_->id(), kDefaultWait, IDC_DETAILS_TEXT)) << Why();
  EXPECT_EQ(RowOf(library, L"cut.dem")[kState], W(text::kLibraryFinished));

  // The repair from the keyboard's menu key on the row selected with a click.
  ASSERT_TRUE(ClickListViewRow(Control(library, IDC_LIBRARY_LIST), IndexOf(library, L"cut 2.dem"))) << Why();
  ChooseFromRow(library, L"", 1);
  Answer(W(text::kAskRepairDemo), true, IDOK);
  auto told = FindMessageBox(W(text::kProgramCaption), process_->id());
  ASSERT_TRUE(told) << Why();
  EXPECT_EQ(told->text.rfind(L"Демка починена!", 0), 0u) << told->Describe();
  ASSERT_TRUE(PressBoxButton(*told, IDOK)) << Why();
  EXPECT_EQ(RowOf(library, L"cut 2.dem")[kState], W(text::kLibraryFinished));
  EXPECT_TRUE(ReadFileBytes(cut2).value_or("").size() > 544);

  // "Показать в папке": Explorer's window of the demo's folder, titled with its name.
  ChooseFromRow(library, L"assault.dem", -1);
  HWND explorer = FindTopWindow(L"My Demos");
  ASSERT_NE(explorer, nullptr) << Why();
  EXPECT_NE(WindowProcess(explorer), process_->id());
  ASSERT_TRUE(PostClose(explorer)) << Why();
  EXPECT_TRUE(WaitWindowGone(L"My Demos", 0)) << Why();
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  Close(library);
}

// The layout's values as the dialog keeps them: 32-bit little-endian numbers.
const std::wstring kLayoutKey = std::wstring(kSettingsRoot) + L"\\Library";

std::optional<std::vector<std::int32_t>> LayoutValue(const wchar_t* name) {
  std::vector<std::int32_t> numbers(16);
  DWORD size = static_cast<DWORD>(numbers.size() * 4);
  if (RegGetValueW(HKEY_CURRENT_USER, kLayoutKey.c_str(), name, RRF_RT_REG_BINARY, nullptr, numbers.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  numbers.resize(size / 4);
  return numbers;
}

bool SetLayoutValue(const wchar_t* name, const std::vector<std::int32_t>& numbers) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, kLayoutKey.c_str(), name, REG_BINARY, numbers.data(),
                         static_cast<DWORD>(numbers.size() * 4)) == ERROR_SUCCESS;
}

std::vector<std::int32_t> RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right, r.bottom};
}

TEST_F(LibraryTest, ComesBackWhereItWasWithItsColumnsAndAlwaysOnTheScreen) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = WaitLibrary(6);
  ASSERT_NE(library, nullptr);
  ASSERT_TRUE(SetWindowPos(library, nullptr, 50, 60, 700, 400, SWP_NOZORDER | SWP_NOACTIVATE));
  DWORD_PTR done = 0;
  ASSERT_TRUE(SendMessageTimeoutW(Control(library, IDC_LIBRARY_LIST), LVM_SETCOLUMNWIDTH, 0, 200, SMTO_NORMAL, 5000,
                                  &done));
  Close(library);
  const std::vector<std::int32_t> kept{50, 60, 750, 460};
  EXPECT_EQ(LayoutValue(L"Window"), kept);
  auto columns = LayoutValue(L"Columns");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), kLibraryColumnCount);
  EXPECT_EQ(columns->front(), 200);
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "the settings are left alone";

  // Opened again: where it was, maximised, closed: the rectangle it has when restored is kept.
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  library = WaitLibrary(6);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(RectOf(library), kept);
  EXPECT_EQ(LibraryColumnWidth(library), 200);
  ShowWindowAsync(library, SW_MAXIMIZE);
  for (int i = 0; i < 100 && !IsZoomed(library); ++i) Sleep(50);
  Close(library);
  EXPECT_EQ(LayoutValue(L"Window"), kept);

  // Kept on a screen that is no longer there: put wholly on this one, its size kept.
  ASSERT_TRUE(SetLayoutValue(L"Window", {5000, 4000, 5700, 4400}));
  ASSERT_TRUE(SetLayoutValue(L"Columns", {1, 2, 3}));  // of another table: the defaults
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  library = WaitLibrary(6);
  ASSERT_NE(library, nullptr);
  const auto rect = RectOf(library);
  EXPECT_EQ(rect[2] - rect[0], 700);
  EXPECT_EQ(rect[3] - rect[1], 400);
  EXPECT_TRUE(rect[0] >= 0 && rect[1] >= 0 && rect[2] <= GetSystemMetrics(SM_CXSCREEN) &&
              rect[3] <= GetSystemMetrics(SM_CYSCREEN))
      << rect[0] << ", " << rect[1];
  EXPECT_GT(LibraryColumnWidth(library), 3);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "never a box about the layout";
  Close(library);
}

// A folder of the same recording linked under many names: a reading that takes
// long. Closing the library in the middle of it ends the dialog at once.
TEST_F(LibraryTest, ClosingInTheMiddleOfALongReadingEndsItAtOnce) {
  const std::wstring many = At(L"Many");
  ASSERT_TRUE(MakeFolders(many)) << Why();
  const std::wstring source = Config().corpus + L"\\public-servers\\cs-client-de_dust2-20players.dem";
  ASSERT_TRUE(CopyFileTo(source, many + L"\\0.dem")) << Why();
  constexpr int kLinks = 3000;
  for (int i = 1; i < kLinks; ++i) {
    const std::wstring link = many + L"\\" + std::to_wstring(i) + L".dem";
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), (many + L"\\0.dem").c_str(), nullptr)) << GetLastError();
  }
  HWND main = Start(Quote(many + L"\\0.dem"));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = FindTopWindow(kLibraryTitle, process_->id(), kDefaultWait, IDC_LIBRARY_LIST);
  ASSERT_NE(library, nullptr) << Why();
  // Well into the reading, and far from its end: Esc.
  int read = 0;
  for (int i = 0; i < 400 && read < 100; ++i) {
    const std::wstring status = GetText(library, IDC_LIBRARY_STATUS).value_or(L"");
    if (status.rfind(L"Прочитано ", 0) == 0) read = std::stoi(status.substr(10));
    if (read < 100) Sleep(50);
  }
  ASSERT_GE(read, 100);
  ASSERT_LT(read, kLinks / 2) << "the reading was too quick to be closed in the middle";
  if (!Config().artifacts.empty()) {  // at once, in the middle of the reading
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\library_reading.png", library)) << Why();
  }
  ASSERT_TRUE(PressEscape(library)) << Why();
  EXPECT_TRUE(WaitWindowGone(kLibraryTitle, process_->id(), Millis{3000}, IDC_LIBRARY_LIST)) << Why();
  EXPECT_TRUE(Responds(main)) << Why();
  EXPECT_TRUE(process_->Running());
}

// How wide `text` is in the library's font (the dialog's, MS Sans Serif 8), in pixels.
int TextWidth(const std::wstring& text) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
  HGDIOBJ before = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, before);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

// The date column as the user's own short date and time give a file's time.
std::wstring ShortDate(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  SYSTEMTIME utc{}, local{};
  wchar_t date[80] = L"(no time)", time[80] = L"";
  if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
      FileTimeToSystemTime(&data.ftLastWriteTime, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, 80);
  }
  return std::wstring(date) + L" " + time;
}

TEST_F(LibraryTest, NamesItsFolderFitsItsColumnsAndTellsNoDemoFromAnUnfinishedOne) {
  const std::wstring longName = L"CheatDemos1_furion_bloodstrike_de_dust2_final_round.dem";
  ASSERT_TRUE(CopyFileTo(Sample(kClientDemo), Demo(longName))) << Why();
  ASSERT_TRUE(CopyFileTo(Sample(kHltvDemo), Demo(L"Клипы\\неделя 1\\hltv.dem"))) << Why();
  ASSERT_TRUE(WriteFileBytes(Demo(L"notes.dem"), "a text file that was renamed")) << Why();
  // A demo the game still records: unfinished, and open for writing.
  HANDLE game = CreateFileW(MakeUnfinished(L"recording.dem").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(game, INVALID_HANDLE_VALUE);
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  HWND library = WaitLibrary(9);
  ASSERT_NE(library, nullptr);
  HWND list = Control(library, IDC_LIBRARY_LIST);
  EXPECT_EQ(GetText(library), kLibraryTitle + L" \u2014 " + demos_);

  // A file that is no demo says so, and is not among the unfinished; a
  // double-click on the batch repair asks once.
  const auto notes = RowOf(library, L"notes.dem");
  EXPECT_TRUE(notes[kState] == W(text::kLibraryNotADemo) && notes[kMap].empty()) << ToUtf8(notes[kState]);
  EXPECT_EQ(RowOf(library, L"recording.dem")[kState], W(text::kLibraryBeingWritten));
  ASSERT_TRUE(DoubleClickButton(Control(library, IDC_LIBRARY_REPAIR))) << Why();
  Answer(W(text::kLibraryNothingToRepair), false, IDOK);
  Sleep(1000);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "a second click stacked a second box";
  CloseHandle(game);
  // Dates as the user writes them; the longest name whole.
  EXPECT_EQ(RowOf(library, longName)[6], ShortDate(Demo(longName)));
  EXPECT_GE(LibraryColumnWidth(library), TextWidth(longName)) << "the file name column fits the longest name";
  // Sorted by time, the header keeps its title beside the arrow.
  ASSERT_TRUE(ClickHeader(list, kTime)) << Why();
  for (int i = 0; i < 50 && (HeaderFormat(list, kTime).value_or(0) & HDF_SORTUP) == 0; ++i) Sleep(50);
  EXPECT_GE(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, kTime, 0)),
            TextWidth(W(text::kLibraryColumnTime)) + 24);
  Shoot(library, L"library_fitted.png");

  // With the subfolders, each demo's folder below the listed one.
  ASSERT_TRUE(Click(library, IDC_LIBRARY_SUBFOLDERS)) << Why();
  library = WaitLibrary(10);
  ASSERT_NE(library, nullptr);
  const int folderColumn = static_cast<int>(LibraryColumn::kFolder);
  EXPECT_GT(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, folderColumn, 0)), 0);
  const auto rows = ListViewRows(list, folderColumn + 1);
  ASSERT_TRUE(rows) << Why();
  for (const auto& row : *rows) {
    EXPECT_EQ(row[folderColumn], row[kFile] == L"hltv.dem" ? L"Клипы\\неделя 1" : L"") << ToUtf8(row[kFile]);
  }
  Shoot(library, L"library_subfolders.png");

  // Another folder from the main window, then back through the recent folders of "Папка...".
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, Demo(L"Клипы\\"))) << Why();
  ASSERT_TRUE(Click(main, IDC_LIBRARY_OPEN)) << Why();
  for (int i = 0; i < 100 && GetText(library) != kLibraryTitle + L" \u2014 " + Demo(L"Клипы"); ++i) Sleep(50);
  EXPECT_EQ(GetText(library), kLibraryTitle + L" \u2014 " + Demo(L"Клипы"));
  // The library has just come to the front: a menu opened while the windows
  // still change places may close at once, so the click is tried again then.
  ASSERT_TRUE(WaitResponds(library)) << Why();
  bool chosen = false;
  for (int attempt = 0; attempt < 3 && !chosen; ++attempt) {
    ASSERT_TRUE(Click(library, IDC_LIBRARY_FOLDER)) << Why();
    HWND menu = FindPopupMenu(process_->id(), Millis{5000});
    if (menu == nullptr) continue;
    Shoot(nullptr, L"library_folder_menu.png");
    chosen = ChooseMenuEntry(menu, 2);  // "Выбрать папку...", this folder, the one before
  }
  ASSERT_TRUE(chosen) << Why();
  library = WaitLibrary(10);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(GetText(library), kLibraryTitle + L" \u2014 " + demos_);
}

}  // namespace
}  // namespace rewindor::e2e