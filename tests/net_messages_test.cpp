// The network message decoder: the bit reader under it, one built frame per
// bit-packed message, user messages by their registration, each kind of bad
// input failing its frame alone, and every frame of the real demos.
#include "demo/net_messages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "demo/bit_reader.h"
#include "demo/delta.h"
#include "tests/support/corpus.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

// ---------------------------------------------------------------------------
// The bit reader.

TEST(BitReader, ReadsEachByteFromItsLowestBitAcrossBytes) {
  const std::uint8_t bytes[] = {0xB5, 0x63};  // 1011'0101 0110'0011
  BitReader bits(bytes, 0);
  EXPECT_EQ(bits.Read(3), 0b101u);                // the low three bits of 0xB5
  EXPECT_EQ(bits.Read(7), 0b10110u | (0b11u << 5));  // 0xB5's high five, then 0x63's low two
  EXPECT_EQ(bits.Read(6), 0b011000u);             // the rest of 0x63
  EXPECT_TRUE(bits.ok());
}

TEST(BitReader, ReadsWhatTheBuilderWritesAtEveryWidthAndShift) {
  b::BitWriter w;
  for (unsigned width = 1; width <= 32; ++width) w.Bits(0x9E3779B9u >> (32 - width), width).Bit(true);
  const Bytes bytes = w.Finish();
  BitReader bits(bytes, 0);
  for (unsigned width = 1; width <= 32; ++width) {
    EXPECT_EQ(bits.Read(width), 0x9E3779B9u >> (32 - width)) << width;
    EXPECT_TRUE(bits.ReadBit()) << width;
  }
  EXPECT_TRUE(bits.ok());
}

TEST(BitReader, SignAndMagnitude) {
  const std::pair<std::uint8_t, std::int32_t> cases[] = {{0x0B, -5},  // sign 1, magnitude 101
                                                         {0x0A, 5},   // sign 0, magnitude 101
                                                         {0x01, 0},   // a negative zero is zero
                                                         {0x0F, -7}};
  for (const auto& [byte, value] : cases) EXPECT_EQ(BitReader({&byte, 1}, 0).ReadSigned(4), value) << int{byte};
  const Bytes bytes = b::BitWriter().Signed(-1000, 12).Signed(1000, 12).Finish();
  BitReader bits(bytes, 0);
  EXPECT_EQ(bits.ReadSigned(12), -1000);
  EXPECT_EQ(bits.ReadSigned(12), 1000);
}

TEST(BitReader, SectionEndsAtTheByteAfterItsLastBitAndTakesAtLeastOne) {
  const std::uint8_t bytes[] = {0x55, 0x07, 0xFF, 0x09};
  const std::pair<unsigned, std::size_t> skipsAndEnds[] = {{0, 2}, {1, 2}, {8, 2}, {9, 3}, {16, 3}, {17, 4}};
  for (const auto& [skip, end] : skipsAndEnds) {
    BitReader bits(bytes, 1);
    bits.Skip(skip);
    EXPECT_EQ(bits.EndByte(), end) << skip;
  }
}

TEST(BitReader, ReadingPastTheEndFailsForGoodAndYieldsZero) {
  const Bytes bytes{0xFF};  // on the heap: GCC takes a one-byte array for one the reader overruns
  BitReader bits(bytes, 0);
  EXPECT_EQ(bits.Read(9), 0u);
  EXPECT_FALSE(bits.ok());
  EXPECT_EQ(bits.Read(1), 0u);
  EXPECT_EQ(bits.Peek(1), 0u);
  BitReader string(bytes, 0);
  string.SkipString();  // no zero before the end
  EXPECT_FALSE(string.ok());
}

// ---------------------------------------------------------------------------
// Built frames.

// What a decoder handed over.
struct Listing final : MessageSink {
  struct Line {
    std::size_t frame, offset, length;
    std::string name;
    Bytes payload;
    bool operator==(const Line&) const = default;
  };
  void OnMessage(const FramePlace& place, const NetMessage& m) override {
    lines.push_back({place.index, m.offset, m.length, std::string(m.name), Bytes(m.payload.begin(), m.payload.end())});
  }
  void OnFrameEnd(const FramePlace&, const FrameFailure* failure) override {
    if (failure) failures.push_back(*failure);
  }
  std::vector<Line> lines;
  std::vector<FrameFailure> failures;
};

constexpr std::size_t kBlockStride = 100000;  // frame i's block is taken to start at i times this

