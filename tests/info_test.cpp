// The information reader's scans, table and texts, on hand-computed bytes.
#include "demo/info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace rewindor {
namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::vector<std::string> Names(std::string_view window) {
  std::vector<std::string> out;
  PlayerNamesInWindow(AsBytes(window), [&](std::string_view n) { out.emplace_back(n); });
  return out;
}

// Each marker is found when it ends at the file's second-to-last byte, and not
// when it ends at the last byte: the scans test start positions 0 .. N-7.
TEST(Scans, LastTestedPositionIsSizeMinusSeven) {
  const std::string hltv("\0\x08HLTV", 6);
  EXPECT_TRUE(ScanHltv(B("xx" + hltv + "y")));
  EXPECT_FALSE(ScanHltv(B("xx" + hltv)));
  EXPECT_EQ(ScanBuildNumber(B("ab" "BUILD " "7")), 7);
  EXPECT_EQ(ScanBuildNumber(B("abc" "BUILD ")), 0);
  std::vector<std::string> names;
  ScanPlayerNames(B("\tfulls\\name\\Zed"), [&](std::string_view n) { names.emplace_back(n); });
  EXPECT_EQ(names, std::vector<std::string>{"Zed"});
  names.clear();
  ScanPlayerNames(B("xx\tfulls"), [&](std::string_view n) { names.emplace_back(n); });
  EXPECT_TRUE(names.empty());
}

TEST(Scans, FilesOfSixBytesOrFewerAreNotScanned) {
  EXPECT_FALSE(ScanHltv(B(std::string("\0\x08HLTV", 6))));
  EXPECT_EQ(ScanBuildNumber(B("BUILD ")), 0);
  EXPECT_FALSE(ScanHltv({}));
  EXPECT_EQ(ScanBuildNumber({}), 0);
}

struct BuildCase {
  const char* bytes;
  int expected;
};
class BuildNumber : public ::testing::TestWithParam<BuildCase> {};
TEST_P(BuildNumber, ReadsFiveBytesLikeAtoi) {
  EXPECT_EQ(ScanBuildNumber(B(GetParam().bytes)), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Examples, BuildNumber,
                         ::testing::Values(BuildCase{"..BUILD 2056 SERVER..", 2056},
                                           BuildCase{"..BUILD 950,x..", 950},
                                           BuildCase{"..BUILD Xyz...", 0},
                                           BuildCase{"..BUILD 123456..", 1234},  // four digits at most
                                           BuildCase{"..BUILD  42 ...", 42},     // blanks skipped
                                           BuildCase{"..BUILD -17...", -17},
                                           BuildCase{"BUILD 2006 and BUILD 2056 later.", 2056},
                                           BuildCase{"BUILD 2056 and BUILD abcd later.", 0},
                                           BuildCase{"....BUILD 9", 9}));  // the image ends the text

TEST(BuildNumber, NeverReadsPastTheImage) {
  // "BUILD " ends two bytes before the end: only "12" follows, then the image ends.
  Bytes image = B("..BUILD 12");
  EXPECT_EQ(BuildNumberAt(image, 2), 12);
  EXPECT_EQ(ScanBuildNumber(image), 12);
}

TEST(PlayerNames, TokenRules) {
  EXPECT_EQ(Names("\tfulls\\name\\Alpha\\model\\x\\name\\alpha\\name\\Beta"),
            (std::vector<std::string>{"Alpha", "alpha", "Beta"}));
  EXPECT_TRUE(Names("\\Name\\Alpha\\NAME\\Beta").empty());  // the key is case-sensitive
  EXPECT_EQ(Names("\\name\\\\model\\x"), std::vector<std::string>{"model"});  // no empty tokens
  EXPECT_EQ(Names("\\name\\name\\x"), std::vector<std::string>{"name"});     // a name is not a key
  EXPECT_TRUE(Names("\\model\\x\\name").empty());                           // "name" last: nothing
  EXPECT_EQ(Names(std::string("a\0name\0Zero\0", 12)), std::vector<std::string>{"Zero"});
  EXPECT_EQ(Names("x,name,Comma\nname\nLine"), (std::vector<std::string>{"Comma", "Line"}));
  EXPECT_EQ(Names("\\name\\  spaced  name \\x"), std::vector<std::string>{"  spaced  name "});
}

TEST(PlayerNames, LongNamesAreCutTo127Bytes) {
  std::string longName(300, 'n');
  auto names = Names("\\name\\" + longName + "\\x");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], std::string(127, 'n'));
}

