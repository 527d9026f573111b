// The folder list (walking folders, opening demos from it) and the resolution
// dialog, driven through rewindor.exe's windows.
#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "demo/messages.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"
#include "ui/folder_list.h"
#include "ui/texts.h"

namespace rewindor::e2e {
namespace {

// --- Folder list ------------------------------------------------------------------

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// What the list should show for a folder, from our own look at the disk:
// every folder but "." in brackets, and every file with ".dem" in its name.
std::vector<std::wstring> ExpectedListing(const std::wstring& folder) {
  std::vector<std::wstring> entries;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name != L".") entries.push_back(L"[" + name + L"]");
    } else if (Lower(name).find(L".dem") != std::wstring::npos) {
      entries.push_back(name);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return Sorted(entries);
}

class FolderListTest : public MainWindowTest {
 protected:
  // The list's entries, sorted (the list box orders them by the system's rules).
  std::vector<std::wstring> Listed(HWND main) {
    auto items = ListItems(main, IDC_FOLDER_LIST);
    EXPECT_TRUE(items) << Why();
    return items ? Sorted(*items) : std::vector<std::wstring>{};
  }

  // Shows nothing new and changes nothing: the demo path, the folder field and
  // the list stay as they were.
  void ExpectUnchanged(HWND main, const std::wstring& demo, const std::wstring& folder,
                       const std::vector<std::wstring>& list) {
    ASSERT_TRUE(WaitResponds(main)) << Why();
    Sleep(300);
    EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
    EXPECT_EQ(GetText(main, IDC_DEMO_PATH), demo);
    EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), folder);
    EXPECT_EQ(Listed(main), list);
  }
};

TEST_F(FolderListTest, ListsDemosAndFoldersAndOpensThemFromTheFieldsText) {
  // Letter case of ".dem" does not matter, and it may stand anywhere in the
  // name; a folder named like a demo is still a folder.
  const std::wstring shelf = At(L"Demo Shelf");
  ASSERT_TRUE(CopyFileTo(Sample(kClientDemo), shelf + L"\\a.dem")) << Why();
  ASSERT_TRUE(CopyFileTo(Sample(kHltvDemo), shelf + L"\\B.DEM")) << Why();
  ASSERT_TRUE(WriteFileBytes(shelf + L"\\readme.txt", "not a demo")) << Why();
  ASSERT_TRUE(WriteFileBytes(shelf + L"\\notes.dem.txt", "notes")) << Why();
  ASSERT_TRUE(WriteFileBytes(shelf + L"\\round.demo", "round")) << Why();
  ASSERT_TRUE(MakeFolders(shelf + L"\\old.dem")) << Why();
  ASSERT_TRUE(CopyFileTo(Sample(kClientDemo), shelf + L"\\sub\\inner.dem")) << Why();
  // The other folder, typed into the field later, has an a.dem of its own.
  ASSERT_TRUE(CopyFileTo(Sample(kHltvDemo), Demo(L"a.dem"))) << Why();
  const std::vector<std::wstring> shelf_list =
      Sorted({L"[..]", L"[old.dem]", L"[sub]", L"B.DEM", L"a.dem", L"notes.dem.txt", L"round.demo"});
  const std::wstring shelf_field = shelf + L"\\";

  HWND main = Start(Quote(shelf + L"\\B.DEM"));
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), shelf_field);
  EXPECT_EQ(Listed(main), shelf_list);
  ExpectShows(main, kHltvInfo, kClientPlayers);  // an HLTV demo's roster names its players

  // A double-click with no entry selected does nothing at all. Sent, so that
  // it has been handled when the call returns (a box would hold it up).
  HWND list = Control(main, IDC_FOLDER_LIST);
  ASSERT_NE(list, nullptr) << Why();
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0, SMTO_NORMAL, 5000, &ignored);
  EXPECT_TRUE(SendMessageTimeoutW(main, WM_COMMAND, MAKEWPARAM(IDC_FOLDER_LIST, LBN_DBLCLK),
                                  reinterpret_cast<LPARAM>(list), SMTO_NORMAL, 5000, &ignored))
      << "the double-click without a selection did not end";
  ExpectUnchanged(main, shelf + L"\\B.DEM", shelf_field, shelf_list);

  // A demo opens with its full path; the list keeps its folder.
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"a.dem")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, shelf + L"\\a.dem")) << Why();
  ExpectShows(main, kClientInfo, kClientPlayers);
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), shelf_field);
  EXPECT_EQ(Listed(main), shelf_list);

  // Into a subfolder, back up with [..], into the folder named like a demo.
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[sub]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, shelf + L"\\sub\\")) << Why();
  EXPECT_EQ(Listed(main), Sorted({L"[..]", L"inner.dem"}));
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[..]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, shelf_field)) << Why();
  EXPECT_EQ(Listed(main), shelf_list);
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[old.dem]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, shelf + L"\\old.dem\\")) << Why();
  EXPECT_EQ(Listed(main), std::vector<std::wstring>{L"[..]"});
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[..]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, shelf_field)) << Why();
  EXPECT_EQ(GetText(main, IDC_DEMO_PATH), shelf + L"\\a.dem") << "walking folders leaves the demo alone";

  // A folder typed into the field is what the next double-click joins to.
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, demos_ + L"\\")) << Why();
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"a.dem")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_DEMO_PATH, Demo(L"a.dem"))) << Why();
  ExpectShows(main, kHltvInfo, kClientPlayers);  // an HLTV demo's roster names its players
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), demos_ + L"\\");
  EXPECT_EQ(Listed(main), shelf_list);

  // A joined path longer than Windows paths may be is refused, and nothing moves.
  const std::wstring long_folder = L"C:\\" + std::wstring(252, L'x') + L"\\";  // + "a.dem": 261 characters
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, long_folder)) << Why();
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"a.dem")) << Why();
  auto refusal = ExpectBox(L"Rewindor", W(text::kFolderPathTooLong), false);
  ASSERT_TRUE(refusal);
  ASSERT_TRUE(PressBoxButton(*refusal, IDOK)) << Why();
  ExpectUnchanged(main, Demo(L"a.dem"), long_folder, shelf_list);

  // [..] from a typed folder one below a drive's root lists the root: every
  // entry, the first one the system returns too.
  ASSERT_TRUE(SetText(main, IDC_FOLDER_PATH, L"C:\\nowhere\\")) << Why();
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, L"[..]")) << Why();
  EXPECT_TRUE(WaitText(main, IDC_FOLDER_PATH, L"C:\\")) << Why();
  const std::vector<std::wstring> root = ExpectedListing(L"C:");
  ASSERT_GE(root.size(), 2u) << "the drive's root holds folders";
  EXPECT_EQ(Listed(main), root);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
}

