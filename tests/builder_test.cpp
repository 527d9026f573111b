// The builder is test support: these tests check that what it writes is a
// demo the game could walk, that its layout record tells the truth, and that
// the committed samples are what it builds now.
#include "tools/demo_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "demo/info.h"

namespace rewindor {
namespace {

namespace b = builder;

// ---------------------------------------------------------------------------
// A small frame walker of its own, from the directory to each segment's end.

struct WalkedFrame {
  std::uint64_t offset;
  std::uint32_t size;
  std::uint8_t type;
  std::uint8_t segment;
  bool operator==(const WalkedFrame&) const = default;
};

struct Walk {
  std::vector<WalkedFrame> frames;
  std::vector<std::uint64_t> viewports;
  std::vector<std::int32_t> netFrames;  // per segment
};

// Fails the current test and returns what it got so far on any structural fault.
Walk WalkDemo(ByteView d) {
  Walk w;
  ByteReader header(d, kDirectoryOffsetOffset);
  std::size_t dir = static_cast<std::size_t>(header.I32());
  ByteReader r(d, dir);
  std::int32_t count = r.I32();
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(dir + 4 + static_cast<std::uint64_t>(count) * kDirectoryEntrySize, d.size()) << "the last entry ends the file";
  for (std::int32_t e = 0; e < count; ++e) {
    ByteView entry = r.Take(kDirectoryEntrySize);
    if (!r.ok()) return w;
    std::size_t at = LoadU32LE(&entry[kEntrySegmentOffsetOffset]);
    std::size_t end = at + LoadU32LE(&entry[kEntrySegmentLengthOffset]);
    std::int32_t nets = 0;
    ByteReader f(d.first(std::min(end, d.size())), at);
    std::uint8_t type = 0;
    while (f.ok() && f.pos() < end) {
      std::size_t start = f.pos();
      type = f.U8();
      f.Skip(8);
      switch (type) {
        case kFrameNetMsgStart:
        case kFrameNetMsg: {
          w.viewports.push_back(f.pos() + kRefParamsOffset + kViewportInRefParams);
          f.Skip(kNetMsgFixedSize);
          std::uint32_t len = f.U32();
          EXPECT_LE(len, kMaxNetMsgLength);
          f.Skip(len);
          ++nets;
          break;
        }
        case kFrameDemoStart: case kFrameNextSection: break;
        case kFrameConsoleCommand: f.Skip(kConsoleCommandSize); break;
        case kFrameClientData: f.Skip(kClientDataSize); break;
        case kFrameEvent: f.Skip(kEventSize); break;
        case kFrameWeaponAnim: f.Skip(kWeaponAnimSize); break;
        case kFrameSound: f.Skip(4); f.Skip(f.U32() + 16ull); break;
        case kFrameDemoBuffer: f.Skip(f.U32()); break;
        default: ADD_FAILURE() << "frame type " << int(type) << " at " << start; return w;
      }
      EXPECT_TRUE(f.ok()) << "frame at " << start << " runs past its segment";
      if (!f.ok()) return w;
      w.frames.push_back({start, static_cast<std::uint32_t>(f.pos() - start), type, static_cast<std::uint8_t>(e)});
    }
    EXPECT_EQ(f.pos(), end);
    EXPECT_EQ(type, kFrameNextSection) << "segment " << e << " ends with a next-section frame";
    std::int32_t type0 = LoadI32LE(&entry[kEntryTypeOffset]);
    EXPECT_EQ(LoadI32LE(&entry[kEntryFrameCountOffset]), type0 == 0 ? 0 : nets);
    w.netFrames.push_back(nets);
  }
  return w;
}

std::size_t CountOf(ByteView d, ByteView pattern) {
  std::size_t n = 0;
  for (auto it = d.begin(); (it = std::search(it, d.end(), pattern.begin(), pattern.end())) != d.end(); ++it) ++n;
  return n;
}

bool StartsWithTeamPrefix(std::string_view text) {
  return text.starts_with("(Ter") || text.starts_with("(Cou") || text.starts_with("*DEA");
}

// Team chat messages found the plain way: 4B, a length that fits, a team text.
std::size_t CountTeamChats(ByteView d) {
  std::size_t n = 0;
  for (std::size_t p = 0; p + 4 < d.size(); ++p) {
    if (d[p] != 0x4B || d[p + 1] <= 2 || p + d[p + 1] + 2 > d.size()) continue;
    if (StartsWithTeamPrefix(AsString(d.subspan(p + 4, d[p + 1] - 2u)))) ++n;
  }
  return n;
}

std::vector<std::string> SampleNames() {
  return {"Ghost", "\xD0\x92\xD0\xB0\xD1\x81\xD1\x8F", "Mr. Pink", "GHOST", "Kate"};
}

struct Case {
  const char* name;
  std::function<b::Demo()> make;
};

b::Demo EveryFrameType() {
  b::Demo demo;
  demo.loading().items = {b::LoadingFrame({{b::BuildAnnouncement(4554), "build"},
                                           {b::PlayerInfoBlock("cstrike", SampleNames()), "player_info"}})};
  demo.playback().items = {b::ConsoleCommandFrame("+attack"), b::ClientDataFrame(1, 2, 3, 4, 5),
                           b::EventFrame(7), b::WeaponAnimFrame(3, 1), b::SoundFrame(1, "radio/go.wav"),
                           b::DemoBufferFrame(AsBytes("abc")),
                           b::NetFrame({{b::ScreenFadeMessage(), "fade"}, {b::TeamChat("Kate", "go"), "team_chat"},
                                        {b::AllChat("Kate", "hi"), "all_chat"}}),
                           b::NetFrame({{b::NoiseMessage(0x29, kMaxNetMsgLength - 1, 3)}})};
  return demo;
}

b::Gameplay BusyGameplay(bool hltv) {
  b::Gameplay g;
  g.seconds = 20;
  g.hltv = hltv;
  g.fadesPerMinute = 9;
  g.teamChatsPerMinute = 30;
  g.allChatsPerMinute = 12;
  g.playerInfoPerMinute = 6;
  g.players = SampleNames();
  return g;
}

// Two playback segments, as after a level change.
b::Demo ClientGameplay() {
  b::Demo demo;
  demo.playback().items = {BusyGameplay(false)};
  demo.segments.push_back({1, "Playback", {BusyGameplay(false)}});
  return demo;
}

// Gameplay that goes on after a frame given by hand.
b::Demo HltvGameplay() {
  b::Demo demo;
  demo.viewport = {};
  demo.playback().items = {BusyGameplay(true), b::NetFrame({{b::Print("x")}, {b::HltvNotice(), "hltv"}}),
                           BusyGameplay(true)};
  return demo;
}

const Case kCases[] = {
    {"Empty", [] { return b::Demo{}; }},
    {"EveryFrameType", EveryFrameType},
    {"ClientGameplay", ClientGameplay},
    {"HltvGameplay", HltvGameplay},
    {"ClientSample", b::ClientSample},
    {"HltvSample", b::HltvSample},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class BuiltDemo : public testing::TestWithParam<Case> {};

TEST_P(BuiltDemo, WalksAsTheLayoutSays) {
  b::Demo demo = GetParam().make();
  b::Built built = b::Build(demo);
  ByteView d = built.bytes;
  const b::Layout& lay = built.layout;

  Walk w = WalkDemo(d);
  ASSERT_EQ(w.frames.size(), lay.frames.size());
  for (std::size_t i = 0; i < w.frames.size(); ++i) {
    const b::FrameRecord& f = lay.frames[i];
    ASSERT_EQ(w.frames[i], (WalkedFrame{f.offset, f.size, f.type, f.segment})) << "frame " << i;
  }
  EXPECT_EQ(w.viewports, lay.viewports);
  for (std::uint64_t at : lay.viewports) {
    const std::uint8_t* p = &d[static_cast<std::size_t>(at)];
    ASSERT_EQ(LoadI32LE(p) | LoadI32LE(p + 4), 0);
    ASSERT_EQ(LoadI32LE(p + 8), demo.viewport.width);
    ASSERT_EQ(LoadI32LE(p + 12), demo.viewport.height);
  }

  ASSERT_TRUE(lay.directoryOffset);
  EXPECT_EQ(LoadU32LE(&d[kDirectoryOffsetOffset]), *lay.directoryOffset);
  ASSERT_EQ(lay.entryOffsets.size(), demo.segments.size());
  std::uint64_t expectedStart = kHeaderSize;
  for (std::size_t s = 0; s < demo.segments.size(); ++s) {
    const std::uint8_t* e = &d[static_cast<std::size_t>(lay.entryOffsets[s])];
    EXPECT_EQ(lay.entryOffsets[s], *lay.directoryOffset + 4 + s * kDirectoryEntrySize);
    EXPECT_EQ(LoadI32LE(e + kEntryTypeOffset), demo.segments[s].type);
    EXPECT_EQ(HeaderText(d, static_cast<std::size_t>(lay.entryOffsets[s]) + kEntryTitleOffset, kEntryTitleSize), demo.segments[s].title);
    EXPECT_EQ(LoadU32LE(e + kEntrySegmentOffsetOffset), expectedStart) << "segments follow one another";
    expectedStart += LoadU32LE(e + kEntrySegmentLengthOffset);
    EXPECT_EQ(static_cast<std::uint32_t>(w.netFrames[s]), lay.segments[s].netFrames);
  }
  EXPECT_EQ(expectedStart, *lay.directoryOffset);
}

TEST_P(BuiltDemo, HoldsExactlyThePlacedPatterns) {
  b::Built built = b::Build(GetParam().make());
  ByteView d = built.bytes;
  const b::Layout& lay = built.layout;
  static constexpr std::uint8_t kFade[] = {0x62, 0x00, 0x30, 0x00, 0x30, 0x05, 0x00, 0x00, 0x00, 0x00, 0xFF};
  static constexpr std::uint8_t kBuildPrint[] = {0x08, 0x02, 0x0A, 'B', 'U', 'I', 'L', 'D'};
  static constexpr std::uint8_t kLoadingTitle[] = {0, 0, 'L', 'O', 'A', 'D', 'I', 'N', 'G'};

  EXPECT_EQ(CountOf(d, kFade), lay.Tagged("fade").size());
  EXPECT_EQ(CountOf(d, kBuildPrint), lay.Tagged("build").size());
  EXPECT_EQ(CountOf(d, kPlayerInfoMarker), lay.Tagged("player_info").size());
  EXPECT_EQ(CountOf(d, kHltvMarker), lay.Tagged("hltv").size());
  EXPECT_EQ(CountOf(d, kLoadingTitle), 1u);
  EXPECT_EQ(CountTeamChats(d), lay.Tagged("team_chat").size());

  // Each placed message sits inside a network frame's messages.
  for (const b::MessageRecord& m : lay.messages) {
    auto frame = std::find_if(lay.frames.begin(), lay.frames.end(), [&](const b::FrameRecord& f) {
      return f.offset + kNetMsgDataOffset <= m.offset && m.offset + m.size <= f.offset + f.size;
    });
    EXPECT_NE(frame, lay.frames.end()) << m.tag << " at " << m.offset;
  }
  for (const b::MessageRecord& m : lay.Tagged("all_chat")) {
    EXPECT_FALSE(StartsWithTeamPrefix(AsString(d.subspan(static_cast<std::size_t>(m.offset) + 4, m.size - 5))));
  }
}

INSTANTIATE_TEST_SUITE_P(Demos, BuiltDemo, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(Builder, GameplayIsSeededAndSizedOnRequest) {
  b::Demo demo;
  b::Gameplay g;
  g.seconds = 3;
  demo.playback().items = {g};
  Bytes first = b::Build(demo).bytes;
  EXPECT_EQ(b::Build(demo).bytes, first);
  std::get<b::Gameplay>(demo.playback().items[0]).seed = 2;
  EXPECT_NE(b::Build(demo).bytes, first);

  g.targetBytes = 3 << 20;
  demo.playback().items = {g};
  b::Built big = b::Build(demo);
  std::uint64_t length = big.layout.segments[1].length;
  EXPECT_GE(length, g.targetBytes);
  EXPECT_LT(length, g.targetBytes + 8192) << "stops at the first tick past the target";
}

// ---------------------------------------------------------------------------
// The committed samples.

Bytes ReadSample(const char* name) {
  std::ifstream in(std::string(REWINDOR_SAMPLES_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(Samples, AreWhatTheBuilderMakesNow) {
  EXPECT_EQ(ReadSample(b::kClientSampleName), b::Build(b::ClientSample()).bytes)
      << "run rewindor-make-samples samples and commit the result";
  EXPECT_EQ(ReadSample(b::kHltvSampleName), b::Build(b::HltvSample()).bytes);
}

TEST(Samples, ReadAsAClientAndAnHltvDemo) {
  b::Built client = b::Build(b::ClientSample());
  EXPECT_EQ(client.layout.Tagged("build").at(0).offset, kHeaderSize + kNetMsgDataOffset);
  DemoInspection inspection = InspectDemo(client.bytes);
  EXPECT_EQ(inspection.buildNumber, 4554);
  EXPECT_EQ(ComposeDemoSummary(inspection),
            "Half-Life Version: N/A\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: No");
  EXPECT_EQ(DemoPlayers(inspection),
            (std::vector<std::string>{"Ghost", "\xD0\x92\xD0\xB0\xD1\x81\xD1\x8F", "Mr. Pink", "sn1per_ace", "Kate",
                                      "[RW] Otter", "Bob"}));
  EXPECT_GE(client.layout.Tagged("team_chat").size(), 3u);
  EXPECT_GE(client.layout.Tagged("all_chat").size(), 2u);
  EXPECT_GE(client.layout.Tagged("fade").size(), 2u);

  b::Built hltv = b::Build(b::HltvSample());
  inspection = InspectDemo(hltv.bytes);
  EXPECT_EQ(ComposeDemoSummary(inspection),
            "Half-Life Version: N/A\nDemo Version: 5\nNetwork Version: 48\nMap: de_rewind\nMod: cstrike\nHLTV: Yes");
  EXPECT_TRUE(DemoPlayers(inspection).empty());
  for (const b::Built* s : {&client, &hltv}) {
    EXPECT_GT(s->bytes.size(), 200u * 1024);
    EXPECT_LT(s->bytes.size(), 600u * 1024);
  }
}

}  // namespace
}  // namespace rewindor
