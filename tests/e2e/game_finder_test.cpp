// rewindor.exe on a machine where Steam installed the game: the registry keys
// Steam writes, its libraryfolders.vdf with a library on a second drive (R:,
// linked into the Wine prefix by with_second_drive.sh), the app manifest, the
// stand-in game as hl.exe with demos in its mod folders, and an overview of the
// demo's map as the game ships them (8-bit, 1024 x 768, drawn here).
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <iostream>
#include <string>
#include <vector>

#include "launch/launcher.h"
#include "res/resource.h"
#include "tests/e2e/main_window_fixture.h"

namespace rewindor::e2e {
namespace {

constexpr wchar_t kSteamKey[] = L"Software\\Valve\\Steam";
constexpr wchar_t kBrowseGameTitle[] = L"Browse Half-Life Executable";

void DeleteValveKeys() {
  DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Valve");
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS) continue;
    RegDeleteTreeW(software, L"Valve");
    RegDeleteKeyExW(software, L"Valve", view, 0);
    RegCloseKey(software);
  }
}

// A text as Steam's files write it: backslashes doubled.
std::string VdfText(const std::wstring& text) {
  std::string out;
  for (char c : ToUtf8(text)) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

// --- The overview ------------------------------------------------------------------

constexpr int kOverviewWidth = 1024, kOverviewHeight = 768, kFrame = 24;
enum Colour : std::uint8_t { kFrameOrange, kSand, kWall, kSiteA, kSiteB, kLane, kCentreBlue, kColours };
constexpr std::uint8_t kPalette[kColours][3] = {  // R, G, B
    {255, 140, 0}, {196, 178, 128}, {62, 56, 46}, {196, 52, 44}, {52, 96, 196}, {150, 138, 100}, {30, 60, 230}};

// A top-down sketch of de_rewind: two bomb sites joined by lanes, walls
// between, a blue mark in the middle, inside an orange frame that shows
// whether the picture was drawn whole.
std::string OverviewBitmap() {
  std::vector<std::uint8_t> px(static_cast<std::size_t>(kOverviewWidth) * kOverviewHeight, kFrameOrange);
  auto fill = [&](int x0, int y0, int x1, int y1, std::uint8_t c) {
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) px[static_cast<std::size_t>(y) * kOverviewWidth + static_cast<std::size_t>(x)] = c;
    }
  };
  fill(kFrame, kFrame, kOverviewWidth - kFrame, kOverviewHeight - kFrame, kSand);
  fill(120, 140, 904, 200, kLane);  // the long lane across the top
  fill(120, 568, 904, 628, kLane);  // and across the bottom
  fill(482, 140, 542, 628, kLane);  // mid
  fill(260, 260, 440, 500, kWall);
  fill(584, 260, 764, 500, kWall);
  fill(90, 100, 250, 240, kSiteA);
  fill(774, 528, 934, 668, kSiteB);
  fill(448, 320, 576, 448, kCentreBlue);

  const std::uint32_t paletteBytes = 256 * 4, offset = 14 + 40 + paletteBytes;
  const std::uint32_t fileSize = offset + static_cast<std::uint32_t>(px.size());
  std::string bmp;
  auto u16 = [&](std::uint32_t v) { bmp += static_cast<char>(v & 0xFF); bmp += static_cast<char>((v >> 8) & 0xFF); };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  bmp += "BM";
  u32(fileSize); u32(0); u32(offset);
  u32(40); u32(kOverviewWidth); u32(kOverviewHeight); u16(1); u16(8); u32(0);
  u32(static_cast<std::uint32_t>(px.size())); u32(2835); u32(2835); u32(256); u32(0);
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t* rgb = i < kColours ? kPalette[i] : kPalette[kWall];
    bmp += static_cast<char>(rgb[2]); bmp += static_cast<char>(rgb[1]); bmp += static_cast<char>(rgb[0]); bmp += '\0';
  }
  for (int y = kOverviewHeight - 1; y >= 0; --y) {  // bottom-up rows
    bmp.append(reinterpret_cast<const char*>(&px[static_cast<std::size_t>(y) * kOverviewWidth]), kOverviewWidth);
  }
  return bmp;
}

// A pixel of the window's client area as the screen shows it.
COLORREF ClientPixel(HWND window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  HDC screen = GetDC(nullptr);
  COLORREF colour = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

bool Near(COLORREF c, const std::uint8_t (&rgb)[3], int tolerance = 48) {
  return std::abs(GetRValue(c) - rgb[0]) <= tolerance && std::abs(GetGValue(c) - rgb[1]) <= tolerance &&
         std::abs(GetBValue(c) - rgb[2]) <= tolerance;
}

std::string Rgb(COLORREF c) {
  return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c));
}

