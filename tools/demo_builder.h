// Synthetic demos for the tests, the bundled samples and the benchmark: a
// demo described in code is written as structurally valid bytes (header,
// segments of frames, directory at the end), together with a record of where
// everything landed. Options break the result on purpose for the tests of
// damaged input.
//
//   builder::Demo demo;
//   demo.loading().items.push_back(builder::LoadingFrame({{builder::BuildAnnouncement(4554), "build"}}));
//   demo.playback().items.push_back(builder::Gameplay{.seconds = 5, .teamChatsPerMinute = 12});
//   builder::Built built = builder::Build(demo);
//   // built.bytes is the file; built.layout.Tagged("build")[0].offset == 1021
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "demo/bytes.h"
#include "demo/demo_format.h"

namespace rewindor::builder {

// ---------------------------------------------------------------------------
// Messages: each maker returns the bytes of one message of a network frame.

// 08, the text, its zero.
Bytes Print(std::string_view text);
// The server's build announcement, a print whose text is
// "\x02\nBUILD <build> SERVER (0 CRC)\nServer # 1\n".
Bytes BuildAnnouncement(int build);
// 09, the text, its zero.
Bytes StuffText(std::string_view text);
// The stuff text "fullserverinfo "\*gamedir\<gameDir>"\n"; its first bytes are the player-info marker.
Bytes FullServerInfo(std::string_view gameDir);

using InfoPairs = std::vector<std::pair<std::string, std::string>>;
// "\key\value\key\value..." from the pairs in order.
std::string InfoText(const InfoPairs& pairs);
// 0D, slot (u8), user id (i32), the info text, its zero, then 16 hash bytes
// derived from the user id.
Bytes UpdateUserInfoRaw(std::uint8_t slot, std::int32_t userId, std::string_view infoText);
Bytes UpdateUserInfo(std::uint8_t slot, std::int32_t userId, const InfoPairs& pairs);
// A typical player's info pairs (rates, colours, model, name, *sid).
InfoPairs PlayerInfo(std::string_view name, std::int32_t userId);
// The full server info followed by one update-user-info message per name
// (slot i, user id i + 1). The names are found by the information reader only
// while the block stays within its 4096-byte window.
Bytes PlayerInfoBlock(std::string_view gameDir, const std::vector<std::string>& names);

// Message 11, the server info that opens a connection: the protocol, spawn
// count, map CRC, a 16-byte hash, max players, the recording player's slot,
// deathmatch, the four texts and their zeros, then a zero (no extra bytes).
struct ServerInfo {
  std::int32_t protocol = 48;
  std::uint8_t maxPlayers = 32;
  std::uint8_t slot = 0;
  std::string gameDir = "cstrike";
  std::string hostName = "Rewind Server";
  std::string map = "maps/de_rewind.bsp";
  std::string mapCycle = "de_rewind\nde_dust2\n";
};
Bytes ServerInfoMessage(const ServerInfo& info = {});

// Message 62, a screen fade; the defaults are the fade to black.
struct ScreenFade {
  std::uint16_t duration = 0x3000;
  std::uint16_t holdTime = 0x3000;
  std::uint16_t flags = 5;
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};
Bytes ScreenFadeMessage(const ScreenFade& fade = {});

// 4B, the length b, the two payload bytes (sender slot, 02), then the text and
// its zero; b counts the payload bytes, the text and the zero. The length is
// one byte, so a text longer than 252 bytes is cut to 252.
inline constexpr std::size_t kMaxChatTextBytes = 252;
Bytes ChatMessage(std::string_view text, std::uint8_t sender = 1);
// "(Terrorist) <name> : <words>", "(Counter-Terrorist) ...", with "*DEAD*" in front for a dead player.
Bytes TeamChat(std::string_view name, std::string_view words, bool counterTerrorist = false, bool dead = false);
// "<name> : <words>".
Bytes AllChat(std::string_view name, std::string_view words);

// ---------------------------------------------------------------------------
// The game's user messages, known by the names their registration gives them.
// The makers below number them as RegisterGameMessages registers them.

inline constexpr std::uint8_t kUserMsgSayText = 0x4B;
inline constexpr std::uint8_t kUserMsgTextMsg = 0x4D;
inline constexpr std::uint8_t kUserMsgDeathMsg = 0x53;
inline constexpr std::uint8_t kUserMsgTeamScore = 0x55;
inline constexpr std::uint8_t kUserMsgScreenFade = 0x62;
// The registrations (NewUserMessage) of the five messages above: ScreenFade of 10 bytes, the others with a length byte.
Bytes RegisterGameMessages();
// A user message with a length byte: the number, the payload's length, the payload (at most 255 bytes).
Bytes UserMessage(std::uint8_t id, ByteView payload);
// DeathMsg: killer and victim entities (0 is the world), headshot, the weapon and its zero.
Bytes DeathMessage(std::uint8_t killer, std::uint8_t victim, bool headshot, std::string_view weapon);
// SayText in today's form: the sender's entity, the format key
// ("#Cstrike_Chat_T"), the name argument (mostly empty) and the words, each with its zero.
Bytes KeyedChat(std::uint8_t sender, std::string_view key, std::string_view name, std::string_view words);
// SayText in the older form: the sender's entity, then the text and its zero
// (a colour byte such as 02 is the text's first byte where wanted).
Bytes PlainChat(std::uint8_t sender, std::string_view text);
// TextMsg: where it is printed (4, the centre), the key and its arguments, each with its zero.
Bytes TextMessage(std::string_view key, const std::vector<std::string>& arguments = {});
// TeamScore: the team's name ("TERRORIST", "CT"), its score as 16 bits.
Bytes TeamScoreMessage(std::string_view team, std::int16_t score);

// The print "HLTV Demo finished.\n". The HLTV marker is the zero before it
// and its first bytes: place it after a message that ends in a zero (a print,
// a stuff text) or first in a frame.
Bytes HltvNotice();

// The message number `id`, then `size` bytes of entity-update-like noise
// (floats among random bits) that hold no first byte of any pattern that the
// scans and edits look for (08, 09, 42, 4B, 4C, 62). The same seed gives the same bytes.
Bytes NoiseMessage(std::uint8_t id, std::size_t size, std::uint64_t seed);

inline Bytes Raw(ByteView bytes) { return Bytes(bytes.begin(), bytes.end()); }

// Bit-packed message bodies as the engine writes them: each value's least
// significant bit first, into each byte from its lowest bit up.
class BitWriter {
 public:
  BitWriter& Bits(std::uint32_t value, unsigned count);
  BitWriter& Bit(bool value) { return Bits(value ? 1 : 0, 1); }
  // Sign and magnitude: the sign bit, then count - 1 bits of magnitude.
  BitWriter& Signed(std::int32_t value, unsigned count);
  // 8 bits a character, then a zero.
  BitWriter& String(std::string_view text);
  // A delta's field mask: the number of bytes it takes (3 bits), then those bytes.
  BitWriter& FieldMask(std::uint64_t mask);
  // The bytes, the last one filled up with zero bits; at least one byte, as
  // the engine ends a bit section.
  Bytes Finish() const;
  std::size_t bits() const { return bits_; }