// Decodes the blocks in order with one decoder, as frames 0, 1, ...; returns
// whether each decoded.
std::vector<bool> DecodeBlocks(const std::vector<Bytes>& blocks, Listing& listing) {
  MessageDecoder decoder;
  std::vector<bool> decoded;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    decoded.push_back(decoder.DecodeFrame({1, i, nullptr}, blocks[i], i * kBlockStride, listing));
  }
  return decoded;
}

Bytes Join(const std::vector<Bytes>& messages) {
  Bytes out;
  for (const Bytes& m : messages) out.insert(out.end(), m.begin(), m.end());
  return out;
}

const Bytes kNop = {0x01};

// The tables the built messages are packed with; every width differs, so a
// delta read against the wrong table does not end where it should.
Bytes Descriptions() {
  return Join({
      b::DeltaDescriptionMessage("entity_state_t", {{kDeltaInteger, "modelindex", 5},
                                                    {kDeltaFloat | kDeltaSigned, "origin[0]", 10},
                                                    {kDeltaString, "model", 0},
                                                    {kDeltaTimeWindow8, "animtime", 0}}),
      b::DeltaDescriptionMessage("entity_state_player_t", {{kDeltaInteger, "modelindex", 7}}),
      b::DeltaDescriptionMessage("custom_entity_state_t", {{kDeltaInteger, "rendermode", 9}}),
      b::DeltaDescriptionMessage("clientdata_t", {{kDeltaInteger, "health", 8}, {kDeltaFloat, "maxspeed", 20}}),
      b::DeltaDescriptionMessage("weapon_data_t", {{kDeltaInteger, "m_iClip", 6}}),
      b::DeltaDescriptionMessage("event_t", {{kDeltaInteger, "entindex", 11}}),
      b::DeltaDescriptionMessage("usercmd_t", {{kDeltaAngle, "viewangles[0]", 16}}),  // a table no message uses
  });
}

// The baselines: entity 0 (a normal entity), 3 (a player of four), 10 (a
// beam), then two instanced baselines.
Bytes SpawnBaseline() {
  b::BitWriter w;
  w.Bits(0, 11).Bits(1, 2).FieldMask(0b1011).Bits(17, 5).Signed(-300, 10).Signed(-2, 8);
  w.Bits(3, 11).Bits(1, 2).FieldMask(1).Bits(100, 7);
  w.Bits(10, 11).Bits(2, 2).FieldMask(1).Bits(300, 9);
  w.Bits(0xFFFF, 16).Bits(2, 6);
  w.FieldMask(0b100).String("models/a.mdl");
  w.FieldMask(0);
  return b::BitMessage(22, w);
}

// The first frame of a connection as these tests make it: the server info
// (four players), the tables, two user messages, the baselines.
Bytes ConnectionStart(std::uint8_t players = 4) {
  b::ServerInfo info;
  info.maxPlayers = players;
  return Join({b::ServerInfoMessage(info), Descriptions(), b::NewUserMessage(64, 2, "Fixed"),
               b::NewUserMessage(65, 255, "Chat"), SpawnBaseline()});
}

b::BitWriter ClientData() {
  return b::BitWriter()
      .Bit(true).Bits(12, 8)                          // updates frame 12
      .FieldMask(0b11).Bits(100, 8).Bits(250000, 20)  // health, max speed
      .Bit(true).Bits(16, 6).FieldMask(1).Bits(30, 6)  // weapon 16: its clip
      .Bit(true).Bits(3, 6).FieldMask(0)
      .Bit(false);
}

b::BitWriter ReliableEvent() { return b::BitWriter().Bits(30, 10).FieldMask(0).Bit(true).Bits(20, 16); }

// Packet entities: the message number, the entity count (16 bits), the body.
Bytes Entities(Bytes head, const b::BitWriter& body) { return Join({head, body.Finish()}); }

struct KindCase {
  std::string name;
  Bytes message;
  Bytes setup = ConnectionStart();  // the frame before it
};

