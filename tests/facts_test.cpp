// ReadDemoFacts: playing time and frames from the directory or the walk, the
// server from the first server info, players from the user-info updates
// found by their structure, on built demos and on the real recordings.
#include "demo/facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "demo/frames.h"
#include "demo/names.h"
#include "tests/support/damaged_directories.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;
using namespace std::string_literals;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes User(std::uint8_t slot, std::string_view name) { return b::UpdateUserInfo(slot, slot + 1, b::PlayerInfo(name, slot + 1)); }

// A client demo on an 8-player server, recorded from slot 2: the server info
// after a print in the first loading frame, players in loading and in play.
b::Demo ClientDemo(b::ServerInfo server = {.maxPlayers = 8, .slot = 2, .hostName = "Rewind #1"}) {
  b::Demo demo;
  demo.loading().items.push_back(
      b::LoadingFrame({Concat({b::BuildAnnouncement(4554), b::ServerInfoMessage(server), User(2, "Me"), User(0, "Ann")})}));
  demo.loading().items.push_back(b::LoadingFrame({b::Print("loading\n")}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 1});
  demo.playback().items.push_back(b::NetFrame({Concat({User(5, "Bob"), User(2, "Me2"), User(0, "Ann")})}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 1, .seed = 2});
  return demo;
}

// A demo is a file with the signature and a whole header of demo protocol 5;
// any other file is no demo, whatever else it holds.
TEST(DemoFacts, OnlyASignedHeaderOfProtocol5IsADemo) {
  const Bytes good = b::Build(ClientDemo()).bytes;
  Bytes protocol4 = good, unsigned_ = good;
  protocol4[kDemoProtocolOffset] = 4;
  unsigned_[0] = 'X';
  const Bytes headerCut(good.begin(), good.begin() + kHeaderSize - 1);
  struct Case {
    const char* name;
    const Bytes& bytes;
    bool demo;
  };
  const Bytes text = {'n', 'o', 't', 'e', 's'};
  for (const Case& c : {Case{"built demo", good, true}, Case{"demo protocol 4", protocol4, false},
                        Case{"no signature", unsigned_, false}, Case{"header cut short", headerCut, false},
                        Case{"a text file", text, false}}) {
    EXPECT_EQ(ReadDemoFacts(c.bytes).demo, c.demo) << c.name;
    EXPECT_EQ(IsUsableDemo(c.bytes), c.demo) << c.name;
  }
}

TEST(DemoFacts, BuiltClientDemo) {
  const b::Built built = b::Build(ClientDemo());
  const DemoFacts facts = ReadDemoFacts(built.bytes);
  const b::SegmentRecord& playback = built.layout.segments.at(1);
  EXPECT_TRUE(facts.finished);
  EXPECT_EQ(facts.duration, playback.lastTime);
  EXPECT_EQ(facts.frames, std::int64_t{playback.netFrames});
  EXPECT_EQ(facts.server, "Rewind #1");
  EXPECT_EQ(facts.maxPlayers, 8);
  EXPECT_EQ(facts.recorder, "Me");  // the first name of slot 2; "Me2" comes later
  EXPECT_EQ(facts.roster, (std::vector<std::string>{"Me", "Ann", "Bob", "Me2"}));

  // Without its directory the same facts come from the walk, but the demo is
  // not finished. A closing frame after the loading segment's, with a later
  // time, still belongs to loading.
  b::Demo demo = ClientDemo();
  b::Frame late = b::NextSectionFrame();
  late.time = 30;
  demo.segments.insert(demo.segments.begin() + 1, b::Segment{0, "LOADING", {late}});
  demo.damage.noDirectory = true;
  DemoFacts walked = ReadDemoFacts(b::Build(demo).bytes);
  EXPECT_FALSE(walked.finished);
  EXPECT_EQ(walked.duration, playback.lastTime);
  EXPECT_EQ(walked.frames, std::int64_t{playback.netFrames});
  EXPECT_EQ(walked.roster, facts.roster);
}

