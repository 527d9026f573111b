// The game finder on a machine held in memory: Steam's two forms of
// libraryfolders.vdf, broken and hostile texts, the order of the places tried,
// the game's demo folders and the folder a start lists.
#include "launch/game_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_game_sources.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "demo/utf8.h"
#endif

namespace rewindor {
namespace {

std::vector<std::pair<std::string, bool>> Libraries(std::string_view vdf) {
  std::vector<std::pair<std::string, bool>> out;
  for (const SteamLibrary& l : ParseLibraryFolders(vdf)) out.emplace_back(l.path, l.holdsHalfLife);
  return out;
}

using LibraryList = std::vector<std::pair<std::string, bool>>;

TEST(KeyValues, BothFormsOfLibraryFoldersWithEscapesAndComments) {
  const char current[] = R"(// written by Steam
"libraryfolders"
{
	"0" { "path" "C:\\Program Files (x86)\\Steam" "label" "" "apps" { "228980" "1024" "700" "1" } }
	"1"
	{
		"path"		"D:\\Games\\SteamLibrary"  // the second drive
		"apps" { "10" "1" "70" "5" }
	}
	"2" { "PATH" "E:\\\"odd\"\tname\n\Lib" "Apps" { "4000" "1" } }
	"3" { "label" "a library without a path is none" }
}
)";
  EXPECT_EQ(Libraries(current), (LibraryList{{"C:\\Program Files (x86)\\Steam", false},
                                             {"D:\\Games\\SteamLibrary", true},
                                             {"E:\\\"odd\"\tname\n\\Lib", false}}))
      << "escapes undone, a lone backslash kept";
  const char old[] = R"(LibraryFolders
{
	"TimeNextStatsReport"		"1632000000"
	"1"		"D:\\Games\\SteamLibrary"
	"2"		E:/SteamLibrary
})";
  EXPECT_EQ(Libraries(old), (LibraryList{{"D:\\Games\\SteamLibrary", false}, {"E:/SteamLibrary", false}}));
  // Keys elsewhere than in the root block are not libraries.
  EXPECT_EQ(Libraries(R"("other" { "1" "D:\\x" } "libraryfolders" { "x" { "path" "E:\\y" } })"), LibraryList{});
}

TEST(KeyValues, BrokenAndHostileTextsGiveNoLibraries) {
  for (const char* text : {
           R"("libraryfolders" { "1" "D:\\x")",      // the block never closes
           R"("libraryfolders" { "1" "D:\\x })",     // nor the quote
           R"("libraryfolders" { "1" "D:\\x\)",      // a backslash at the very end
           R"("libraryfolders" { "1" "D:\\x" } })",  // a stray }
           R"({ "1" "D:\\x" })",                     // a block without a key
           R"("libraryfolders" { "1" })",            // a key without a value
           R"("libraryfolders" { "1" "D:\\x" } "tail")",
       }) {
    EXPECT_EQ(Libraries(text), LibraryList{}) << text;
  }
  // No recursion: a million levels cost a counter, and only the levels that
  // the file's form defines are looked at.
  constexpr std::size_t kDepth = 1000000;
  std::string deep = R"("libraryfolders" { "1" { )";
  for (std::size_t i = 0; i < kDepth; ++i) deep += "\"a\"{";
  deep += R"("path" "deep")";
  deep.append(kDepth, '}');
  EXPECT_EQ(Libraries(deep + R"( } "2" "D:\\lib" })"), (LibraryList{{"D:\\lib", false}}));
  EXPECT_EQ(Libraries(deep + R"( "2" "D:\\lib" })"), LibraryList{}) << "one level left open";
}

TEST(KeyValues, InstallDirOfAnAppManifest) {
  EXPECT_EQ(ParseInstallDir(R"("AppState" { "appid" "70" "UserConfig" { "installdir" "x" } "installdir" "Half-Life" })"),
            "Half-Life");
  for (const char* acf : {R"("AppState" { "installdir" "..\\..\\Windows" })", R"("AppState" { "installdir" "a/b" })",
                          "\"AppState\" { \"installdir\" \"Half\x7FLife\" }",
                          R"("AppState" { "installdir" "" })", R"("Other" { "installdir" "Half-Life" })",
                          R"("AppState" { "installdir" "Half-Life")"}) {
    EXPECT_EQ(ParseInstallDir(acf), std::nullopt) << acf;
  }
}

// --- Finding the game -------------------------------------------------------------