std::vector<KindCase> Kinds() {
  b::BitWriter resources;
  resources.Bits(2, 12);
  resources.Bits(1, 4).String("sound/a.wav").Bits(1, 12).Bits(5000, 24).Bits(4, 3);  // custom: a hash follows
  for (int i = 0; i < 16; ++i) resources.Bits(0xA0 + i, 8);
  resources.Bit(true);
  for (int i = 0; i < 32; ++i) resources.Bits(i, 8);
  resources.Bits(2, 4).String("models/b.mdl").Bits(2, 12).Bits(0, 24).Bits(1, 3).Bit(false);
  resources.Bit(true).Bit(true).Bit(true).Bits(1, 5).Bit(true).Bit(false).Bits(600, 10).Bit(false);  // consistency
  return {
      {"svc_event", b::BitMessage(3, b::BitWriter()
                                         .Bits(2, 5)
                                         .Bits(26, 10).Bit(true).Bits(5, 11).Bit(true).FieldMask(1).Bits(7, 11)
                                         .Bit(false)                                          // with its arguments
                                         .Bits(27, 10).Bit(false).Bit(true).Bits(150, 16))},  // no entity; a delay
      {"svc_sound", b::BitMessage(6, b::BitWriter()
                                         .Bits(1 | 4 | 8, 9).Bits(200, 8)         // volume, a large index, pitch
                                         .Bits(1, 3).Bits(7, 11).Bits(300, 16)    // channel, entity, sound
                                         .Bits(0b101, 3)                          // x and z given
                                         .Bit(true).Bit(true).Bit(true).Bits(1000, 12).Bits(3, 3)  // x: -1000.375
                                         .Bit(false).Bit(true).Bit(false).Bits(4, 3)               // z: 0.5
                                         .Bits(110, 8))},
      {"svc_deltadescription", b::DeltaDescriptionMessage("weapon_data_t", {{kDeltaInteger, "m_iClip", 6}})},
      {"svc_clientdata", b::BitMessage(15, ClientData())},
      {"svc_pings", b::BitMessage(17, b::BitWriter().Bit(true).Bits(0, 5).Bits(35, 12).Bits(0, 7)
                                          .Bit(true).Bits(3, 5).Bits(120, 12).Bits(2, 7).Bit(false))},
      {"svc_event_reliable", b::BitMessage(21, ReliableEvent())},
      {"svc_spawnbaseline", SpawnBaseline()},
      {"svc_packetentities",  // three entities
       Entities({40, 3, 0}, b::BitWriter()
                                .Bit(true).Bit(false).Bit(false).Bit(false).FieldMask(1).Bits(5, 7)  // 1, a player
                                .Bit(false).Bit(false).Bits(4, 6).Bit(false).Bit(true).Bits(1, 6)    // 5, instanced 1
                                .FieldMask(0b1).Bits(3, 5)
                                .Bit(false).Bit(true).Bits(300, 11).Bit(true).Bit(false).Bit(true).Bits(2, 6)
                                .FieldMask(1).Bits(4, 9)  // 300, a beam, two back
                                .Bits(0, 16))},
      {"svc_deltapacketentities",  // two entities, updating frame 7
       Entities({41, 2, 0, 7}, b::BitWriter()
                                   .Bit(true).Bit(false).Bits(2, 6)                                      // 2 removed
                                   .Bit(false).Bit(false).Bits(1, 6).Bit(false).Bit(false).FieldMask(1)  // 3, a player
                                   .Bits(9, 7)
                                   .Bit(false).Bit(true).Bits(1500, 11).Bit(false).Bit(false)  // 1500
                                   .FieldMask(0b100).String("m")
                                   .Bits(0, 16))},
      {"svc_resourcelist", b::BitMessage(43, resources)},
      {"svc_temp_entity", {23, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 0}},  // a BSP decal on entity 9: its model
      {"svc_temp_entity", {23, 29, 1, 0, 0, 0, 0, 2, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0, 2, 0, 3, 0, 4, 0, 'h', 'i', 0}},
      {"svc_serverinfo", b::ServerInfoMessage()},
      {"svc_newusermsg", b::NewUserMessage(66, 3, "Other")},
      {"svc_clientdata", {15}, Join({{50, 0}, ConnectionStart()})},  // svc_hltv: the proxy's has no body
  };
}

// Each kind, in a frame of its own after the setup (whose every message
// decodes), ends exactly where the built message does: the one-byte message
// after it is found right there.
TEST(MessageDecoder, EachKindEndsWhereItWasWritten) {
  for (const KindCase& kind : Kinds()) {
    Listing listing;
    EXPECT_EQ(DecodeBlocks({kind.setup, Join({kind.message, kNop})}, listing), (std::vector<bool>{true, true}))
        << kind.name << ": " << (listing.failures.empty() ? "" : listing.failures[0].reason);
    ASSERT_GE(listing.lines.size(), 2u);
    const Listing::Line& last = listing.lines.back();
    const Listing::Line& message = listing.lines[listing.lines.size() - 2];
    EXPECT_EQ(message, (Listing::Line{1, kBlockStride, kind.message.size(), kind.name,
                                      Bytes(kind.message.begin() + 1, kind.message.end())}))
        << kind.name;
    EXPECT_EQ(last, (Listing::Line{1, kBlockStride + kind.message.size(), 1, "svc_nop", {}})) << kind.name;
  }
}