// --- The machine ---------------------------------------------------------------------

class SteamTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    DeleteValveKeys();
    // The program folder has no picture of the map: the game's overview is shown.
    ASSERT_TRUE(DeleteFileW((app_dir_ + L"\\cstrike\\maps\\de_rewind.bmp").c_str()));
    // Wine answers no question about the root of a drive it was not told of
    // (it is only a link), but its folders work as any.
    const std::wstring& drive = Config().second_drive;
    if (!drive.empty() && MakeFolders(drive + Dir().substr(Dir().rfind(L'\\')))) {
      library_root_ = drive + Dir().substr(Dir().rfind(L'\\'));
    } else {
      std::cout << "no second drive (run through with_second_drive.sh); the library stays on C:\n";
      library_root_ = At(L"Drive D");
    }
    steam_ = At(L"Program Files\\Steam");
    library_ = library_root_ + L"\\SteamLibrary";
    found_dir_ = library_ + L"\\steamapps\\common\\Half-Life";
    found_exe_ = found_dir_ + L"\\hl.exe";
  }

  void TearDown() override {
    DeleteValveKeys();
    if (!library_root_.empty()) DeleteTree(library_root_);
    MainWindowTest::TearDown();
  }

  // Steam with the game in the library on the second drive, Half-Life listed there.
  void InstallSteamGame() {
    const std::string vdf = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + VdfText(steam_) +
                            "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                            VdfText(library_) +
                            "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"10\"\t\t\"1\"\n\t\t\t\"70\"\t\t\"1\"\n\t\t}\n\t}\n}\n";
    ASSERT_TRUE(WriteFileBytes(steam_ + L"\\steamapps\\libraryfolders.vdf", vdf)) << Why();
    ASSERT_TRUE(WriteFileBytes(library_ + L"\\steamapps\\appmanifest_70.acf",
                               "\"AppState\"\n{\n\t\"appid\"\t\t\"70\"\n\t\"installdir\"\t\t\"Half-Life\"\n}\n"))
        << Why();
    ASSERT_TRUE(CopyFileTo(Config().fake_game, found_exe_)) << Why();
    for (const auto& name : {kClientDemo, kHltvDemo}) {
      ASSERT_TRUE(CopyFileTo(Sample(name), found_dir_ + L"\\cstrike\\" + name)) << Why();
    }
    ASSERT_TRUE(CopyFileTo(Sample(kClientDemo), found_dir_ + L"\\valve\\other.dem")) << Why();
    ASSERT_TRUE(WriteFileBytes(found_dir_ + L"\\cstrike\\overviews\\de_rewind.bmp", OverviewBitmap())) << Why();
  }

  // HKCU\Software\Valve\Steam "SteamPath" as Steam writes it: lower case, forward slashes.
  void RegisterSteamForTheUser() {
    std::wstring path = steam_;
    for (wchar_t& c : path) c = c == L'\\' ? L'/' : (c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c);
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kSteamKey, L"SteamPath", path)) << Why();
  }

  std::wstring library_root_, steam_, library_, found_dir_, found_exe_;
};