constexpr char kSteamKey[] = "Software\\Valve\\Steam";
constexpr char kSteam[] = "C:\\Program Files (x86)\\Steam";
constexpr char kLibrary[] = "D:\\Games\\SteamLibrary";

std::string GameIn(const std::string& library, const std::string& installDir = "Half-Life",
                   const std::string& exe = "hl.exe") {
  return library + "\\steamapps\\common\\" + installDir + "\\" + exe;
}

struct Found {
  std::string exe, folder, source;
  friend bool operator==(const Found&, const Found&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << f.exe << " | " << f.folder << " | " << f.source;
  }
};
std::optional<Found> Find(FakeGameSources& sources, GameSystem system = GameSystem::kWindows) {
  std::optional<FoundGame> game = FindGame(sources, system);
  if (!game) return std::nullopt;
  return Found{game->executable, game->folder, game->source};
}

// Steam as it writes its key: lower case, forward slashes.
FakeGameSources SteamWithTwoLibraries() {
  FakeGameSources m;
  m.SetRegistry(RegistryHive::kCurrentUser, kSteamKey, "SteamPath", "c:/program files (x86)/steam/");
  m.AddFile(std::string(kSteam) + "\\steamapps\\libraryfolders.vdf", R"("libraryfolders" {
    "0" { "path" "C:\\Program Files (x86)\\Steam" "apps" { "228980" "1" } }
    "1" { "path" "D:\\Games\\SteamLibrary" "apps" { "70" "1" } } })");
  m.AddFile(GameIn(kSteam));
  m.AddFile(GameIn(kLibrary));
  return m;
}

TEST(FindGame, ALibraryWithHalfLifeComesBeforeTheSteamFolder) {
  FakeGameSources m = SteamWithTwoLibraries();
  EXPECT_EQ(Find(m), (Found{GameIn(kLibrary), std::string(kLibrary) + "\\steamapps\\common\\Half-Life",
                            "steam-library D:\\Games\\SteamLibrary"}));
  // Without it there, the Steam folder's own, in the letter case its list gives.
  m.RemoveFile(GameIn(kLibrary));
  EXPECT_EQ(Find(m), (Found{GameIn(kSteam), std::string(kSteam) + "\\steamapps\\common\\Half-Life",
                            "steam-registry"}));
}

TEST(FindGame, WithoutAppListsTheSteamFolderFirstThenTheListedOrderAndTheirInstallDirs) {
  FakeGameSources m;
  m.SetRegistry(RegistryHive::kCurrentUser, kSteamKey, "SteamPath", "c:/steam");
  m.AddFile("C:\\steam\\steamapps\\libraryfolders.vdf",
            R"("LibraryFolders" { "1" "D:\\A" "2" "\\\\server\\lib" "3" "lib" "4" "E:\\B" "5" "F:\\C" "6" "c:\\STEAM\\" })");
  // A manifest that names no plain folder leaves the default.
  m.AddFile("D:\\A\\steamapps\\appmanifest_70.acf", R"("AppState" { "installdir" "..\\..\\elsewhere" })");
  m.AddFile("E:\\B\\steamapps\\appmanifest_10.acf", R"("AppState" { "installdir" "Counter-Strike" })");
  m.AddFile(GameIn("E:\\B", "Counter-Strike"));
  m.AddFile(GameIn("F:\\C"));
  EXPECT_EQ(Find(m)->exe, GameIn("E:\\B", "Counter-Strike"));
  EXPECT_EQ(m.probed, (std::vector<std::string>{GameIn("C:\\STEAM"), GameIn("D:\\A"), GameIn("E:\\B", "Counter-Strike")}))
      << "the Steam folder once, as its list writes it, then the libraries in order; none on a share or relative";
}