// --- Resolution dialog ------------------------------------------------------------

// The 14-byte record of a screen size as the conversion searches and writes it.
std::string SizeRecord(std::uint16_t width, std::uint16_t height) {
  std::string record(14, '\0');
  record[8] = static_cast<char>(width & 0xFF);
  record[9] = static_cast<char>(width >> 8);
  record[12] = static_cast<char>(height & 0xFF);
  record[13] = static_cast<char>(height >> 8);
  return record;
}

// `demo` with every record of one size that ends before the file's last byte
// turned into the other, left to right over the bytes as they then stand.
std::string Converted(std::string demo, const std::string& from, const std::string& to) {
  for (std::size_t k = 0; k + from.size() < demo.size(); ++k) {
    if (demo.compare(k, from.size(), from) == 0) demo.replace(k, to.size(), to);
  }
  return demo;
}

std::string FirstDifference(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return "first difference at offset " + std::to_string(i);
  }
  return "equal";
}

const std::wstring kWrongResolutionText = W(text::kWrongResolution);

class ResolutionDialogTest : public MainWindowTest {
 protected:
  HWND OpenDialog(HWND main) {
    if (!Click(main, IDC_CONVERT_RESOLUTION)) {
      ADD_FAILURE() << Why();
      return nullptr;
    }
    HWND dialog = FindTopWindow(kResolutionTitle, process_->id(), kDefaultWait, IDC_NEW_WIDTH);
    if (dialog == nullptr) ADD_FAILURE() << Why();
    return dialog;
  }

  void ExpectCurrentSize(HWND dialog, const std::wstring& width, const std::wstring& height, bool editable) {
    EXPECT_EQ(GetText(dialog, IDC_CURRENT_WIDTH), width);
    EXPECT_EQ(GetText(dialog, IDC_CURRENT_HEIGHT), height);
    EXPECT_EQ(IsWindowEnabled(Control(dialog, IDC_CURRENT_WIDTH)) != FALSE, editable);
    EXPECT_EQ(IsWindowEnabled(Control(dialog, IDC_CURRENT_HEIGHT)) != FALSE, editable);
  }

  // Blanks what the main window shows of the demo, so that a re-read shows.
  void ForgetShownDemo(HWND main) {
    ASSERT_TRUE(SetText(main, IDC_DEMO_INFO, L"")) << Why();
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(SendMessageTimeoutW(Control(main, IDC_PLAYER_LIST), LB_RESETCONTENT, 0, 0, SMTO_NORMAL, 5000,
                                    &ignored));
  }

  // The dialog has gone and the main window's command has ended.
  void ExpectClosed(HWND main) {
    EXPECT_TRUE(WaitWindowGone(kResolutionTitle, process_->id(), kDefaultWait, IDC_NEW_WIDTH)) << Why();
    ASSERT_TRUE(WaitResponds(main)) << Why();
    Sleep(300);
  }