TEST_F(SteamTest, TheGameOnASecondDriveIsFoundItsDemosListedItsOverviewShownAndPlayed) {
  InstallSteamGame();
  RegisterSteamForTheUser();
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(OpenMessageBoxes(process_->id()).empty());
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), found_exe_);
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, L"Path"), std::nullopt) << "found, not saved";
  // The program folder holds no demo: the game's mod folder with the most is listed.
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), found_dir_ + L"\\cstrike\\");
  auto listed = ListItems(main, IDC_FOLDER_LIST);
  ASSERT_TRUE(listed) << Why();
  EXPECT_EQ(Sorted(*listed), Sorted({L"[..]", L"[overviews]", kClientDemo, kHltvDemo}));

  // The game's "Искать..." opens in the game's folder.
  ASSERT_TRUE(Click(main, IDC_BROWSE_GAME)) << Why();
  HWND picker = FindTopWindow(kBrowseGameTitle, process_->id());
  ASSERT_NE(picker, nullptr) << Why();
  EXPECT_EQ(GetText(picker, 0x471), L"Half-Life") << "the folder box of the file picker";
  ASSERT_TRUE(PostClose(picker)) << Why();
  ASSERT_TRUE(WaitWindowGone(kBrowseGameTitle, process_->id())) << Why();
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), found_exe_);

  // The demo, with its map's overview scaled into the picture box whole.
  ASSERT_TRUE(DoubleClickListItem(main, IDC_FOLDER_LIST, kClientDemo)) << Why();
  ASSERT_TRUE(WaitText(main, IDC_DEMO_PATH, found_dir_ + L"\\cstrike\\" + kClientDemo)) << Why();
  ExpectShows(main, kClientInfo, kClientPlayers);
  Sleep(500);
  for (POINT corner : {POINT{38, 126}, POINT{37 + 238, 126}, POINT{38, 125 + 178}, POINT{37 + 238, 125 + 178}}) {
    COLORREF c = ClientPixel(main, corner.x, corner.y);
    EXPECT_TRUE(Near(c, kPalette[kFrameOrange])) << "the overview's frame at " << corner.x << "," << corner.y
                                                  << " is " << Rgb(c);
  }
  COLORREF middle = ClientPixel(main, 37 + 120, 125 + 90);
  EXPECT_TRUE(Near(middle, kPalette[kCentreBlue])) << "the middle is " << Rgb(middle);
  Shoot(main, L"main_window_overview.png");

  // "Смотреть" plays it in the game found.
  ASSERT_TRUE(Click(main, IDC_PLAY)) << Why();
  const std::wstring record = found_dir_ + L"\\fake_game.txt";
  ASSERT_TRUE(WaitFile(record)) << Why();
  auto text = ReadFileBytes(record);
  ASSERT_TRUE(text) << Why();
  EXPECT_EQ(RecordValue(*text, "command"),
            ToUtf8(Quote(found_exe_) + L"  -game cstrike -fullscreen -console -toconsole +exec config.cfg "
                                       L"+playdemo rewindor.dem "));
  EXPECT_EQ(RecordValue(*text, "copy"), "yes");
  EXPECT_TRUE(WaitFile(found_dir_ + L"\\cstrike\\rewindor.dem", false)) << Why();
  ASSERT_TRUE(WaitResponds(main)) << Why();
  // ("Сохранить" keeps what the field shows, as SavedSettingsComeBackAfterARestart shows.)
}

// Only the machine knows Steam: HKLM, in the 32-bit view a 32-bit Steam writes
// (which a 64-bit Windows keeps under WOW6432Node).
TEST_F(SteamTest, SteamKnownToTheMachineOnlyIsFoundToo) {
  InstallSteamGame();
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Valve\\Steam", L"InstallPath", steam_, KEY_WOW64_32KEY))
      << Why();
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), found_exe_);
}

TEST_F(SteamTest, ASavedGamePathStands) {
  InstallSteamGame();
  RegisterSteamForTheUser();
  for (const wchar_t* name : {L"Path", L"CommandLine", L"DemoSpeed"}) {
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kSettingsKey, name, name == std::wstring(L"Path") ? game_ : L""))
        << Why();
  }
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), game_);
  // The saved game has no demos: the program folder is listed, as before.
  // (Playing starts the game the field names, as PlayTest shows.)
  EXPECT_EQ(GetText(main, IDC_FOLDER_PATH), app_dir_ + L"\\");
}

// Steam's path as a hand edit may leave it, with steps and doubled separators,
// lower-cased, in a folder of Cyrillic letters: the game found is shown by a
// plain path.
TEST_F(SteamTest, AFoundGamesPathIsShownPlain) {
  const std::wstring steam = At(L"Игры\\Steam");
  std::wstring lower = At(L"Игры");
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  std::wstring plain = lower + L"\\steam\\steamapps\\common\\Half-Life\\hl.exe";
  plain[0] = static_cast<wchar_t>(std::towupper(plain[0]));
  ASSERT_TRUE(CopyFileTo(Config().fake_game, steam + L"\\steamapps\\common\\Half-Life\\hl.exe")) << Why();
  std::wstring written = lower + L"//./x/../steam/";
  for (wchar_t& c : written) c = c == L'\\' ? L'/' : c;
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kSteamKey, L"SteamPath", written)) << Why();
  HWND main = Start(L"");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), plain);
}

// (A start without a demo then lists the program folder, as
// MainWindowTest.StartWithoutDemoListsTheProgramFolder shows.)
TEST_F(SteamTest, WithoutAnyGameNoneIsShownAndPlayingSaysSo) {
  HWND main = Start(Quote(Demo(kClientDemo)));
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetText(main, IDC_GAME_PATH), L"");
  ASSERT_TRUE(Click(main, IDC_PLAY)) << Why();
  auto box = ExpectBox(L"Rewindor", FromUtf8(text::kGameNotLocated), false);
  ASSERT_TRUE(box);
  ASSERT_TRUE(PressBoxButton(*box, IDOK)) << Why();
}

}  // namespace
}  // namespace rewindor::e2e