// Steam writes its own path lower-cased and as typed: the path found is shown
// normalised, and the Steam folder is known again in its list in any script.
TEST(FindGame, SteamPathNormalisedAndKnownAgainWhateverTheLetterCase) {
  struct Case {
    const char* steamPath;  // as the registry holds it
    const char* listed;     // Steam's own entry in libraryfolders.vdf, with Half-Life
    const char* exe;
  };
  const Case cases[] = {
      {"c:/games//steam/./x/../", "C:\\Games\\Steam", "C:\\Games\\Steam"},
      {"c:/../игры/steam", "C:\\Игры\\Steam", "C:\\Игры\\Steam"},
      {"c:/ΣΤΕΑΜ", "C:\\στεαμ", "C:\\στεαμ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steamPath);
    FakeGameSources m;
    m.SetRegistry(RegistryHive::kCurrentUser, kSteamKey, "SteamPath", c.steamPath);
    m.AddFile(std::string(c.exe) + "\\steamapps\\libraryfolders.vdf",
              std::string(R"("libraryfolders" { "0" { "path" ")") + c.listed + R"(" "apps" { "70" "1" } } })");
    m.AddFile(GameIn(c.exe));
    const std::optional<Found> found = Find(m);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::tie(found->exe, found->source), std::tuple(GameIn(c.exe), "steam-registry"));
  }
}

struct PlaceCase {
  const char* name;
  std::vector<std::tuple<RegistryHive, std::string, std::string, std::string>> values;
  std::optional<Found> found;
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }
class RegistryPlaces : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(RegistryPlaces, AreTriedInOrder) {
  FakeGameSources m;
  m.AddFile(GameIn("C:\\Steam64"));
  m.AddFile(GameIn("C:\\Steam32"));
  m.AddFile("C:\\Sierra\\Half-Life\\hl.exe");
  m.AddFile("C:\\Retail CS\\cstrike.exe");
  for (const auto& [hive, key, name, text] : GetParam().values) m.SetRegistry(hive, key, name, text);
  EXPECT_EQ(Find(m), GetParam().found);
}

const auto kHKCU = RegistryHive::kCurrentUser;
const auto kHKLM = RegistryHive::kLocalMachine;
INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryPlaces,
    ::testing::Values(
        PlaceCase{"WOW6432Node before the plain key",
                  {{kHKLM, "SOFTWARE\\Valve\\Steam", "InstallPath", "C:\\Steam64"},
                   {kHKLM, "SOFTWARE\\WOW6432Node\\Valve\\Steam", "InstallPath", "C:\\Steam32"}},
                  Found{GameIn("C:\\Steam32"), "C:\\Steam32\\steamapps\\common\\Half-Life", "steam-registry"}},
        PlaceCase{"a Steam folder without the game passes on to the next",
                  {{kHKCU, kSteamKey, "SteamPath", "c:/old steam"},
                   {kHKLM, "SOFTWARE\\Valve\\Steam", "InstallPath", "C:\\Steam64"}},
                  Found{GameIn("C:\\Steam64"), "C:\\Steam64\\steamapps\\common\\Half-Life", "steam-registry"}},
        PlaceCase{"Half-Life from before Steam",
                  {{kHKCU, "Software\\Valve\\Half-Life", "InstallPath", "C:\\Sierra\\Half-Life\\"}},
                  Found{"C:\\Sierra\\Half-Life\\hl.exe", "C:\\Sierra\\Half-Life", "half-life-registry"}},
        PlaceCase{"a retail Counter-Strike",
                  {{kHKCU, "Software\\Valve\\Half-Life", "InstallPath", "C:\\Retail CS"}},
                  Found{"C:\\Retail CS\\cstrike.exe", "C:\\Retail CS", "half-life-registry"}},
        PlaceCase{"on a network share or relative: passed over",
                  {{kHKCU, kSteamKey, "SteamPath", "//server/steam"},
                   {kHKLM, "SOFTWARE\\WOW6432Node\\Valve\\Steam", "InstallPath", "Steam32"},
                   {kHKLM, "SOFTWARE\\Valve\\Steam", "InstallPath", "C:\\Steam64"}},
                  Found{GameIn("C:\\Steam64"), "C:\\Steam64\\steamapps\\common\\Half-Life", "steam-registry"}},
        PlaceCase{"nothing registered", {}, std::nullopt},
        PlaceCase{"an empty value", {{kHKCU, kSteamKey, "SteamPath", ""}}, std::nullopt}));

TEST(FindGame, BrokenOversizedAndOverlongAreSkippedSilently) {
  // A malformed list or one over the limit: the Steam folder is still looked into.
  for (std::string vdf : {std::string(R"("libraryfolders" { "1" { "path" "D:\\Games\\SteamLibrary")"),
                          std::string(R"("libraryfolders" { "1" "D:\\Games\\SteamLibrary" })") +
                              std::string(kMaxSteamFileBytes, ' ')}) {
    FakeGameSources m = SteamWithTwoLibraries();
    m.AddFile(std::string(kSteam) + "\\steamapps\\libraryfolders.vdf", vdf);
    EXPECT_EQ(Find(m)->source, "steam-registry");
  }
  // A game whose path would not fit the game path field is none.
  const std::string deep = "C:\\" + std::string(240, 'x');
  FakeGameSources m;
  m.SetRegistry(kHKCU, kSteamKey, "SteamPath", deep);
  m.AddFile(GameIn(deep));
  EXPECT_EQ(Find(m), std::nullopt);
  EXPECT_TRUE(m.probed.empty());
}