 private:
  Bytes bytes_;
  std::size_t bits_ = 0;
};

// One field of a delta description: its type (DT_* bits, the sign bit 1 << 31
// or-ed in), name and width in bits.
struct DeltaField {
  std::uint32_t type = 8;  // an integer
  std::string name;
  std::uint32_t bits = 8;
};
// 0E, the table's name and its zero, then in bits the field count (16) and
// each field as a delta against an empty field: its type, name and width
// marked and sent.
Bytes DeltaDescriptionMessage(std::string_view table, const std::vector<DeltaField>& fields);
// 27, the message's number, its size (255 for a length byte) and its name in 16 bytes.
Bytes NewUserMessage(std::uint8_t id, std::uint8_t size, std::string_view name);
// The message number, then the bit section.
Bytes BitMessage(std::uint8_t id, const BitWriter& bits);

// ---------------------------------------------------------------------------
// Frames.

struct Viewport {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
};

// One message placed in a network frame. A non-empty tag records where it landed.
struct Message {
  Message(Bytes b, std::string t = {}) : bytes(std::move(b)), tag(std::move(t)) {}  // NOLINT: implicit on purpose
  Bytes bytes;
  std::string tag;
};

struct Frame {
  std::uint8_t type = kFrameNetMsg;  // any byte, also one that is no frame type
  float time = 0;
  std::int32_t number = 0;
  // Network message frames (types 0 and 1): the messages, one after another.
  std::vector<Message> messages;
  // Network message frames: a viewport other than the demo's.
  std::optional<Viewport> viewport;
  // Network message frames: a length field other than the messages' length.
  std::optional<std::uint32_t> lengthField;
  // Other frame types: the bytes after the frame header, written as they are.
  Bytes payload;
};

// Frame makers. A frame whose time and number are both left 0 gets those of
// the frame before it in its segment.
Frame NetFrame(std::vector<Message> messages, std::uint8_t type = kFrameNetMsg);
Frame LoadingFrame(std::vector<Message> messages);  // type 0
Frame DemoStartFrame();
Frame NextSectionFrame();
Frame ConsoleCommandFrame(std::string_view command);  // zero-padded (cut) to 64 bytes
Frame ClientDataFrame(float x, float y, float z, float pitch, float yaw, std::int32_t weaponBits = 0, float fov = 90);
Frame EventFrame(std::int32_t index, float delay = 0);
Frame WeaponAnimFrame(std::int32_t anim, std::int32_t body = 0);
Frame SoundFrame(std::int32_t channel, std::string_view sample, float attenuation = 0.8f, float volume = 1,
                 std::int32_t flags = 0, std::int32_t pitch = 100);
Frame DemoBufferFrame(ByteView data);

// N seconds of play, generated while the demo is written (never held in the
// description, so a large demo costs memory about its own size once). The
// same seed gives the same bytes. Each tick is a demo buffer, a client data
// and a network frame of entity-update-like noise (for HLTV a network frame
// and a client data), with console commands, events, sounds and weapon
// animations now and then. Fades, chat messages and player-info blocks are
// placed evenly at the given rates, each inside a network frame after a
// noise message, and tagged "fade", "team_chat", "all_chat" and
// "player_info" (the block's first byte is the player-info marker). The noise
// holds no first byte of a pattern (see NoiseMessage), so the only patterns
// in the filler are the placed ones. With a power-of-two tick rate the frame
// times are exact, and the bytes the same whatever the compiler.
struct Gameplay {
  double seconds = 10;
  // When non-zero, ticks are added until the gameplay holds at least this
  // many bytes; `seconds` is then ignored.
  std::uint64_t targetBytes = 0;
  std::uint64_t seed = 1;
  double ticksPerSecond = 64;
  bool hltv = false;
  double fadesPerMinute = 0;
  double teamChatsPerMinute = 0;
  double allChatsPerMinute = 0;
  double playerInfoPerMinute = 0;
  // Chat senders and player-info blocks; must not be empty when chats or blocks are asked for.
  std::vector<std::string> players = {"Player"};
  std::string gameDir = "cstrike";
};

using Item = std::variant<Frame, Gameplay>;

struct Segment {
  std::int32_t type = 1;
  std::string title = "Playback";
  std::vector<Item> items;
};

// ---------------------------------------------------------------------------
// The demo.

struct DirectoryEntry {
  std::int32_t type = 1;
  std::string title;  // cut to 63 bytes
  std::int32_t flags = 0;
  std::int32_t cdTrack = -1;
  float trackTime = 0;
  std::int32_t frameCount = 0;
  std::int32_t offset = 0;
  std::int32_t length = 0;
};

// Ways to break a built demo; all off by default.
struct Damage {
  std::optional<std::int32_t> directoryOffset;  // the header field
  std::optional<std::int32_t> entryCount;       // the directory's count field
  // Called with the entries that describe the segments; may change, add or remove entries.
  std::function<void(std::vector<DirectoryEntry>&)> editEntries;
  bool noDirectory = false;               // the file ends after the last segment
  std::optional<std::size_t> truncateTo;  // the output cut to this many bytes
};

struct Demo {
  std::string signature = std::string("HLDEMO\0\0", 8);  // written as 8 bytes, zero-padded or cut
  std::int32_t demoProtocol = 5;
  std::int32_t networkProtocol = 48;
  std::string mapName = "de_rewind";  // raw bytes; 260 or more bytes leave no terminator
  std::string gameDir = "cstrike";
  std::uint32_t mapChecksum = 0x2E5E0E13;
  Viewport viewport{0, 0, 640, 480};  // 0x0 for HLTV
  // Loading, then playback. Segments of type 0 record a frame count of 0, as
  // the game does; others the number of their network message frames.
  std::vector<Segment> segments = {Segment{0, "LOADING", {}}, Segment{1, "Playback", {}}};
  // Each playback segment starts with a demo start frame and each segment
  // ends with a next-section frame (unless its last item is one already).
  bool autoFraming = true;
  // Off for very large demos: the layout then keeps no frame, viewport or message records.
  bool recordLayout = true;
  Damage damage;

