// ReadDemoReport on a fake file system: what a reader of the demo is told,
// and the words of a failure.
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

// As the main window's list compares names, beyond ASCII: here "Я" and "я" are one letter.
std::string ListKey(std::string_view n) {
  std::string key = FoldAsciiCase(n);
  for (std::size_t at = key.find("Я"); at != std::string::npos; at = key.find("Я", at)) key.replace(at, 2, "я");
  return key;
}

// The players as the main window lists them: the names, then the line for those not listed.
std::vector<std::string> Listed(const DemoReport& r) {
  std::vector<std::string> players = r.players;
  if (r.playersNotListed > 0) players.push_back(NotListedText(r.playersNotListed));
  return players;
}

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

class ReadDemoReportTest : public ::testing::Test {
 protected:
  FakeFiles files;
  DemoReportOptions options{.programFolder = "C:\\Tools\\R", .playerKey = ListKey};
};

TEST_F(ReadDemoReportTest, ShowsTheDemoAndItsMod) {
  files.files["a.dem"].bytes =
      Demo("de_rewind", "cstrike", "..BUILD 2056 ..\tfulls\\name\\Bob\\name\\alice\\name\\BOB\\name\\Alice\\..");
  const DemoReport r = ReadDemoReport(files, "a.dem", options);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.summary,
            "Half-Life Version: 1.1.1.0\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: No");
  EXPECT_EQ(Listed(r), (std::vector<std::string>{"Bob", "alice"}));
  EXPECT_EQ(r.mod, "cstrike");
  EXPECT_EQ(r.picture, "C:\\Tools\\R\\cstrike\\maps\\de_rewind.bmp");
  EXPECT_TRUE(r.overviews.empty());  // no game named
}

// The caller's key decides which names are the same.
// Beyond the first 1,024 distinct names, the report says how many more there are.
TEST_F(ReadDemoReportTest, NamesTheListFindsEqualAreShownOnce) {
  std::string body = "\tfulls\\name\\Яна\\name\\яна\\name\\ЯНА\\name\\Zoe\\";
  for (int i = 0; i < 3000; ++i) body += "\tfulls\\name\\p" + std::to_string(i) + "\\";
  body += "\tfulls\\name\\p2999\\name\\p7\\";  // repeats are no more names
  files.files["a.dem"].bytes = Demo("m", "cstrike", body);
  const std::vector<std::string> players = Listed(ReadDemoReport(files, "a.dem", options));
  std::set<std::string> distinct;  // as the list tells them apart; names cut at a window's end included
  ScanPlayerNames(files.files["a.dem"].bytes, [&](std::string_view n) { distinct.emplace(ListKey(n)); });
  // 1,024 listed ("яна" is "Яна" and takes no place), then the line.
  ASSERT_EQ(players.size(), kMaxListedNames + 1);
  EXPECT_EQ(players.back(), "и ещё " + std::to_string(distinct.size() - kMaxListedNames));
  EXPECT_EQ(std::vector<std::string>(players.begin(), players.begin() + 3),
            (std::vector<std::string>{"Яна", "ЯНА", "Zoe"}));  // "ЯНА" is no "яна" but for the list's Я
}

TEST_F(ReadDemoReportTest, MapPictureNamedThroughTheWindowsDecoder) {
  // A Cyrillic program folder with a map name in Windows-1251 bytes.
  options.programFolder = "C:\\Игры";
  options.decodeDemoText = [](std::string_view bytes) { return bytes == "\xEA\xE0\xF0" ? "кар" : std::string(bytes); };
  files.files["a.dem"].bytes = Demo("\xEA\xE0\xF0", "cstrike", "");
  EXPECT_EQ(ReadDemoReport(files, "a.dem", options).picture, "C:\\Игры\\cstrike\\maps\\кар.bmp");
}

// The program folder's picture first; then the game's overviews in the order they are tried.
TEST_F(ReadDemoReportTest, OverviewsOfTheGameInTheirOrder) {
  files.files["a.dem"].bytes = Demo("de_x", "cstrike", "");
  options.gameFolder = "G";
  const DemoReport r = ReadDemoReport(files, "a.dem", options);
  EXPECT_EQ(r.picture, "C:\\Tools\\R\\cstrike\\maps\\de_x.bmp");
  EXPECT_EQ(r.overviews, (std::vector<std::string>{"G\\cstrike\\overviews\\de_x.bmp",
                                                    "G\\cstrike_addon\\overviews\\de_x.bmp",
                                                    "G\\cstrike_downloads\\overviews\\de_x.bmp",
                                                    "G\\valve\\overviews\\de_x.bmp"}));
}