TEST(PlayerNames, WindowIs4096BytesFromTheMarker) {
  std::string data = "\tfulls\\name\\First\\";
  data.resize(4096 - 7, '.');
  data += "\\name\\Cut";  // "C" is the window's last byte; "ut" lie beyond it
  data += "\\name\\Beyond\\";
  Bytes image = B(data);
  std::vector<std::string> names;
  ScanPlayerNames(image, [&](std::string_view n) { names.emplace_back(n); });
  EXPECT_EQ(names, (std::vector<std::string>{"First", "C"}));
}

TEST(PlayerNames, WindowEndsAtTheEndOfTheFile) {
  Bytes image = B("junk\tfulls\\name\\Last\\name\\Tail");
  std::vector<std::string> names;
  ScanPlayerNames(image, [&](std::string_view n) { names.emplace_back(n); });
  EXPECT_EQ(names, (std::vector<std::string>{"Last", "Tail"}));
}

TEST(PlayerNames, EveryMarkerOpensItsOwnWindowAndRepeatsAreDroppedIgnoringCase) {
  Bytes image = B("\tfulls\\name\\Alpha\\model\\x\\name\\alpha\\name\\Beta\\\tfulls\\name\\BETA\\name\\Gamma\\..");
  DemoInspection inspection = InspectDemo(image);
  EXPECT_EQ(DemoPlayers(inspection), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
}

TEST(EngineVersion, Table) {
  EXPECT_EQ(EngineVersionText(2056, "45"), "1.1.1.0");
  EXPECT_EQ(EngineVersionText(2006, "99"), "1.1.0.9");
  const std::pair<const char*, const char*> byNetwork[] = {
      {"45", "1.1.0.8"}, {"43", "1.1.0.4"}, {"42", "1.1.0.1"}, {"41", "1.1.0.0"}, {"40", "1.0.1.6"},
      {"39", "1.0.1.3"}, {"38", "1.0.0.9"}, {"37", "1.0.0.8"}, {"44", "N/A"},     {"46", "N/A"},
      {"48", "N/A"},     {"",   "N/A"},     {"045", "N/A"}};
  for (const auto& [network, engine] : byNetwork) EXPECT_EQ(EngineVersionText(4554, network), engine) << network;
}

// A header of `size` bytes (at most 544) with the given protocol bytes and texts.
Bytes Header(std::uint8_t demo, std::uint8_t network, std::string_view map, std::string_view mod) {
  Bytes h(kHeaderSize, 0);
  std::memcpy(h.data(), "HLDEMO", 6);
  h[kDemoProtocolOffset] = demo;
  h[kNetworkProtocolOffset] = network;
  std::memcpy(h.data() + kMapNameOffset, map.data(), std::min<std::size_t>(map.size(), 260));
  std::memcpy(h.data() + kGameDirOffset, mod.data(), std::min<std::size_t>(mod.size(), 260));
  return h;
}

TEST(Header, ProtocolsAreTheirLowestByteAsSignedDecimal) {
  Bytes h = Header(0xFF, 45, "de_x", "cstrike");
  h[kNetworkProtocolOffset + 1] = 0x01;  // 301: only the low byte counts
  DemoHeader d = DecodeDemoHeader(h);
  EXPECT_EQ(d.demoVersion, "-1");
  EXPECT_EQ(d.networkVersion, "45");
  EXPECT_EQ(d.mapName, "de_x");
  EXPECT_EQ(d.gameDir, "cstrike");
}

TEST(Header, TextsWithoutTerminatorKeep259Bytes) {
  Bytes h = Header(5, 48, std::string(260, 'm'), std::string(260, 'g'));
  DemoHeader d = DecodeDemoHeader(h);
  EXPECT_EQ(d.mapName, std::string(259, 'm'));
  EXPECT_EQ(d.gameDir, std::string(259, 'g'));
}

TEST(Header, ShortFilesShowOnlyWhatTheyHold) {
  Bytes h = Header(5, 48, "de_rewind", "cstrike");
  struct Case {
    std::size_t size;
    const char *demo, *network, *map, *mod;
  };
  for (const Case& c : {Case{0, "", "", "", ""}, Case{9, "5", "", "", ""}, Case{13, "5", "48", "", ""},
                        Case{20, "5", "48", "de_r", ""}, Case{280, "5", "48", "de_rewind", "cstr"},
                        Case{300, "5", "48", "de_rewind", "cstrike"}}) {
    DemoHeader d = DecodeDemoHeader(ByteView(h).first(c.size));
    EXPECT_EQ(d.demoVersion, c.demo) << c.size;
    EXPECT_EQ(d.networkVersion, c.network) << c.size;
    EXPECT_EQ(d.mapName, c.map) << c.size;
    EXPECT_EQ(d.gameDir, c.mod) << c.size;
  }
}

TEST(Summary, SixLinesJoinedByLineFeeds) {
  Bytes image = Header(5, 45, "de_dust2", "cstrike");
  EXPECT_EQ(ComposeDemoSummary(InspectDemo(image)),
            "Half-Life Version: 1.1.0.8\nDemo Version: 5\nNetwork Version: 45\nMap: de_dust2\nMod: cstrike\nHLTV: No");
}

TEST(Summary, HltvIgnoresBuildMarkersAndNames) {
  Bytes image = Header(5, 43, "de_x", "cstrike");
  for (char c : std::string("BUILD 2056 ..\tfulls\\name\\Alpha\\..\0\x08HLTV Demo.\n", 46)) image.push_back(c);
  DemoInspection inspection = InspectDemo(image);
  EXPECT_TRUE(inspection.hltv);
  EXPECT_EQ(inspection.buildNumber, 0);
  EXPECT_EQ(inspection.engineVersion, "1.1.0.4");
  EXPECT_TRUE(DemoPlayers(inspection).empty());
  EXPECT_EQ(ComposeDemoSummary(inspection).substr(ComposeDemoSummary(inspection).rfind('\n') + 1), "HLTV: Yes");
}

TEST(MapPicture, PathBesideTheProgram) {
  EXPECT_EQ(MapPicturePath("C:\\Tools\\R", "cstrike", "dust2x"), "C:\\Tools\\R\\cstrike\\maps\\dust2x.bmp");
}

TEST(MapPicture, OnlyPlainNamesAndPathsThatFit) {
  for (auto [mod, map] : {std::pair{"..", "x"}, {"cstrike", ".."}, {"c:", "x"}, {"a\\b", "x"},
                          {"cstrike", "../../evil"}, {"cstrike", "C:\\evil"}, {"", "x"}, {"cstrike", ""},
                          {".", "x"}, {"cstrike", "a/b"}}) {
    EXPECT_FALSE(MapPicturePath("C:\\R", mod, map)) << mod << " " << map;
  }
  std::string folder(259 - std::string("\\m\\maps\\x.bmp").size(), 'f');
  EXPECT_TRUE(MapPicturePath(folder, "m", "x"));
  EXPECT_FALSE(MapPicturePath(folder + "f", "m", "x"));
}

TEST(MapOverview, GameFoldersInOrderWithThePictureRules) {
  EXPECT_EQ(MapOverviewPaths("D:\\Games\\Half-Life", "cstrike", "de_dust2"),
            (std::vector<std::string>{"D:\\Games\\Half-Life\\cstrike\\overviews\\de_dust2.bmp",
                                      "D:\\Games\\Half-Life\\cstrike_addon\\overviews\\de_dust2.bmp",
                                      "D:\\Games\\Half-Life\\cstrike_downloads\\overviews\\de_dust2.bmp",
                                      "D:\\Games\\Half-Life\\valve\\overviews\\de_dust2.bmp"}));
  EXPECT_EQ(MapOverviewPaths("G", "Valve", "crossfire"),
            (std::vector<std::string>{"G\\Valve\\overviews\\crossfire.bmp", "G\\Valve_addon\\overviews\\crossfire.bmp",
                                      "G\\Valve_downloads\\overviews\\crossfire.bmp"}))
      << "the valve mod's own folder once";
  EXPECT_TRUE(MapOverviewPaths("", "cstrike", "de_dust2").empty()) << "no game";
  EXPECT_TRUE(MapOverviewPaths("G", "cstrike", "..\\..\\x").empty());
  EXPECT_TRUE(MapOverviewPaths("G", "c:", "de_dust2").empty());
  // Only the paths that fit: "cstrike_downloads" is ten characters longer than "cstrike".
  std::string game(259 - std::string("\\cstrike_addon\\overviews\\x.bmp").size(), 'g');
  EXPECT_EQ(MapOverviewPaths(game, "cstrike", "x"),
            (std::vector<std::string>{game + "\\cstrike\\overviews\\x.bmp", game + "\\cstrike_addon\\overviews\\x.bmp",
                                      game + "\\valve\\overviews\\x.bmp"}));
}

// Windows-1251 for the few letters below, as the window's ANSI code page would read them.
std::string Cp1251(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    switch (static_cast<unsigned char>(c)) {
      case 0xE4: out += "д"; break;
      case 0xE5: out += "е"; break;
      case 0xEC: out += "м"; break;
      case 0xEE: out += "о"; break;
      default: out += c;
    }
  }
  return out;
}