  Segment& loading() { return segments.at(0); }
  Segment& playback() { return segments.at(1); }
};

// ---------------------------------------------------------------------------
// The result.

struct FrameRecord {
  std::uint64_t offset = 0;  // of the frame header
  std::uint32_t size = 0;    // header included
  std::uint8_t type = 0;
  std::uint8_t segment = 0;
};
struct MessageRecord {
  std::string tag;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
};
struct SegmentRecord {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint32_t frames = 0;     // all frames
  std::uint32_t netFrames = 0;  // network message frames
  float lastTime = 0;
};

struct Layout {
  std::vector<FrameRecord> frames;
  std::vector<MessageRecord> messages;
  // The offset of each viewport written (x, y, width, height), in file order.
  std::vector<std::uint64_t> viewports;
  std::vector<SegmentRecord> segments;
  // Where the directory starts; unset when there is none.
  std::optional<std::uint64_t> directoryOffset;
  std::vector<std::uint64_t> entryOffsets;  // of each 92-byte entry
  std::vector<DirectoryEntry> entries;      // as written (after Damage::editEntries)

  // The placed messages with this tag, in file order.
  std::vector<MessageRecord> Tagged(std::string_view tag) const;
};

struct Built {
  Bytes bytes;
  Layout layout;
};

Built Build(const Demo& demo);

// The two bundled samples, built the same way every time.
Demo ClientSample();
Demo HltvSample();
inline constexpr char kClientSampleName[] = "de_rewind_client.dem";
inline constexpr char kHltvSampleName[] = "de_rewind_hltv.dem";

}  // namespace rewindor::builder