// User messages by their registered size or length byte, under their
// registered names; a later registration of the same number takes its place,
// as the server's does after a map change.
TEST(MessageDecoder, UserMessagesByTheirRegistration) {
  Listing listing;
  const Bytes frame = {64, 'a', 'b',          // "Fixed": two bytes
                       65, 3, 'x', 'y', 'z',  // "Chat": a length byte, then three
                       1};
  const std::vector<Bytes> blocks = {ConnectionStart(), frame, b::NewUserMessage(64, 255, "Longer"), {64, 1, 9}};
  ASSERT_EQ(DecodeBlocks(blocks, listing), (std::vector<bool>{true, true, true, true}));
  const std::vector<Listing::Line> frame1(listing.lines.end() - 5, listing.lines.end() - 2);
  EXPECT_EQ(frame1, (std::vector<Listing::Line>{{1, kBlockStride, 3, "Fixed", {'a', 'b'}},
                                                 {1, kBlockStride + 3, 5, "Chat", {'x', 'y', 'z'}},
                                                 {1, kBlockStride + 8, 1, "svc_nop", {}}}));
  EXPECT_EQ(listing.lines.back(), (Listing::Line{3, 3 * kBlockStride, 3, "Longer", {9}}));
}

// The player table is for entities 1 to the server's players, which are not always 32.
TEST(MessageDecoder, PlayerEntitiesAreNumberedUpToTheServersPlayers) {
  const b::BitWriter six = b::BitWriter().Bit(false).Bit(true).Bits(6, 11)  // entity 6, as a player
                               .Bit(false).Bit(false).Bit(false).FieldMask(1).Bits(90, 7).Bits(0, 16);
  const Bytes frame = Join({Entities({40, 1, 0}, six), kNop});
  for (const std::uint8_t players : {std::uint8_t{8}, std::uint8_t{32}, std::uint8_t{4}}) {
    Listing listing;
    const std::vector<bool> decoded = DecodeBlocks({ConnectionStart(players), frame}, listing);
    const bool exact = decoded[1] && listing.lines.back() == Listing::Line{1, kBlockStride + frame.size() - 1, 1,
                                                                            "svc_nop", {}};
    EXPECT_EQ(exact, players >= 6) << int{players};
  }
}

// ---------------------------------------------------------------------------
// Bad input: the frame fails with its reason and place, the next one decodes.

struct BadCase {
  std::string what;
  Bytes frame;
  std::size_t failsAt;  // within the frame
  std::string reason;
  Bytes setup = ConnectionStart();  // the frame before it, which decodes
};

std::vector<BadCase> BadFrames() {
  std::vector<b::DeltaField> tooMany(65, b::DeltaField{kDeltaInteger, "f", 1});
  // A field whose type the engine cannot read fails the delta that marks it, not the description.
  const Bytes odd = b::DeltaDescriptionMessage("event_t", {{kDeltaInteger, "entindex", 11}, {0x100, "odd", 8}});
  return {
      {"past its frame", {1, 8, 'h', 'i'}, 1, "svc_print runs past the end of the frame's messages"},
      {"fixed size past its frame", {64, 'a'}, 0, "Fixed runs past the end of the frame's messages"},
      {"length byte past its frame", {65, 4, 'a'}, 0, "Chat runs past the end of the frame's messages"},
      {"a reserved number", {1, 60}, 1, "message number 60 is not a known message"},
      {"svc_bad", {0}, 0, "message number 0 (svc_bad) is not a message"},
      {"never registered", {1, 1, 200, 0}, 2, "user message 200 was never registered"},
      {"too many fields", b::DeltaDescriptionMessage("entity_state_t", tooMany), 0,
       "svc_deltadescription: entity_state_t has 65 fields, more than a table holds (64)"},
      {"entity out of range",  // 2000, then 2063
       Entities({40, 2, 0}, b::BitWriter().Bit(false).Bit(true).Bits(2000, 11).Bit(false).Bit(false).Bit(false)
                                .FieldMask(0).Bit(false).Bit(false).Bits(63, 6).Bits(0, 16)), 0,
       "svc_packetentities: entity number 2063 is out of range"},
      {"instanced baseline out of range",  // 5 of 2
       Entities({40, 1, 0}, b::BitWriter().Bit(true).Bit(false).Bit(true).Bits(5, 6).Bits(0, 16)), 0,
       "svc_packetentities: instanced baseline 5 is out of range (2 were sent)"},
      {"unknown temporary entity", {23, 40, 0, 0}, 0, "svc_temp_entity: temporary entity type 40 is not known"},
      {"unknown HLTV command", {50, 3}, 0, "svc_hltv command 3 is not known"},
      {"registers an engine number", b::NewUserMessage(58, 1, "Low"), 0,
       "svc_newusermsg registers number 58, which is not a user message's"},
      // Found by the fuzz target: a name that starts with its zero would list a message without a name.
      {"registers no name", b::NewUserMessage(255, 0, ""), 0, "svc_newusermsg registers number 255 without a name"},
      {"a delta before its description", b::BitMessage(15, ClientData()), 0,
       "svc_clientdata: no delta description clientdata_t came before it", kNop},
      {"an unreadable field sent", b::BitMessage(21, b::BitWriter().Bits(1, 10).FieldMask(0b10)), 0,
       "svc_event_reliable: a delta of event_t: its field 1 has no readable type",
       Join({ConnectionStart(), odd, b::BitMessage(21, ReliableEvent())})},
  };
}