TEST(MapPicture, FolderAndDemoNamesDecodedEachByItself) {
  const std::string folder = "C:\\Игры\\Ревиндор";  // UTF-8, from the system's wide path
  struct Case {
    const char* map;  // the demo's bytes
    std::optional<std::string> path;
  } cases[] = {
      {"de_\xE4\xE5\xEC\xEE", folder + "\\cstrike\\maps\\de_демо.bmp"},  // Windows-1251 bytes
      {"de_демо", folder + "\\cstrike\\maps\\de_демо.bmp"},                // already UTF-8
      {"de_dust", folder + "\\cstrike\\maps\\de_dust.bmp"},
  };
  for (const Case& c : cases) EXPECT_EQ(MapPicturePath(folder, "cstrike", c.map, Cp1251), c.path) << c.map;

  // The limit counts characters: 240 Cyrillic letters take 480 bytes but fit.
  std::string wide;
  for (int i = 0; i < 240; ++i) wide += "ж";
  EXPECT_TRUE(MapPicturePath("C:\\" + wide, "m", "x", Cp1251));
  EXPECT_FALSE(MapPicturePath("C:\\" + wide + "жжжжж", "m", "x", Cp1251));
}

}  // namespace
}  // namespace rewindor

namespace rewindor {
namespace {

// The one-pass scan must agree with the three scans taken one by one.
void ExpectOnePassAgrees(ByteView image, const std::string& what) {
  MarkerScan one = ScanMarkers(image);
  bool hltv = ScanHltv(image);
  EXPECT_EQ(one.hltv, hltv) << what;
  EXPECT_EQ(one.buildNumber, hltv ? 0 : ScanBuildNumber(image)) << what;
  std::vector<std::string> names;
  if (!hltv) {
    ScanPlayerNames(image, [&](std::string_view n) {
      if (std::find(names.begin(), names.end(), n) == names.end()) names.emplace_back(n);
    });
  }
  EXPECT_EQ(one.names, names) << what;
}

TEST(OnePassScan, AgreesWithTheSeparateScans) {
  const std::string hltv("\0\x08HLTV", 6);
  // Markers at every distance from the end, around SIMD block edges, overlapping.
  std::vector<std::string> inputs = {"",
                                     "BUILD 1",
                                     "\tfulls",
                                     hltv + "x",
                                     "x" + hltv,
                                     "\x08HLTVx",
                                     std::string(15, 'x') + "BUILD 2056 " + std::string(20, '\t'),
                                     std::string(9, '.') + "\tfulls\\name\\A\\name\\B\\\tfulls\\name\\A",
                                     "BUILD 2006 " + std::string(40, 'B') + "BUILD 2056 .\tfulls\\name\\x" + hltv + "."};
  for (std::size_t pad = 0; pad < 70; ++pad) {  // past two blocks of the widest scan
    inputs.push_back(std::string(pad, 'q') + "BUILD 77 ");
    inputs.push_back(std::string(pad, 'q') + hltv + "z");
    inputs.push_back(std::string(pad, '\0') + "\tfulls\\name\\Pad" + std::to_string(pad));
  }
  for (const std::string& s : inputs) ExpectOnePassAgrees(AsBytes(s), "input of " + std::to_string(s.size()));
}

// Overlapping windows are walked once for all: names cut at window ends,
// runs of "name" tokens, markers inside tokens and at window ends must give
// exactly what walking each window on its own gives, in the same order.
TEST(OnePassScan, AgreesOnOverlappingWindows) {
  const std::string pieces[] = {"\tfulls", "\\", ",", "\n", std::string(1, '\0'), "name", "Name", "x",
                                "Alpha", "alpha", "\tfull", std::string(130, 'L'), std::string(3000, 'z'),
                                std::string(2000, '\0')};
  std::mt19937 random(10);
  for (int round = 0; round < 400; ++round) {
    std::string image;
    const std::size_t size = random() % 20000;
    while (image.size() < size) image += pieces[random() % std::size(pieces)];
    ExpectOnePassAgrees(AsBytes(image), "round " + std::to_string(round));
  }
}

TEST(OnePassScan, AgreesOnTheRealDemos) {
  std::filesystem::path corpus = REWINDOR_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".dem") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    Bytes image((std::istreambuf_iterator<char>(in)), {});
    ExpectOnePassAgrees(image, entry.path().filename().string());
  }
}

