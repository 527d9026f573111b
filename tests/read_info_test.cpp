// ReadDemoInfo through a fake window and a fake file system: what it shows,
// what it keeps on failure, and the messages.
#include "demo/read_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "demo/info.h"
#include "demo/messages.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

class FakeWindow : public InfoWindow {
 public:
  std::string path;
  std::string info = "previous info";
  std::vector<std::string> players{"Previous"};
  std::vector<std::string> pictures, errors;
  int redraws = 0;

  std::string DemoPath() override { return path; }
  void SetInfoText(std::string_view t) override { info = t; }
  void ClearPlayers() override { players.clear(); }
  // As the real list does, beyond ASCII: here "Я" and "я" are one letter.
  std::string PlayerKey(std::string_view n) override {
    std::string key = FoldAsciiCase(n);
    for (std::size_t at = key.find("Я"); at != std::string::npos; at = key.find("Я", at)) key.replace(at, 2, "я");
    return key;
  }
  void AddPlayer(std::string_view n) override { players.emplace_back(n); }
  void LoadMapPicture(const std::string& p) override {
    pictures.push_back(p);
    picture = programPictureLoads;
  }
  // The game's overviews: those in `overviewsThatLoad` load.
  std::string game;
  bool programPictureLoads = false, picture = false;
  std::vector<std::string> overviewsThatLoad, overviewsTried;
  std::string GameFolder() override { return game; }
  bool HasMapPicture() override { return picture; }
  bool LoadMapOverview(const std::string& p) override {
    overviewsTried.push_back(p);
    picture = std::find(overviewsThatLoad.begin(), overviewsThatLoad.end(), p) != overviewsThatLoad.end();
    return picture;
  }
  void Redraw() override { ++redraws; }
  void ReportError(std::string_view t, const SystemError& why) override {
    errors.push_back(std::string(t) + ": " + why.text);
  }
  void ShowUnreadable(const SystemError& why) override { unreadable.push_back(why.text); }
  std::vector<std::string> unreadable;
};

// Files held in memory; a file can be made to fail at one step.
class FakeFiles : public FileSystem {
 public:
  struct Entry {
    Bytes bytes;
    bool failSize = false;
    std::size_t deliver = SIZE_MAX;  // bytes a read delivers at most
  };
  std::map<std::string, Entry> files;
  std::string lastError;

  std::unique_ptr<DemoFile> OpenForReading(const std::string& p) override {
    auto it = files.find(p);
    if (it == files.end()) {
      lastError = "not found";
      return nullptr;
    }
    return std::make_unique<File>(*this, it->second);
  }
  std::unique_ptr<DemoFile> OpenForEditing(const std::string& p) override { return OpenForReading(p); }
  SystemError LastError() override { return {1, lastError}; }

 private:
  class File : public DemoFile {
   public:
    File(FakeFiles& fs, Entry& e) : fs_(fs), e_(e) {}
    bool Size(std::uint64_t& s) override {
      if (e_.failSize) fs_.lastError = "size failed";
      s = e_.bytes.size();
      return !e_.failSize;
    }
    // The first `deliver` bytes of the file can be read, no more.
    bool ReadAt(std::uint64_t offset, MutableByteView into) override {
      const std::uint64_t readable = std::min<std::uint64_t>(e_.bytes.size(), e_.deliver);
      const std::size_t n = offset >= readable ? 0 : std::min<std::size_t>(into.size(), static_cast<std::size_t>(readable - offset));
      std::copy_n(e_.bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, into.begin());
      if (n < into.size()) fs_.lastError = "short read";
      return n == into.size();
    }
    std::unique_ptr<TempFile> CreateTemp() override { return nullptr; }
    bool ReplaceWith(TempFile&) override { return false; }

   private:
    FakeFiles& fs_;
    Entry& e_;
  };
};

Bytes Demo(std::string_view map, std::string_view mod, std::string_view body) {
  Bytes d(kHeaderSize + body.size(), 0);
  std::memcpy(d.data(), "HLDEMO", 6);
  d[kDemoProtocolOffset] = 5;
  d[kNetworkProtocolOffset] = 48;
  std::memcpy(d.data() + kMapNameOffset, map.data(), map.size());
  std::memcpy(d.data() + kGameDirOffset, mod.data(), mod.size());
  std::copy(body.begin(), body.end(), d.begin() + kHeaderSize);
  return d;
}

class ReadDemoInfoTest : public ::testing::Test {
 protected:
  FakeWindow window;
  FakeFiles files;
  ReaderState state{"C:\\Tools\\R", "previousmod"};
};