TEST(MessageDecoder, BadFrameFailsWithReasonAndOffsetAndTheNextDecodes) {
  for (const BadCase& c : BadFrames()) {
    Listing listing;
    EXPECT_EQ(DecodeBlocks({c.setup, c.frame, kNop}, listing), (std::vector<bool>{true, false, true}))
        << c.what;
    ASSERT_EQ(listing.failures.size(), 1u) << c.what;
    EXPECT_EQ(listing.failures[0].offset, kBlockStride + c.failsAt) << c.what;
    EXPECT_EQ(listing.failures[0].reason, c.reason) << c.what;
    EXPECT_EQ(listing.lines.back(), (Listing::Line{2, 2 * kBlockStride, 1, "svc_nop", {}})) << c.what;
  }
}

// ---------------------------------------------------------------------------
// Whole demos.

// Checks that each frame's messages follow one another from its start, and
// counts the bytes they cover against the frames' message bytes.
struct Counter final : MessageSink {
  void OnMessage(const FramePlace& place, const NetMessage& m) override {
    if (m.offset == place.frame->offset + kNetMsgDataOffset) next = m.offset;
    EXPECT_EQ(m.offset, next);
    next = m.offset + m.length;
    covered += m.length;
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    if (failure) reasons.push_back(std::to_string(place.segment) + "/" + std::to_string(place.index) + ": " +
                                   failure->reason);
    blocks += place.frame->size - kNetMsgDataOffset;
  }
  std::uint64_t covered = 0, blocks = 0, next = 0;
  std::vector<std::string> reasons;
};

TEST(MessageDecoder, EveryFrameOfTheRealDemosDecodesExactly) {
  if (CorpusDemos().empty()) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  int demos = 0;
  bool hltv = false;
  for (const std::filesystem::path& path : CorpusDemos()) {
    const Bytes image = ReadImage(path);
    if (path.filename().string().starts_with("crafted-") || !MessagesNotDecoded(image).empty()) continue;
    std::uint64_t network = 0;
    WalkDemo(image, [&](std::size_t, const Frame& f) { network += f.IsNetwork(); });
    Counter counter;
    const DecodeTotals totals = DecodeDemoMessages(image, counter);
    EXPECT_EQ(totals.frames, network) << path;
    EXPECT_EQ(totals.failed, 0u) << path << ": " << (counter.reasons.empty() ? "" : counter.reasons[0]);
    EXPECT_EQ(counter.covered, counter.blocks) << path;
    EXPECT_GT(totals.decoded, 100u) << path;
    hltv |= path.filename().string().find("hltv") != std::string::npos;
    ++demos;
  }
  EXPECT_GE(demos, 8);
  EXPECT_TRUE(hltv);
}

TEST(MessageDecoder, CutDemoDecodesItsWholeFramesAndOldProtocolsAreNotDecoded) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (CorpusDemos().empty()) GTEST_SKIP() << "no corpus at " << corpus;
  Bytes image = ReadImage(corpus / "cs-hltv-cs_assault.dem");
  image.resize(image.size() / 2);
  StoreU32LE(image.data() + kDirectoryOffsetOffset, 0);
  Counter cut;
  const DecodeTotals totals = DecodeDemoMessages(image, cut);
  EXPECT_GT(totals.decoded, 50u);
  EXPECT_EQ(totals.failed, 0u);
  EXPECT_EQ(cut.covered, cut.blocks);

  Counter none;
  const DecodeTotals old = DecodeDemoMessages(ReadImage(corpus / "hl-old-protocol4.dem"), none);
  EXPECT_EQ(old.notDecoded,
            "demo protocol 4, network protocol 35: messages are decoded only in demos of demo protocol 5 and network "
            "protocol 47 or 48");
  EXPECT_EQ(old.frames, 0u);
  EXPECT_EQ(none.covered, 0u);
}

}  // namespace
}  // namespace rewindor