// The players cap counts names as the list tells them apart (letter case
// ignored): a real demo with 1,024 more names, the same in capitals and 100
// later ones, each after the other and interleaved. The list keeps the first
// 1,024 distinct names, and the count of the rest is exact.
TEST(PlayersCap, CountsNamesAfterTheCaseMerge) {
  const std::filesystem::path path = std::filesystem::path(REWINDOR_CORPUS_DIR) / "cs-client-cs_assault.dem";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus demo " << path;
  std::ifstream in(path, std::ios::binary);
  const Bytes real((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::string> lower, upper, later;
  for (int i = 0; i < 1024; ++i) {
    lower.push_back("gamer" + std::to_string(i));
    upper.push_back("GAMER" + std::to_string(i));
  }
  for (int i = 0; i < 100; ++i) later.push_back("late" + std::to_string(i));
  std::vector<std::string> interleaved;
  for (int i = 0; i < 1024; ++i) interleaved.insert(interleaved.end(), {lower[i], upper[i]});
  for (const auto& [what, parts] : {std::pair{"one after the other", std::vector{lower, upper, later}},
                                    std::pair{"interleaved", std::vector{interleaved, later}}}) {
    // Each name in a user-info window of its own, 64 bytes with zeros after
    // it, so that no scan window ends inside a name (which would add a cut one).
    Bytes image = real;
    image.resize(real.size() + kPlayerInfoWindowSize, 0);
    for (const std::vector<std::string>& names : parts) {
      for (const std::string& name : names) {
        std::string window = "\tfulls\\name\\" + name + "\\";
        window.resize(64, '\0');
        image.insert(image.end(), window.begin(), window.end());
      }
    }
    std::vector<std::string> expected;  // the first 1,024 names the scan meets, letter case ignored
    std::set<std::string> keys, realKeys;
    ScanPlayerNames(real, [&](std::string_view n) { realKeys.insert(FoldAsciiCase(n)); });
    ScanPlayerNames(image, [&](std::string_view n) {
      if (keys.insert(FoldAsciiCase(n)).second && expected.size() < kMaxListedNames) expected.emplace_back(n);
    });
    ASSERT_EQ(keys.size(), realKeys.size() + 1024 + 100) << what;
    const DemoInspection inspection = InspectDemo(image);
    EXPECT_EQ(DemoPlayers(inspection), expected) << what;
    EXPECT_EQ(inspection.playersNotListed, realKeys.size() + 100) << what;
  }
  // A name over 127 bytes is cut at a whole letter (63 of "Ж", 126 bytes);
  // one in another code page at 127 bytes.
  Bytes image = real;
  std::string zhe;
  for (int i = 0; i < 70; ++i) zhe += "Ж";
  const std::string windows1251(140, '\xC6');
  const std::string windows = "\tfulls\\name\\" + zhe + "\\name\\" + windows1251 + "\\";
  image.insert(image.end(), windows.begin(), windows.end());
  const std::vector<std::string> names = InspectDemo(image).playerNames;
  EXPECT_EQ(std::count(names.begin(), names.end(), zhe.substr(0, 126)), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), windows1251.substr(0, 127)), 1);
}

}  // namespace
}  // namespace rewindor