TEST_F(ReadDemoInfoTest, ShowsTheDemoAndRemembersItsMod) {
  files.files["a.dem"].bytes =
      Demo("de_rewind", "cstrike", "..BUILD 2056 ..\tfulls\\name\\Bob\\name\\alice\\name\\BOB\\name\\Alice\\..");
  window.path = "a.dem";
  EXPECT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_EQ(window.info,
            "Half-Life Version: 1.1.1.0\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: No");
  EXPECT_EQ(window.players, (std::vector<std::string>{"Bob", "alice"}));
  EXPECT_EQ(state.currentMod, "cstrike");
  EXPECT_EQ(window.pictures, std::vector<std::string>{"C:\\Tools\\R\\cstrike\\maps\\de_rewind.bmp"});
  EXPECT_EQ(window.redraws, 1);
  EXPECT_TRUE(window.errors.empty());
}

// The list decides which names are the same, by the key it gives each name.
// Beyond the first 1,024 distinct names, the list says how many more there are.
TEST_F(ReadDemoInfoTest, NamesTheListFindsEqualAreShownOnce) {
  std::string body = "\tfulls\\name\\Яна\\name\\яна\\name\\ЯНА\\name\\Zoe\\";
  for (int i = 0; i < 3000; ++i) body += "\tfulls\\name\\p" + std::to_string(i) + "\\";
  body += "\tfulls\\name\\p2999\\name\\p7\\";  // repeats are no more names
  files.files["a.dem"].bytes = Demo("m", "cstrike", body);
  window.path = "a.dem";
  EXPECT_TRUE(ReadDemoInfo(window, files, state));
  std::set<std::string> distinct;  // as the list tells them apart; names cut at a window's end included
  ScanPlayerNames(files.files["a.dem"].bytes, [&](std::string_view n) { distinct.emplace(window.PlayerKey(n)); });
  // 1,024 listed ("яна" is "Яна" and takes no place), then the line.
  ASSERT_EQ(window.players.size(), kMaxListedNames + 1);
  EXPECT_EQ(window.players.back(), "и ещё " + std::to_string(distinct.size() - kMaxListedNames));
  EXPECT_EQ(std::vector<std::string>(window.players.begin(), window.players.begin() + 3),
            (std::vector<std::string>{"Яна", "ЯНА", "Zoe"}));  // "ЯНА" is no "яна" but for the list's Я
}

TEST_F(ReadDemoInfoTest, MapPictureNamedThroughTheWindowsDecoder) {
  // A Cyrillic program folder with a map name in Windows-1251 bytes.
  state.programFolder = "C:\\Игры";
  state.decodeDemoText = [](std::string_view bytes) { return bytes == "\xEA\xE0\xF0" ? "кар" : std::string(bytes); };
  files.files["a.dem"].bytes = Demo("\xEA\xE0\xF0", "cstrike", "");
  window.path = "a.dem";
  ASSERT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_EQ(window.pictures, std::vector<std::string>{"C:\\Игры\\cstrike\\maps\\кар.bmp"});
}

// The program folder's picture first, as it is; only without it the game's
// overviews, in order, until one loads.
TEST_F(ReadDemoInfoTest, OverviewFromTheGameOnlyWithoutAProgramPicture) {
  files.files["a.dem"].bytes = Demo("de_x", "cstrike", "");
  window.path = "a.dem";
  window.game = "G";
  window.overviewsThatLoad = {"G\\cstrike_downloads\\overviews\\de_x.bmp", "G\\valve\\overviews\\de_x.bmp"};
  ASSERT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_EQ(window.overviewsTried, (std::vector<std::string>{"G\\cstrike\\overviews\\de_x.bmp",
                                                              "G\\cstrike_addon\\overviews\\de_x.bmp",
                                                              "G\\cstrike_downloads\\overviews\\de_x.bmp"}));
  EXPECT_TRUE(window.picture);

  window.overviewsTried.clear();
  window.programPictureLoads = true;
  ASSERT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_TRUE(window.overviewsTried.empty());
  EXPECT_EQ(window.pictures.back(), "C:\\Tools\\R\\cstrike\\maps\\de_x.bmp");
}

TEST_F(ReadDemoInfoTest, SecondReadReplacesEverything) {
  files.files["a.dem"].bytes = Demo("de_a", "cstrike", "BUILD 2056 \tfulls\\name\\Bob\\");
  files.files["b.dem"].bytes = Demo("de_b", "xyz", "nothing to see here");
  window.path = "a.dem";
  ASSERT_TRUE(ReadDemoInfo(window, files, state));
  window.path = "b.dem";
  ASSERT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_EQ(state.currentMod, "xyz");
  EXPECT_TRUE(window.players.empty());
  EXPECT_EQ(window.info.substr(0, window.info.find('\n')), "Half-Life Version: N/A");
  EXPECT_EQ(window.pictures.back(), "C:\\Tools\\R\\xyz\\maps\\de_b.bmp");
}

