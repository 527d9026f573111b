// The main window's end-to-end fixture and what its tests share: the two
// sample demos, what the window shows for them, and a program of its own in a
// folder whose names hold blanks for every test.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/e2e_env.h"
#include "ui/texts.h"
#include "ui/timeline.h"

namespace rewindor::e2e {

const std::wstring kClientDemo = L"de_rewind_client.dem";
const std::wstring kHltvDemo = L"de_rewind_hltv.dem";

// What the information box shows for the two samples (build 4554 is in no
// engine table, and network protocol 48 neither).
const std::wstring kClientInfo =
    L"Half-Life Version: N/A\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: No";
const std::wstring kHltvInfo =
    L"Half-Life Version: N/A\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: Yes";
// The client sample's players; "GHOST" repeats "Ghost" in other letters and is
// left out. Sorted here, since the list box's own order is the system's.
const std::vector<std::wstring> kClientPlayers = {L"Bob",        L"Ghost",      L"Kate", L"Mr. Pink",
                                                  L"[RW] Otter", L"sn1per_ace", L"Вася"};

const std::wstring kNoDemoLoaded = FromUtf8(text::kNoDemoNamed);
const std::wstring kResolutionTitle = L"Конвертация разрешения демки";

inline std::wstring W(const char* utf8) { return FromUtf8(utf8); }

const std::wstring kDetailsTitle = L"Подробнее о демке";
const std::wstring kLibraryTitle = W(text::kLibraryCaption);
inline std::wstring TimelineTitle(const std::wstring& file) { return W(text::kTimelineCaption) + L" — " + file; }

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> items) {
  std::sort(items.begin(), items.end());
  return items;
}

inline bool Contains(const std::vector<std::wstring>& items, const std::wstring& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// "key=value" from the stand-in game's record.
inline std::string RecordValue(const std::string& record, const std::string& key) {
  auto at = record.find(key + "=");
  if (at == std::string::npos) return "(none)";
  at += key.size() + 1;
  return record.substr(at, record.find('\n', at) - at);
}

inline std::size_t CountOf(const std::string& bytes, const std::string& pattern) {
  std::size_t n = 0;
  for (auto at = bytes.find(pattern); at != std::string::npos; at = bytes.find(pattern, at + 1)) ++n;
  return n;
}

class MainWindowTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (Config().program.empty() || !FileExists(Config().program)) {
      GTEST_SKIP() << "rewindor.exe is not built yet (" << ToUtf8(Config().program) << ")";
    }
    if (!FileExists(Sample(kClientDemo)) || !FileExists(Sample(kHltvDemo))) {
      GTEST_SKIP() << "the sample demos are missing in " << ToUtf8(Config().samples);
    }
    app_dir_ = At(L"Rewindor App");
    exe_ = app_dir_ + L"\\rewindor.exe";
    demos_ = At(L"My Demos");
    game_ = At(L"Half Life\\hl.exe");
    ASSERT_TRUE(CopyFileTo(Config().program, exe_)) << Why();
    ASSERT_TRUE(CopyFileTo(Sample(L"cstrike\\maps\\de_rewind.bmp"), app_dir_ + L"\\cstrike\\maps\\de_rewind.bmp"))
        << Why();
    for (const auto& name : {kClientDemo, kHltvDemo}) {
      ASSERT_TRUE(CopyFileTo(Sample(name), Demo(name))) << Why();
    }
    ASSERT_TRUE(CopyFileTo(Config().fake_game, game_)) << Why();
    ASSERT_TRUE(MakeFolders(At(L"Half Life\\cstrike"))) << Why();
  }

  static std::wstring Sample(const std::wstring& name) { return Config().samples + L"\\" + name; }
  std::wstring Demo(const std::wstring& name) const { return demos_ + L"\\" + name; }
  static std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

  // Starts the program (from its folder, as the shell does) and waits for its
  // main window; nullptr with a failure when it does not come.
  HWND Start(const std::wstring& args, const std::wstring& exe = L"") {
    process_ = &Launch(exe.empty() ? exe_ : exe, args, app_dir_);
    if (!process_->valid()) {
      ADD_FAILURE() << Why();
      return nullptr;
    }
    HWND main = FindTopWindow(L"Rewindor", process_->id(), kDefaultWait, IDC_DEMO_PATH);
    if (main == nullptr) {
      std::string boxes;
      for (const auto& box : OpenMessageBoxes()) boxes += "; " + box.Describe();
      ADD_FAILURE() << Why() << boxes;
    }
    return main;
  }

  // Waits for a box of the program, checks its caption, text and buttons.
  std::optional<MessageBoxInfo> ExpectBox(const std::wstring& caption, const std::wstring& text, bool ok_cancel) {
    auto box = FindMessageBox(caption, process_->id());
    if (!box) {
      ADD_FAILURE() << Why();
      return box;
    }
    EXPECT_EQ(box->text, text) << box->Describe();
    EXPECT_EQ(ok_cancel ? box->OkCancel() : box->OkOnly(), true) << box->Describe();
    return box;
  }

  // A screenshot of a window (nullptr: the screen) into the artifacts, when they are kept.
  static void Shoot(HWND window, const wchar_t* name) {
    if (Config().artifacts.empty()) return;
    Sleep(500);  // let it be painted
    EXPECT_TRUE(SaveScreenshot(Config().artifacts + L"\\" + name, window)) << Why();
  }

  void ExpectShows(HWND main, const std::wstring& info, const std::vector<std::wstring>& players) {
    auto shown = GetText(main, IDC_DEMO_INFO);
    ASSERT_TRUE(shown) << Why();
    EXPECT_EQ(NormalizeNewlines(*shown), info);
    auto listed = ListItems(main, IDC_PLAYER_LIST);
    ASSERT_TRUE(listed) << Why();
    EXPECT_EQ(Sorted(*listed), players);
  }

  // Posts the main window's `command` and waits for the window it opens.
  HWND OpenFrom(HWND main, int command, const std::wstring& title, int control) {
    EXPECT_TRUE(PostCommand(main, command)) << Why();
    HWND window = FindTopWindow(title, process_->id(), kDefaultWait, control);
    EXPECT_NE(window, nullptr) << Why();
    return window;
  }

  void CloseByEscape(HWND window, const std::wstring& title, int control) {
    ASSERT_TRUE(PressEscape(window)) << Why();
    EXPECT_TRUE(WaitWindowGone(title, process_->id(), kDefaultWait, control)) << Why();
  }

  // Right-clicks at `point` of `window` (on `clicked`) and chooses the menu's `entry`.
  void ChooseFrom(HWND window, HWND clicked, POINT point, int entry) {
    ASSERT_TRUE(OpenAndChoose([&] { return PostContextMenu(window, clicked, point); }, process_->id(), entry))
        << Why();
  }

  std::wstring app_dir_, exe_, demos_, game_;
  Process* process_ = nullptr;
};

}  // namespace rewindor::e2e