// A NUL or another control byte in Steam's files: the system would read the
// path only up to the NUL and find the file named there. No such path is
// looked at, on either system.
TEST(FindGame, ControlBytesInSteamsFilesFindNothing) {
  using namespace std::string_literals;
  auto vdf = [](const std::string& path) { return "\"libraryfolders\" { \"0\" { \"path\" \"" + path + "\" } }"; };
  auto acf = [](const std::string& dir) { return "\"AppState\" { \"installdir\" \"" + dir + "\" }"; };
  struct Case {
    const char* what;
    GameSystem system;
    std::string vdf, acf;  // in the Steam folder's steamapps
    std::string there;     // the file the path up to the NUL names
  };
  const std::string linuxApps = "/home/u/.steam/steam/steamapps/";
  const std::string windowsApps = "C:\\S\\steamapps\\";
  const Case cases[] = {
      {"library, NUL", GameSystem::kLinux, vdf("/etc/passwd\0"s), "", "/etc/passwd"},
      {"installdir, NUL", GameSystem::kLinux, "", acf("hl\0"s), linuxApps + "common/hl"},
      {"installdir, line feed", GameSystem::kLinux, "", acf("Half-Life\\n"), linuxApps + "common/Half-Life\n/hl_linux"},
      {"Windows library, NUL", GameSystem::kWindows, vdf("C:/Windows/notepad.exe\0"s), "", "C:\\Windows\\notepad.exe"},
      {"Windows installdir, NUL", GameSystem::kWindows, "", acf("calc.exe\0"s), windowsApps + "common\\calc.exe"},
  };
  for (const Case& c : cases) {
    FakeGameSources m(c.system);
    m.cutAtNul = true;
    m.home = "/home/u";
    m.SetRegistry(kHKCU, kSteamKey, "SteamPath", "C:\\S");
    const std::string steamapps = c.system == GameSystem::kWindows ? windowsApps : linuxApps;
    if (!c.vdf.empty()) m.AddFile(steamapps + "libraryfolders.vdf", c.vdf);
    if (!c.acf.empty()) m.AddFile(steamapps + "appmanifest_70.acf", c.acf);
    m.AddFile(c.there);
    EXPECT_EQ(Find(m, c.system), std::nullopt) << c.what;
    EXPECT_EQ(m.controlPaths, 0) << c.what;
  }
}

TEST(FindGame, AtMostSoManyLibrariesAreLookedInto) {
  FakeGameSources m;
  m.SetRegistry(kHKCU, kSteamKey, "SteamPath", "C:\\Steam");
  std::string vdf = "\"libraryfolders\" {";
  for (int i = 0; i < 1000; ++i) vdf += " \"" + std::to_string(i) + "\" \"D:\\\\L" + std::to_string(i) + "\"";
  m.AddFile("C:\\Steam\\steamapps\\libraryfolders.vdf", vdf + " }");
  EXPECT_EQ(Find(m), std::nullopt);
  EXPECT_EQ(m.probed.size(), kMaxSteamLibraries);
  EXPECT_LE(m.reads, 1 + 2 * static_cast<int>(kMaxSteamLibraries));
}

TEST(FindGame, LinuxLooksUnderTheHomeFolder) {
  FakeGameSources m(GameSystem::kLinux);
  m.home = "/home/u/";
  m.AddFile("/home/u/.local/share/Steam/steamapps/common/Half-Life/hl_linux");
  EXPECT_EQ(Find(m, GameSystem::kLinux),
            (Found{"/home/u/.local/share/Steam/steamapps/common/Half-Life/hl_linux",
                   "/home/u/.local/share/Steam/steamapps/common/Half-Life", "steam-home"}));
  // ~/.steam/steam comes first: its library with Half-Life wins.
  m.AddFile("/home/u/.steam/steam/steamapps/libraryfolders.vdf",
            R"("libraryfolders" { "0" { "path" "/mnt/games" "apps" { "70" "1" } } })");
  m.AddFile("/mnt/games/steamapps/common/Half-Life/hl_linux");
  EXPECT_EQ(Find(m, GameSystem::kLinux)->source, "steam-library /mnt/games");
}

// --- The game's demos ---------------------------------------------------------------