// A directory that does not describe the frames exactly leaves the demo
// unfinished; its time, frames and players then all come from the walk, as
// for a demo the game never finished.
TEST(DemoFacts, DamagedDirectoriesAreNotFinished) {
  const b::Built whole = b::Build(ClientDemo());
  const b::SegmentRecord& playback = whole.layout.segments.at(1);
  for (const DirectoryDamage& c : DirectoryDamages()) {
    b::Demo demo = ClientDemo();
    demo.damage.editEntries = c.edit;
    demo.damage.entryCount = c.count;
    const DemoFacts facts = ReadDemoFacts(b::Build(demo).bytes);
    EXPECT_FALSE(facts.finished) << c.what;
    EXPECT_EQ(facts.duration, playback.lastTime) << c.what;
    EXPECT_EQ(facts.frames, std::int64_t{playback.netFrames}) << c.what;
    EXPECT_EQ(facts.roster, (std::vector<std::string>{"Me", "Ann", "Bob", "Me2"})) << c.what;
  }
}

// The recorder is the first name of the server info's slot, wherever its
// update stands among the others.
TEST(DemoFacts, RecorderIsTheRecordingSlotsFirstName) {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame(
      {Concat({b::ServerInfoMessage({.maxPlayers = 8, .slot = 3}), User(0, "Ann"), User(1, "Bob"), User(3, "Rec")})}));
  demo.playback().items.push_back(b::NetFrame({Concat({User(3, "Rec2"), User(2, "Cid")})}));
  const DemoFacts facts = ReadDemoFacts(b::Build(demo).bytes);
  EXPECT_EQ(facts.recorder, "Rec");
  EXPECT_EQ(facts.roster, (std::vector<std::string>{"Ann", "Bob", "Rec", "Rec2", "Cid"}));
}

// One entry per Steam ID, with the last name it had; a bot, an ID of 0 and
// one that is no number have none.
TEST(DemoFacts, SteamIdsOncePerPlayerWithTheLastName) {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({Concat({
      b::ServerInfoMessage({.maxPlayers = 8}),
      b::UpdateUserInfoRaw(0, 1, "\\name\\Ann\\*sid\\76561198053761909"),
      b::UpdateUserInfoRaw(1, 2, "\\name\\Bot\\*bot\\1\\*sid\\76561198000000001"),
      b::UpdateUserInfoRaw(2, 3, "\\name\\Zero\\*sid\\0"),
      b::UpdateUserInfoRaw(3, 4, "\\name\\Odd\\*sid\\7656x"),
      b::UpdateUserInfoRaw(4, 5, "\\*sid\\90071992547409930\\name\\Cid"),
  })}));
  demo.playback().items.push_back(b::NetFrame({b::UpdateUserInfoRaw(0, 1, "\\name\\Ann2\\*sid\\76561198053761909")}));
  EXPECT_EQ(ReadDemoFacts(b::Build(demo).bytes).steamIds,
            (std::vector<PlayerSteamId>{{"Ann2", "76561198053761909"}, {"Cid", "90071992547409930"}}));
}

// The roster keeps its first 1,024 distinct names and counts the others once
// each, however often they recur.
TEST(DemoFacts, RosterOfThousandsOfNames) {
  b::Demo demo = ClientDemo();  // Me, Ann, Bob, Me2
  for (int frame = 0; frame < 4; ++frame) {
    Bytes updates;
    for (int i = 0; i < 1000; ++i) {
      const Bytes u = b::UpdateUserInfoRaw(1, 2, "\\name\\p" + std::to_string(i % 3 == 0 ? i : frame * 1000 + i));
      updates.insert(updates.end(), u.begin(), u.end());
    }
    demo.playback().items.push_back(b::NetFrame({updates}));
  }
  const DemoFacts facts = ReadDemoFacts(b::Build(demo).bytes);
  const std::uint64_t distinct = 4 + 334 + 4 * 666;
  ASSERT_EQ(facts.roster.size(), kMaxListedNames);
  EXPECT_EQ(facts.roster[4], "p0");
  EXPECT_EQ(facts.rosterNotListed, distinct - kMaxListedNames);
}