  void ExpectNotReadAgain(HWND main) {
    EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
    ExpectShows(main, L"", {});
  }
};

TEST_F(ResolutionDialogTest, OpensForAPathAndShowsTheSizeTheDemoRecords) {
  const std::wstring client = Demo(kClientDemo), hltv = Demo(kHltvDemo);
  auto client_bytes = ReadFileBytes(client), hltv_bytes = ReadFileBytes(hltv);
  ASSERT_TRUE(client_bytes && hltv_bytes) << Why();
  HWND main = Start(Quote(client));
  ASSERT_NE(main, nullptr);

  // One character is no demo path; two are enough to open the dialog, even
  // when no such file exists (then nothing is known of its size).
  // A character is one character also when UTF-8 needs two bytes for it.
  for (const wchar_t* one : {L"C", L"Д"}) {
    ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, one)) << Why();
    ASSERT_TRUE(Click(main, IDC_CONVERT_RESOLUTION)) << Why();
    auto refusal = ExpectBox(L"Rewindor", kNoDemoLoaded, false);
    ASSERT_TRUE(refusal);
    ASSERT_TRUE(PressBoxButton(*refusal, IDOK)) << Why();
    EXPECT_TRUE(TopWindows(kResolutionTitle, process_->id(), IDC_NEW_WIDTH).empty()) << ToUtf8(one);
  }

  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, L"ZZ")) << Why();
  HWND dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ExpectCurrentSize(dialog, L"", L"", true);
  // The close box converts nothing and reads nothing (reading "ZZ" would
  // report that it cannot be opened).
  ASSERT_TRUE(PostClose(dialog)) << Why();
  ExpectClosed(main);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());

  // An HLTV demo records no size: the user types it, and 0 is refused.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, hltv)) << Why();
  dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ExpectCurrentSize(dialog, L"", L"", true);
  for (auto [id, value] : {std::pair{IDC_CURRENT_WIDTH, L"0"}, std::pair{IDC_CURRENT_HEIGHT, L"0"},
                           std::pair{IDC_NEW_WIDTH, L"800"}, std::pair{IDC_NEW_HEIGHT, L"600"}}) {
    ASSERT_TRUE(SetText(dialog, id, value)) << Why();
  }
  ASSERT_TRUE(Click(dialog, IDOK)) << Why();
  auto zero = ExpectBox(L"Rewindor", W(text::kZeroCurrentResolution), false);
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->icon, BoxIcon::kInformation) << zero->Describe();
  ASSERT_TRUE(PressBoxButton(*zero, IDOK)) << Why();
  ExpectClosed(main);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "no question after the refusal";
  EXPECT_TRUE(ReadFileBytes(hltv) == hltv_bytes) << "the HLTV demo was changed";

  // The client demo records 640x480, shown read-only.
  ASSERT_TRUE(SetText(main, IDC_DEMO_PATH, client)) << Why();
  ASSERT_TRUE(PostCommand(main, IDOK)) << Why();  // shows the client demo again, for the picture
  ASSERT_TRUE(WaitResponds(main)) << Why();
  dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ExpectCurrentSize(dialog, L"640", L"480", false);
  if (!Config().artifacts.empty()) {
    Sleep(500);  // let both skins be painted
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\resolution_dialog.png", dialog)) << Why();
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\resolution_dialog_screen.png")) << Why();
  }
  // "Отмена" converts nothing and reads nothing.
  ForgetShownDemo(main);
  ASSERT_TRUE(Click(dialog, IDCANCEL)) << Why();
  ExpectClosed(main);
  ExpectNotReadAgain(main);
  EXPECT_TRUE(ReadFileBytes(client) == client_bytes) << "Cancel changed the demo";
}