// Read whole into a shared buffer, the report is the same, and its image views the demo.
TEST_F(ReadDemoReportTest, ReadWholeIntoABufferTellsTheSame) {
  files.files["a.dem"].bytes = Demo("de_a", "cstrike", "BUILD 2056 \tfulls\\name\\Bob\\");
  files.files["b.dem"].bytes = Demo("de_b", "xyz", "nothing to see here");
  ImageBuffer buffer;
  DemoReportOptions whole = options;
  whole.buffer = &buffer;
  for (const char* path : {"a.dem", "b.dem"}) {
    const DemoReport windowed = ReadDemoReport(files, path, options), read = ReadDemoReport(files, path, whole);
    EXPECT_EQ(read.summary, windowed.summary) << path;
    EXPECT_EQ(read.players, windowed.players) << path;
    EXPECT_EQ(read.picture, windowed.picture) << path;
    EXPECT_EQ(Bytes(read.image.begin(), read.image.end()), files.files[path].bytes) << path;
  }
  EXPECT_EQ(ReadDemoReport(files, "b.dem", whole).summary.substr(0, 22), "Half-Life Version: N/A");
}

TEST_F(ReadDemoReportTest, HostileNamesReadButNoPictureLookedUp) {
  files.files["h.dem"].bytes = Demo("..\\..\\secret", "cstrike", "");
  options.gameFolder = "G";
  const DemoReport r = ReadDemoReport(files, "h.dem", options);
  EXPECT_FALSE(r.error);
  EXPECT_FALSE(r.picture);
  EXPECT_TRUE(r.overviews.empty());
  EXPECT_EQ(r.mod, "cstrike");
}

TEST_F(ReadDemoReportTest, FailuresAreToldInTheErrorBoxsWords) {
  files.files["empty.dem"].bytes = {};
  files.files["size.dem"] = {Demo("m", "mod", "x"), true};
  files.files["short.dem"] = {Demo("m", "mod", "x"), false, 100};
  struct Case {
    const char* path;
    std::string message;
  };
  ImageBuffer buffer;
  for (int how = 0; how < 3; ++how) {  // through the window, its events alone, whole into the buffer
    options.buffer = how == 2 ? &buffer : nullptr;
    options.events = how == 1;
    for (const Case& c : {Case{"missing.dem", std::string(text::kCannotOpenDemo) + ": not found"},
                          Case{"", std::string(text::kCannotOpenDemo) + ": not found"},
                          Case{"empty.dem", std::string(text::kCannotOpenDemoReason2Read) + ": " + text::kReasonEmptyFile},
                          Case{"size.dem", std::string(text::kCannotOpenDemoReason2Read) + ": size failed"},
                          Case{"short.dem", std::string(text::kCannotReadIntoMemory) + ": short read"}}) {
      const DemoReport r = ReadDemoReport(files, c.path, options);
      ASSERT_TRUE(r.error) << c.path;
      EXPECT_EQ(r.error->Words(), c.message) << c.path;
      // The window then says this demo is unreadable with the reason that the box gave.
      EXPECT_EQ(r.error->why.text, c.message.substr(c.message.find(": ") + 2)) << c.path;
      EXPECT_TRUE(r.summary.empty() && r.players.empty() && r.mod.empty() && !r.picture) << c.path;
    }
  }
}

// The main window lists the marker scan's names and then every roster name it
// lacks, letter case ignored as the list ignores it; an HLTV demo, which the
// scan never names, lists its roster.
TEST_F(ReadDemoReportTest, PlayersFromTheRosterJoinTheScannedOnes) {
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
    options.playersFromRoster = c.fromRoster;
    EXPECT_EQ(ReadDemoReport(files, "a.dem", options).players, c.players) << c.name;
  }
}

// Asked for the events, read through the window the report holds them alone;
// read whole, beside the rest.
TEST_F(ReadDemoReportTest, EventsAloneThroughTheWindowBesideTheRestFromABuffer) {
  namespace b = builder;
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::ServerInfoMessage(), b::RegisterGameMessages()}));
  demo.playback().items.push_back(b::NetFrame({b::DeathMessage(0, 0, false, "world")}));
  files.files["a.dem"].bytes = b::Build(demo).bytes;
  options.events = true;
  const DemoReport alone = ReadDemoReport(files, "a.dem", options);
  ImageBuffer buffer;
  options.buffer = &buffer;
  const DemoReport whole = ReadDemoReport(files, "a.dem", options);
  EXPECT_TRUE(alone.summary.empty() && !whole.summary.empty());
  EXPECT_EQ(alone.events.events.size() + whole.events.events.size(), 2u);
}

}  // namespace
}  // namespace rewindor