// Only a server info checked whole counts; the first one of the loading
// segment is taken, and without one no player slot is trusted above 31.
TEST(DemoFacts, ServerInfoCheckedWhole) {
  struct Case {
    const char* what;
    Bytes loading;
    std::optional<std::string> server;
  };
  b::ServerInfo good{.maxPlayers = 8, .slot = 2, .hostName = "Good"};
  Bytes cut = b::ServerInfoMessage(good);
  cut.pop_back();  // the closing byte
  Bytes extra = b::ServerInfoMessage(good);
  extra.back() = 1;  // 21 more bytes are promised
  const Case cases[] = {
      {"after other messages", Concat({b::Print("hi"), b::ServerInfoMessage(good)}), "Good"},
      {"first of two", Concat({b::ServerInfoMessage(good), b::ServerInfoMessage({.hostName = "Second"})}), "Good"},
      {"another protocol", b::ServerInfoMessage({.protocol = 47}), std::nullopt},
      {"slot not below max players", b::ServerInfoMessage({.maxPlayers = 4, .slot = 4}), std::nullopt},
      {"more than 32 players", b::ServerInfoMessage({.maxPlayers = 33}), std::nullopt},
      {"no closing byte", cut, std::nullopt},
      {"extra bytes missing", extra, std::nullopt},
      {"extra bytes present", Concat({extra, Bytes(21, 7)}), "Good"},
      {"empty host name", b::ServerInfoMessage({.hostName = ""}), ""},
  };
  for (const Case& c : cases) {
    b::Demo demo;
    demo.loading().items.push_back(b::LoadingFrame({c.loading}));
    demo.playback().items.push_back(b::NetFrame({b::ServerInfoMessage({.hostName = "In play"})}));
    const DemoFacts facts = ReadDemoFacts(b::Build(demo).bytes);
    EXPECT_EQ(facts.server, c.server) << c.what;
    EXPECT_EQ(facts.maxPlayers.has_value(), c.server.has_value()) << c.what;
  }
}

// User-info updates are found by their structure anywhere in the message
// bytes; a candidate that fails any check is no player.
TEST(DemoFacts, UserInfoCheckedWhole) {
  struct Case {
    const char* what;
    Bytes message;
    bool counted;
  };
  Bytes noHash = User(1, "Cut");
  noHash.resize(noHash.size() - 1);
  const std::string longInfo = "\\name\\Long\\x\\" + std::string(kMaxInfoString - 13, 'x');
  const Case cases[] = {
      {"plain", User(1, "Joe"), true},
      {"name not first", b::UpdateUserInfoRaw(1, 7, "\\a\\b\\name\\Kim\\c\\d"), true},
      {"name last, no value", b::UpdateUserInfoRaw(1, 7, "\\a\\b\\name\\"), false},
      {"name as a value", b::UpdateUserInfoRaw(1, 7, "\\model\\name\\x\\y"), false},
      {"no leading backslash", b::UpdateUserInfoRaw(1, 7, "name\\Zed"), false},
      {"slot 8 of 8", User(8, "Eight"), false},
      {"hash cut", noHash, false},
      {"longest info string", b::UpdateUserInfoRaw(1, 7, longInfo.substr(0, kMaxInfoString - 1)), true},
      {"info string over the limit", b::UpdateUserInfoRaw(1, 7, longInfo + "x"), false},
  };
  for (const Case& c : cases) {
    b::Demo demo = ClientDemo();
    // Last in its frame, so a cut hash is cut by the frame's end.
    demo.playback().items.push_back(b::NetFrame({Concat({b::NoiseMessage(0x29, 40, 3), c.message})}));
    const DemoFacts facts = ReadDemoFacts(b::Build(demo).bytes);
    EXPECT_EQ(facts.roster.size(), c.counted ? 5u : 4u) << c.what;
  }
}

TEST(DemoFacts, HltvHasNoRecorderAndShortInputNothing) {
  b::Demo demo = ClientDemo();
  demo.playback().items.push_back(b::NetFrame({Concat({b::Print("x"), b::HltvNotice()})}));
  const DemoFacts hltv = ReadDemoFacts(b::Build(demo).bytes);
  EXPECT_EQ(hltv.recorder, std::nullopt);
  EXPECT_EQ(hltv.server, "Rewind #1");
  const Bytes image = b::Build(ClientDemo()).bytes;
  for (std::size_t size : {0, 543, 544, 545}) {
    const DemoFacts none = ReadDemoFacts(ByteView(image).first(size));
    EXPECT_FALSE(none.finished || none.duration || none.frames || none.server || !none.roster.empty()) << size;
  }
}

// ---------------------------------------------------------------------------
// The real recordings.

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

struct Recording {
  const char* file;
  double duration;  // the Playback track time, rounded as the list of facts gives it
  std::int64_t frames;
  std::string server;
  std::optional<std::string> recorder;
  std::size_t names;
};