TEST_F(ResolutionDialogTest, ConvertsOnlyToAListedSizeAndRewritesOnlyTheSizeRecords) {
  const std::wstring demo = Demo(kClientDemo);
  auto before = ReadFileBytes(demo);
  ASSERT_TRUE(before) << Why();
  const std::string expected = Converted(*before, SizeRecord(640, 480), SizeRecord(800, 600));
  ASSERT_FALSE(expected == *before) << "the sample holds 640x480 size records";
  HWND main = Start(Quote(demo));
  ASSERT_NE(main, nullptr);

  // The close box: no conversion, no re-read.
  HWND dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SetText(dialog, IDC_NEW_WIDTH, L"800")) << Why();
  ASSERT_TRUE(SetText(dialog, IDC_NEW_HEIGHT, L"600")) << Why();
  ForgetShownDemo(main);
  ASSERT_TRUE(PostClose(dialog)) << Why();
  ExpectClosed(main);
  ExpectNotReadAgain(main);
  EXPECT_TRUE(ReadFileBytes(demo) == before) << "the close box changed the demo";

  // A size outside the lists: its message and nothing else, no question; the
  // dialog still closes and the demo is read again.
  dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SetText(dialog, IDC_NEW_WIDTH, L"1366")) << Why();
  ASSERT_TRUE(SetText(dialog, IDC_NEW_HEIGHT, L"768")) << Why();
  ASSERT_TRUE(Click(dialog, IDOK)) << Why();
  auto wrong = ExpectBox(L"Rewindor", kWrongResolutionText, false);
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->icon, BoxIcon::kInformation) << wrong->Describe();
  ForgetShownDemo(main);  // answered by the box's message loop, before the re-read
  ASSERT_TRUE(PressBoxButton(*wrong, IDOK)) << Why();
  ExpectClosed(main);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty()) << "no question after the refusal";
  EXPECT_TRUE(ReadFileBytes(demo) == before) << "the refused size changed the demo";
  ExpectShows(main, kClientInfo, kClientPlayers);

  // 640x480 to 800x600: exactly the size records change.
  dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SetText(dialog, IDC_NEW_WIDTH, L"800")) << Why();
  ASSERT_TRUE(SetText(dialog, IDC_NEW_HEIGHT, L"600")) << Why();
  ASSERT_TRUE(Click(dialog, IDOK)) << Why();
  auto question = ExpectBox(L"Rewindor", W(text::kAskConvertResolution), true);
  ASSERT_TRUE(question);
  ASSERT_TRUE(PressBoxButton(*question, IDOK)) << Why();
  auto result = ExpectBox(L"Rewindor", W(text::kResolutionConverted), true);
  ASSERT_TRUE(result);
  ASSERT_TRUE(PressBoxButton(*result, IDOK)) << Why();
  ExpectClosed(main);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  auto after = ReadFileBytes(demo);
  ASSERT_TRUE(after) << Why();
  EXPECT_TRUE(*after == expected) << FirstDifference(*after, expected);
  ExpectShows(main, kClientInfo, kClientPlayers);
}

TEST_F(ResolutionDialogTest, ABoxTitledLikeTheMainWindowIsNotTakenForIt) {
  // One of the program's own boxes, captioned "Rewindor" with no owner, stands
  // above every other window when OK is pressed in the dialog.
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(main, IDC_SAVE_SETTINGS)) << Why();
  auto saved = ExpectBox(L"Rewindor", FromUtf8(text::kSettingsSaved), false);
  ASSERT_TRUE(saved);
  ForgetShownDemo(main);

  // Both new-size fields empty: the conversion refuses 0x0, then the demo in
  // the main window is read again.
  ASSERT_TRUE(Click(dialog, IDOK)) << Why();
  std::optional<MessageBoxInfo> wrong;
  for (int i = 0; i < 400 && !wrong && process_->Running(); ++i) {
    for (auto& box : OpenMessageBoxes(process_->id())) {
      if (box.text == kWrongResolutionText) wrong = box;
    }
    if (!wrong) Sleep(50);
  }
  ASSERT_TRUE(wrong) << (process_->Running() ? "the refusal did not come" : "the program died");
  ASSERT_TRUE(PressBoxButton(*wrong, IDOK)) << Why();
  EXPECT_TRUE(WaitWindowGone(kResolutionTitle, process_->id(), kDefaultWait, IDC_NEW_WIDTH)) << Why();
  Sleep(500);
  ASSERT_TRUE(process_->Running()) << "the program died after the dialog's OK";
  ASSERT_TRUE(PressBoxButton(*saved, IDOK)) << Why();
  ASSERT_TRUE(WaitResponds(main)) << Why();
  ExpectShows(main, kClientInfo, kClientPlayers);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
}

TEST_F(ResolutionDialogTest, AnotherProgramsWindowTitledLikeTheMainWindowIsLeftAlone) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenDialog(main);
  ASSERT_NE(dialog, nullptr);
  // A dialog of this test's own, with a field 1000, above every other window.
  HWND other = CreateWindowExW(WS_EX_TOPMOST, L"#32770", L"Rewindor", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  CreateWindowExW(0, L"EDIT", L"C:\\elsewhere.dem", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, other,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEMO_PATH)), nullptr, nullptr);
  ForgetShownDemo(main);

  ASSERT_TRUE(Click(dialog, IDOK)) << Why();
  auto wrong = ExpectBox(L"Rewindor", kWrongResolutionText, false);
  ASSERT_TRUE(wrong);
  ASSERT_TRUE(PressBoxButton(*wrong, IDOK)) << Why();
  ExpectClosed(main);
  DestroyWindow(other);
  ASSERT_TRUE(process_->Running());
  ExpectShows(main, kClientInfo, kClientPlayers);  // read again from our own main window
}

}  // namespace
}  // namespace rewindor::e2e