TEST_F(ReadDemoInfoTest, HostileNamesReadButNoPictureLookedUp) {
  files.files["h.dem"].bytes = Demo("..\\..\\secret", "cstrike", "");
  window.path = "h.dem";
  EXPECT_TRUE(ReadDemoInfo(window, files, state));
  EXPECT_TRUE(window.pictures.empty());
  EXPECT_EQ(window.redraws, 1);
  EXPECT_EQ(state.currentMod, "cstrike");
}

TEST_F(ReadDemoInfoTest, FailuresAreReportedAndChangeNothing) {
  files.files["empty.dem"].bytes = {};
  files.files["size.dem"] = {Demo("m", "mod", "x"), true};
  files.files["short.dem"] = {Demo("m", "mod", "x"), false, 100};
  struct Case {
    const char* path;
    std::string message;
  };
  for (const Case& c : {Case{"missing.dem", std::string(text::kCannotOpenDemo) + ": not found"},
                        Case{"", std::string(text::kCannotOpenDemo) + ": not found"},
                        Case{"empty.dem", std::string(text::kCannotOpenDemoReason2Read) + ": " + text::kReasonEmptyFile},
                        Case{"size.dem", std::string(text::kCannotOpenDemoReason2Read) + ": size failed"},
                        Case{"short.dem", std::string(text::kCannotReadIntoMemory) + ": short read"}}) {
    FakeWindow w;
    w.path = c.path;
    EXPECT_FALSE(ReadDemoInfo(w, files, state));
    EXPECT_EQ(w.errors, std::vector<std::string>{c.message}) << c.path;
    // After the box, the window is told this demo is unreadable, with the reason that the box gave.
    EXPECT_EQ(w.unreadable, std::vector<std::string>{c.message.substr(c.message.find(": ") + 2)}) << c.path;
    EXPECT_EQ(w.info, "previous info");
    EXPECT_EQ(w.players, std::vector<std::string>{"Previous"});
    EXPECT_TRUE(w.pictures.empty());
    EXPECT_EQ(w.redraws, 0);
    EXPECT_EQ(state.currentMod, "previousmod");
  }
}

// The main window lists the marker scan's names and then every roster name it
// lacks, letter case ignored as the list ignores it; an HLTV demo, which the
// scan never names, lists its roster.
TEST_F(ReadDemoInfoTest, PlayersFromTheRosterJoinTheScannedOnes) {
  namespace b = builder;
  const auto user = [](std::uint8_t slot, std::string_view name) {
    return b::UpdateUserInfo(slot, slot + 1, b::PlayerInfo(name, slot + 1));
  };
  const auto demoWith = [&](bool hltv) {
    b::Demo demo;
    Bytes first = b::PlayerInfoBlock("cstrike", {"Ann"});  // the scan finds Ann
    if (hltv) {
      const Bytes marker{0x00, 0x08, 'H', 'L', 'T', 'V'};
      first.insert(first.end(), marker.begin(), marker.end());
    }
    demo.loading().items.push_back(b::LoadingFrame({first}));
    // Far beyond the scan's window: only the roster names them.
    demo.playback().items.push_back(b::Gameplay{.seconds = 10});
    Bytes later;
    for (const Bytes& more : {user(3, "ANN"), user(4, "Bob"), user(5, "Вася"), user(6, "bob")}) {
      later.insert(later.end(), more.begin(), more.end());
    }
    demo.playback().items.push_back(b::NetFrame({later}));
    return b::Build(demo).bytes;
  };
  struct Case {
    const char* name;
    bool hltv, fromRoster;
    std::vector<std::string> players;
  };
  for (const Case& c : {Case{"scan only, as specified", false, false, {"Ann"}},
                        Case{"scan and roster", false, true, {"Ann", "Bob", "Вася"}},
                        Case{"HLTV: the roster alone", true, true, {"Ann", "Bob", "Вася"}}}) {
    files.files["a.dem"].bytes = demoWith(c.hltv);
    FakeWindow w;
    w.path = "a.dem";
    state.playersFromRoster = c.fromRoster;
    ASSERT_TRUE(ReadDemoInfo(w, files, state)) << c.name;
    EXPECT_EQ(w.players, c.players) << c.name;
  }
}

}  // namespace
}  // namespace rewindor