// The facts known of the protocol-48 recordings.
const Recording kRecordings[] = {
    {"hl-singleplayer-c1a0.dem", 2.886, 289, "Half-Life", "^2{^7ch^2e^7a^2t^7s^2}^0__$#]^@", 1},
    {"cs-client-cs_assault.dem", 25.097, 1504, "Counter-Strike", "Player", 2},
    {"cs-hltv-cs_assault.dem", 14.149, 228, "Counter-Strike 1.6 Server:0", std::nullopt, 1},
    {"cs-listenserver-crossfire.dem", 7.353, 736, "Half-Life", "Player", 1},
    {"public-servers/cs-client-de_dust2-20players.dem", 52.233, 1940, "VALHALLA AIM TRAINING BASE",
     "`ALOHADANCE <3", 20},
    {"public-servers/cs-client-de_dust2-namechange.dem", 54.863, 2122, "Counter-Strike", "Karaul0v", 4},
    {"public-servers/cs-client-de_dust2-cyrillic-server.dem", 8.683, 836,
     "✖     РУССКИЕ ПЕРЦЫ [18+]® [ONLY DUST2] ✖", "Адский Дэмопёc", 3},
    {"public-servers/cs-client-cs_assault-11players.dem", 6.067, 150, "Counter-Strike 1.6 Server", "В КОНТРЕ", 11},
};

TEST(DemoFacts, RealRecordings) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  for (const Recording& r : kRecordings) {
    const std::filesystem::path path = corpus / r.file;
    if (!std::filesystem::exists(path)) continue;
    Bytes image = ReadFile(path);
    const DemoFacts facts = ReadDemoFacts(image);
    std::optional<Directory> directory = ReadDirectory(image);
    ASSERT_TRUE(directory && directory->entries.size() == 2) << r.file;
    const DirectoryEntry& playback = directory->entries[1];
    EXPECT_TRUE(facts.finished) << r.file;
    EXPECT_EQ(facts.duration, playback.trackTime) << r.file;
    EXPECT_NEAR(facts.duration.value_or(0), r.duration, 0.0005) << r.file;
    EXPECT_EQ(facts.frames, r.frames) << r.file;
    EXPECT_EQ(facts.server, r.server) << r.file;
    EXPECT_EQ(facts.recorder, r.recorder) << r.file;
    EXPECT_EQ(facts.roster.size(), r.names) << r.file;
    if (r.recorder) {
      EXPECT_NE(std::find(facts.roster.begin(), facts.roster.end(), *r.recorder), facts.roster.end()) << r.file;
    }

    // The directory damaged but readable (an entry count of 1): the same
    // time, frames and players, from the walk, but not finished.
    Bytes oneEntry = image;
    StoreI32LE(&oneEntry[directory->offset], 1);
    const DemoFacts walked = ReadDemoFacts(oneEntry);
    EXPECT_FALSE(walked.finished) << r.file;
    EXPECT_EQ(walked.duration, facts.duration) << r.file;
    EXPECT_EQ(walked.frames, facts.frames) << r.file;
    EXPECT_EQ(walked.roster, facts.roster) << r.file;
    EXPECT_EQ(walked.recorder, facts.recorder) << r.file;

    // Cut inside a Playback frame, without its directory: the time of the
    // last whole frame before the cut, and the network frames up to there.
    std::vector<Frame> frames;
    WalkDemo(image, [&](std::size_t segment, const Frame& f) {
      if (segment == 1) frames.push_back(f);
    });
    for (std::size_t k : {frames.size() / 3, frames.size() - 1}) {
      std::int64_t network = 0;
      for (std::size_t i = 0; i < k; ++i) network += frames[i].type == kFrameNetMsg;
      Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(frames[k].offset + frames[k].size / 2));
      StoreI32LE(cut.data() + kDirectoryOffsetOffset, 0);
      const DemoFacts unfinished = ReadDemoFacts(cut);
      EXPECT_FALSE(unfinished.finished) << r.file << " " << k;
      EXPECT_EQ(unfinished.duration, frames[k - 1].time) << r.file << " " << k;
      EXPECT_EQ(unfinished.frames, network) << r.file << " " << k;
      EXPECT_EQ(unfinished.server, facts.server) << r.file;
    }
  }
}

}  // namespace
}  // namespace rewindor