FakeGameSources GameWithDemos() {
  FakeGameSources m;
  for (const char* file : {"G\\hl.exe", "G\\old.dem", "G\\cstrike\\a.dem", "G\\cstrike\\b.DEM", "G\\cstrike\\c.dem",
                           "G\\cstrike\\notes.txt", "G\\cstrike\\folder.dem\\inner.txt", "G\\valve\\x.dem",
                           "G\\Cz\\y.dem", "G\\dod\\sub\\deep.dem", "G\\tfc\\readme.txt", "P\\rewindor.exe",
                           "P\\cstrike\\maps\\de_rewind.bmp"}) {
    m.AddFile(file);
  }
  return m;
}

TEST(GameDemos, FoldersWithMostDemosFirstAndTheStartFolder) {
  FakeGameSources m = GameWithDemos();
  std::vector<std::pair<std::string, std::size_t>> folders;
  for (const DemoFolder& f : DemoFolders(m, "G", GameSystem::kWindows)) folders.emplace_back(f.path, f.demos);
  EXPECT_EQ(folders, (std::vector<std::pair<std::string, std::size_t>>{
                         {"G\\cstrike", 3}, {"G\\Cz", 1}, {"G\\valve", 1}}))
      << "a folder named *.dem is no demo, subfolders are not searched, ties go by name in any letter case";

  EXPECT_EQ(StartFolder(m, "P", "G", GameSystem::kWindows), "G\\cstrike");
  EXPECT_EQ(StartFolder(m, "P", "", GameSystem::kWindows), "P") << "no game known";
  EXPECT_EQ(StartFolder(m, "P", "Elsewhere", GameSystem::kWindows), "P") << "a game without demos";
  m.unlistable.insert("P");
  EXPECT_EQ(StartFolder(m, "P", "G", GameSystem::kWindows), "G\\cstrike");
  m.unlistable.clear();
  m.AddFile("P\\mine.DEM");
  EXPECT_EQ(StartFolder(m, "P", "G", GameSystem::kWindows), "P") << "the program folder holds a demo";
}

#ifdef _WIN32
// The registry and the files as Windows gives them: a value of another type,
// too long, of an odd size or without its terminator; a folder, a file over
// the limit.
TEST(NativeGameSources, OnlyTextsThatFitAndSmallFiles) {
  const wchar_t kKey[] = L"Software\\Rewindor Tests\\Game finder";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  auto set = [&](const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
  };
  const std::wstring text = L"c:/steam", tooLong(300, L'x');
  const DWORD number = 7;
  set(L"Text", REG_SZ, text.c_str(), 18);
  set(L"Unterminated", REG_SZ, text.c_str(), 16);
  set(L"Odd", REG_SZ, text.c_str(), 17);
  set(L"Number", REG_DWORD, &number, 4);
  set(L"Expandable", REG_EXPAND_SZ, text.c_str(), 18);
  set(L"Long", REG_SZ, tooLong.c_str(), 602);
  RegCloseKey(key);
  GameSources& sources = NativeGameSources();
  auto read = [&](const char* name) {
    return sources.RegistryText(RegistryHive::kCurrentUser, "Software\\Rewindor Tests\\Game finder", name);
  };
  EXPECT_EQ(read("Text"), "c:/steam");
  EXPECT_EQ(read("Unterminated"), "c:/steam");
  for (const char* skipped : {"Odd", "Number", "Expandable", "Long", "Missing"}) EXPECT_EQ(read(skipped), std::nullopt) << skipped;
  EXPECT_EQ(sources.RegistryText(RegistryHive::kCurrentUser, "Software\\Rewindor Tests\\None", "Text"), std::nullopt);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Rewindor Tests");
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Rewindor Tests");

  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / (L"rewindor finder тест " + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(folder / L"cstrike");
  std::ofstream(folder / L"libraryfolders.vdf", std::ios::binary) << "\"libraryfolders\" {}";
  auto utf8 = [](const fs::path& p) { return Narrow(p.wstring()); };
  EXPECT_EQ(sources.ReadSmallFile(utf8(folder / L"libraryfolders.vdf"), 100), "\"libraryfolders\" {}");
  EXPECT_EQ(sources.ReadSmallFile(utf8(folder / L"libraryfolders.vdf"), 10), std::nullopt);
  EXPECT_EQ(sources.ReadSmallFile(utf8(folder / L"cstrike"), 100), std::nullopt);
  EXPECT_TRUE(sources.IsFile(utf8(folder / L"libraryfolders.vdf")));
  EXPECT_FALSE(sources.IsFile(utf8(folder / L"cstrike")));
  fs::remove_all(folder);
}
#endif

}  // namespace
}  // namespace rewindor
