#include "tools/demo_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "demo/net_messages.h"

namespace rewindor::builder {

namespace {

constexpr std::uint8_t kSvcPrint = 0x08;
constexpr std::uint8_t kSvcStuffText = 0x09;
constexpr std::uint8_t kSvcTime = 0x07;
constexpr std::uint8_t kSvcClientData = 0x0F;
constexpr std::uint8_t kSvcDeltaPacketEntities = 0x29;
constexpr std::uint8_t kMsgScreenFade = 0x62;
constexpr std::uint8_t kMsgSayText = 0x4B;

void Append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void AppendI32(Bytes& out, std::int32_t v) {
  std::uint8_t b[4];
  StoreI32LE(b, v);
  out.insert(out.end(), b, b + 4);
}

void AppendU16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

Bytes ZeroTerminatedMessage(std::uint8_t id, std::string_view text) {
  Bytes out;
  out.reserve(text.size() + 2);
  out.push_back(id);
  Append(out, text);
  out.push_back(0);
  return out;
}

// splitmix64: small, fast, and the same sequence on every platform.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (n > 0).
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  // [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  std::uint64_t state_;
};

// Noise bytes lose the first bytes of every pattern that the scans and edits
// look for, so a generated demo holds only the patterns placed on purpose.
constexpr std::array<std::uint8_t, 256> MakeScrubTable() {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
  for (int b : {0x08, 0x09, 0x42, 0x4B, 0x4C, 0x62})
    t[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b ^ 0x10);
  return t;
}
constexpr std::array<std::uint8_t, 256> kScrub = MakeScrubTable();

// Writes into a buffer sized beforehand, or, without one, only counts: Build
// runs the same emission twice, first to learn the size, then to write.
class Writer {
 public:
  explicit Writer(std::uint8_t* base) : base_(base) {}

  bool writing() const { return base_ != nullptr; }
  std::uint64_t pos() const { return pos_; }

  // The next n bytes: a pointer to them when writing, else nullptr. The
  // buffer starts zeroed, so skipped bytes are zero.
  std::uint8_t* Take(std::size_t n) {
    std::uint8_t* p = base_ ? base_ + pos_ : nullptr;
    pos_ += n;
    return p;
  }
  void Put(const void* data, std::size_t n) {
    std::uint8_t* p = Take(n);
    if (p != nullptr && n != 0) std::memcpy(p, data, n);
  }
  void Put(ByteView b) { Put(b.data(), b.size()); }
  void U8(std::uint8_t v) {
    if (std::uint8_t* p = Take(1)) *p = v;
  }
  void I32(std::int32_t v) {
    if (std::uint8_t* p = Take(4)) StoreI32LE(p, v);
  }
  void U32(std::uint32_t v) {
    if (std::uint8_t* p = Take(4)) StoreU32LE(p, v);
  }
  void F32(float v) {
    if (std::uint8_t* p = Take(4)) StoreF32LE(p, v);
  }
  // A fixed-size text field: the bytes, cut to the field, the rest zero.
  void Text(std::string_view text, std::size_t field) {
    std::uint8_t* p = Take(field);
    if (p) std::memcpy(p, text.data(), std::min(text.size(), field));
  }
  void PatchI32(std::uint64_t at, std::int32_t v) {
    if (base_) StoreI32LE(base_ + at, v);
  }

 private:
  std::uint8_t* base_;
  std::uint64_t pos_ = 0;
};

// Per segment: what the next inheriting frame takes, and the counts for the directory.
struct SegmentState {
  float lastTime = 0;
  std::int32_t lastNumber = 0;
  std::uint32_t frames = 0;
  std::uint32_t netFrames = 0;
};

struct GameplayDraws;

class Emitter {
 public:
  Emitter(const Demo& demo, Writer& w, Layout& layout)
      : demo_(demo), w_(w), layout_(layout), record_(w.writing() && demo.recordLayout) {}

  void Run();

 private:
  void Header();
  void EmitSegment(std::size_t index);
  void EmitFrame(const Frame& f);
  // Frame header and, for network frames, the fixed part; returns the frame's start.
  std::uint64_t BeginFrame(std::uint8_t type, float time, std::int32_t number, const std::optional<Viewport>& viewport);
  void EndFrame(std::uint64_t start, std::uint8_t type);
  void NetFixedPart(float time, std::int32_t number, const Viewport& vp);
  void PlaceMessage(ByteView bytes, std::string_view tag);
  void EmitGameplay(const Gameplay& g);
  // One tick of gameplay: the frames beside the network frame, then it.
  void EmitTickFrames(GameplayDraws& d, float time, std::int32_t number);
  void EmitTickNetFrame(const Gameplay& g, GameplayDraws& d, float time, std::int32_t number);
  void EmitSimple(const Frame& f, float time, std::int32_t number);
  void Directory();

  const Demo& demo_;
  Writer& w_;
  Layout& layout_;
  bool record_;
  SegmentState seg_;
  std::uint8_t segIndex_ = 0;
};

void Emitter::Run() {
  Header();
  layout_.segments.clear();
  for (std::size_t i = 0; i < demo_.segments.size(); ++i) EmitSegment(i);
  Directory();
}

void Emitter::Header() {
  w_.Text(demo_.signature, kSignatureSize);
  w_.I32(demo_.demoProtocol);
  w_.I32(demo_.networkProtocol);
  w_.Text(demo_.mapName, kHeaderTextSize);
  w_.Text(demo_.gameDir, kHeaderTextSize);
  w_.U32(demo_.mapChecksum);
  w_.I32(0);  // the directory offset, set once the directory is placed
}

bool IsNetFrame(std::uint8_t type) { return type == kFrameNetMsgStart || type == kFrameNetMsg; }

void Emitter::EmitSegment(std::size_t index) {
  const Segment& s = demo_.segments[index];
  seg_ = {};
  segIndex_ = static_cast<std::uint8_t>(index);
  SegmentRecord rec;
  rec.offset = w_.pos();
  if (demo_.autoFraming && s.type != 0) EmitFrame(DemoStartFrame());
  for (const Item& item : s.items) {
    if (const Frame* f = std::get_if<Frame>(&item)) {
      EmitFrame(*f);
    } else {
      EmitGameplay(std::get<Gameplay>(item));
    }
  }
  bool endsWithNextSection = !s.items.empty() && std::holds_alternative<Frame>(s.items.back()) &&
                             std::get<Frame>(s.items.back()).type == kFrameNextSection;
  if (demo_.autoFraming && !endsWithNextSection) EmitFrame(NextSectionFrame());
  rec.length = w_.pos() - rec.offset;
  rec.frames = seg_.frames;
  rec.netFrames = seg_.netFrames;
  rec.lastTime = seg_.lastTime;
  layout_.segments.push_back(rec);
}

std::uint64_t Emitter::BeginFrame(std::uint8_t type, float time, std::int32_t number,
                                  const std::optional<Viewport>& viewport) {
  std::uint64_t start = w_.pos();
  w_.U8(type);
  w_.F32(time);
  w_.I32(number);
  seg_.lastTime = time;
  seg_.lastNumber = number;
  if (IsNetFrame(type)) NetFixedPart(time, number, viewport.value_or(demo_.viewport));
  return start;
}

void Emitter::EndFrame(std::uint64_t start, std::uint8_t type) {
  ++seg_.frames;
  if (IsNetFrame(type)) ++seg_.netFrames;
  if (record_) {
    layout_.frames.push_back({start, static_cast<std::uint32_t>(w_.pos() - start), type, segIndex_});
  }
}

// Exact in every floating-point unit: v / 2^shift for |v| < 2^24.
float Fixed(std::int32_t v, int shift) { return static_cast<float>(v) / static_cast<float>(1 << shift); }

// Where the recording player stands and looks in network frame `number`: a
// walk back and forth and a slow turn, computed without rounding so that the
// bytes are the same whatever the compiler and its floating-point unit.
struct Pose {
  float x, y, z, pitch, yaw, forwardX, forwardY;
};
Pose PoseAt(std::int32_t number) {
  // cos and sin of 0, 22.5, ..., 337.5 degrees.
  static constexpr float kCos[16] = {1.0f,         0.9238795f,  0.70710677f, 0.38268343f, 0.0f,         -0.38268343f,
                                     -0.70710677f, -0.9238795f, -1.0f,       -0.9238795f, -0.70710677f, -0.38268343f,
                                     0.0f,         0.38268343f, 0.70710677f, 0.9238795f};
  std::uint32_t n = static_cast<std::uint32_t>(number);
  std::int32_t walk = static_cast<std::int32_t>(n % 1600);
  std::int32_t tri = walk < 800 ? walk : 1600 - walk;
  std::int32_t yaw8 = static_cast<std::int32_t>((744 + 3 * (n % 960)) % 2880);  // degrees * 8
  std::size_t dir = static_cast<std::size_t>(yaw8 * 16 / 2880);
  return {Fixed(-2240 + tri, 2),
          Fixed(10560 - tri, 2),
          372.0f,
          Fixed(static_cast<std::int32_t>(n % 64) - 32, 3),
          Fixed(yaw8, 3),
          kCos[dir],
          kCos[(dir + 12) % 16]};
}

// The view parameters, user command, movement variables and the rest, with
// values a player's client would record while walking around.
void Emitter::NetFixedPart(float time, std::int32_t number, const Viewport& vp) {
  std::uint8_t* p = w_.Take(kNetMsgFixedSize);
  std::uint64_t viewportAt = w_.pos() - kNetMsgFixedSize + kRefParamsOffset + kViewportInRefParams;
  if (record_) layout_.viewports.push_back(viewportAt);
  if (!p) return;
  const Pose pose = PoseAt(number);
  StoreF32LE(p + 0, time);  // timestamp
  std::uint8_t* ref = p + kRefParamsOffset;
  auto f = [ref](std::size_t index, float v) { StoreF32LE(ref + 4 * index, v); };
  auto i = [ref](std::size_t index, std::int32_t v) { StoreI32LE(ref + 4 * index, v); };
  f(0, pose.x), f(1, pose.y), f(2, pose.z + 17.0f);  // view origin
  f(3, pose.pitch), f(4, pose.yaw);                  // view angles
  f(6, pose.forwardX), f(7, pose.forwardY);          // forward
  f(9, -pose.forwardY), f(10, pose.forwardX);        // right
  f(14, 1.0f);                                       // up
  f(15, 0.015625f), f(16, time);                     // frame time, time
  i(20, 1);                                          // on ground
  f(26, pose.x), f(27, pose.y), f(28, pose.z);       // simulated origin
  f(31, 17.0f);                                      // view height
  f(32, pose.pitch), f(33, pose.yaw);                // client view angles
  i(35, 100);                                        // health
  i(43, 32), i(44, 1), i(46, 900), i(48, 1);         // max clients, view entity, max entities, hardware
  i(52, vp.x), i(53, vp.y), i(54, vp.width), i(55, vp.height);
  std::uint8_t* cmd = ref + kRefParamsSize;
  StoreU16LE(cmd + 0, 100);  // lerp msec
  cmd[2] = 16;               // msec
  StoreF32LE(cmd + 4, pose.pitch), StoreF32LE(cmd + 8, pose.yaw);
  StoreF32LE(cmd + 16, 250.0f);  // forward move
  cmd[28] = 200;                 // light level
  std::uint8_t* mv = cmd + 52;
  static constexpr float kMoveVars[] = {800, 100, 250, 500, 5, 10, 10, 4, 2, 1, 1, 1, 18, 2000, 4096};
  for (std::size_t k = 0; k < std::size(kMoveVars); ++k) StoreF32LE(mv + 4 * k, kMoveVars[k]);
  StoreI32LE(mv + 64, 1);             // footsteps
  std::memcpy(mv + 68, "desert", 7);  // sky name, with its zero
  std::uint8_t* rest = mv + 132;
  StoreF32LE(rest + 0, pose.x), StoreF32LE(rest + 4, pose.y), StoreF32LE(rest + 8, pose.z + 17.0f);  // view
  std::int32_t seq = 1000 + number;
  StoreI32LE(rest + 16, seq), StoreI32LE(rest + 20, seq), StoreI32LE(rest + 24, seq - 1);
}

void Emitter::PlaceMessage(ByteView bytes, std::string_view tag) {
  std::uint64_t at = w_.pos();
  w_.Put(bytes);
  if (record_ && !tag.empty()) {
    layout_.messages.push_back({std::string(tag), at, static_cast<std::uint32_t>(bytes.size())});
  }
}

void Emitter::EmitFrame(const Frame& f) {
  float time = f.time;
  std::int32_t number = f.number;
  if (time == 0 && number == 0) time = seg_.lastTime, number = seg_.lastNumber;
  std::uint64_t start = BeginFrame(f.type, time, number, f.viewport);
  if (IsNetFrame(f.type)) {
    std::uint64_t length = 0;
    for (const Message& m : f.messages) length += m.bytes.size();
    w_.U32(f.lengthField.value_or(static_cast<std::uint32_t>(length)));
    for (const Message& m : f.messages) PlaceMessage(m.bytes, m.tag);
  } else {
    w_.Put(f.payload);
  }
  EndFrame(start, f.type);
}

// ---------------------------------------------------------------------------
// Gameplay filler.

constexpr std::string_view kChatWords[] = {
    "go go",        "rush b",   "nice shot",   "one left, low hp", "save",   "wait for me", "gg", "eco this round",
    "they are mid", "cover me", "need backup", "bomb down",        "rotate", "lol",         "ok"};
constexpr std::string_view kConsoleCommands[] = {"+attack", "-attack", "+reload", "-reload", "+duck",
                                                 "-duck",   "lastinv", "slot1",   "+use",    "-use"};
constexpr std::string_view kSounds[] = {"weapons/ak47-1.wav",  "weapons/m4a1_unsil-1.wav", "player/pl_step1.wav",
                                        "player/pl_step3.wav", "items/gunpickup2.wav",     "weapons/ric_conc-1.wav"};

template <std::size_t N>
std::string_view Pick(Rng& rng, const std::string_view (&list)[N]) {
  return list[rng.Below(static_cast<std::uint32_t>(N))];
}

// n noise bytes.
void Noise(Writer& w, Rng& rng, std::size_t n) {
  std::uint8_t* p = w.Take(n);
  if (!p) return;
  for (std::size_t i = 0; i < n; i += 8) {
    std::uint64_t r = rng.Next();
    for (std::size_t k = 0; k < 8 && i + k < n; ++k) p[i + k] = kScrub[static_cast<std::uint8_t>(r >> (8 * k))];
  }
}

// An entity update's body: per entity an index, an origin of three floats
// and some delta bits, all through the scrub table.
void EntityNoise(Writer& w, Rng& rng, std::size_t n) {
  std::uint8_t* p = w.Take(n);
  if (!p) return;
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    std::uint64_t r = rng.Next();
    StoreU16LE(p + i, static_cast<std::uint16_t>(r & 0x3FF));
    for (int k = 0; k < 3; ++k) {
      StoreF32LE(p + i + 2 + 4 * k, Fixed(static_cast<std::int32_t>((r >> (10 + 16 * k)) & 0xFFFF) - 32768, 3));
    }
    StoreU16LE(p + i + 14, static_cast<std::uint16_t>(rng.Next()));
    for (std::size_t k = 0; k < 16; ++k) p[i + k] = kScrub[p[i + k]];
  }
  std::uint64_t r = rng.Next();
  // The tail takes the bytes of one draw in turn (again from the first after the eighth).
  for (std::size_t k = 0; i < n; ++i, ++k) p[i] = kScrub[static_cast<std::uint8_t>(r >> (8 * k % 64))];
}

// Something that happens `perMinute` times a minute, spread evenly over the
// ticks; counted in whole numbers so that every platform places it alike.
class Rate {
 public:
  Rate(double perMinute, double ticksPerSecond)
      : step_(std::llround(std::max(perMinute, 0.0) * 1000.0)), whole_(std::llround(ticksPerSecond * 60000.0)) {
    acc_ = whole_ / 2;
  }
  int Due() {
    acc_ += step_;
    int n = 0;
    for (; acc_ >= whole_; acc_ -= whole_) ++n;
    return n;
  }

 private:
  long long step_, whole_, acc_;
};

// What a stretch of gameplay draws from, tick by tick. The structure (which
// frames, how long each message, where a fade or a chat goes) is drawn from
// `shape` alike whether the writer writes or counts; the noise bytes come
// from `noise`, drawn only when writing.
struct GameplayDraws {
  GameplayDraws(const Gameplay& g, double tps)
      : shape(g.seed),
        noise(g.seed ^ 0x5EEDF00DCAFEULL),
        fades(g.fadesPerMinute, tps),
        team(g.teamChatsPerMinute, tps),
        all(g.allChatsPerMinute, tps),
        info(g.playerInfoPerMinute, tps),
        commands(30, tps),
        events(90, tps),
        anims(20, tps),
        sounds(12, tps) {}

  struct Placement {
    Bytes bytes;
    const char* tag;
  };
  Rng shape, noise;
  Rate fades, team, all, info, commands, events, anims, sounds;
  std::vector<Placement> placements;  // one tick's, kept for its memory
};

void Emitter::EmitGameplay(const Gameplay& g) {
  const double tps = g.ticksPerSecond > 0 ? g.ticksPerSecond : 64;
  GameplayDraws draws(g, tps);
  const std::uint64_t start = w_.pos();
  const std::uint64_t ticks =
      g.targetBytes ? UINT64_MAX : static_cast<std::uint64_t>(std::llround(std::max(g.seconds, 0.0) * tps));
  const bool continues = seg_.netFrames > 0;  // a tick after the segment's last network frame
  const double baseTime = seg_.lastTime;
  const std::int32_t baseNumber = seg_.lastNumber + (continues ? 1 : 0);
  for (std::uint64_t k = 0; k < ticks; ++k) {
    if (g.targetBytes && w_.pos() - start >= g.targetBytes) break;
    const float time = static_cast<float>(baseTime + static_cast<double>(k + (continues ? 1 : 0)) / tps);
    const std::int32_t number = baseNumber + static_cast<std::int32_t>(k);
    if (!g.hltv) EmitTickFrames(draws, time, number);
    EmitTickNetFrame(g, draws, time, number);
    if (g.hltv) EmitSimple(ClientDataFrame(0, 0, 0, 0, 0), time, number);
  }
}

void Emitter::EmitSimple(const Frame& f, float time, std::int32_t number) {
  std::uint64_t at = BeginFrame(f.type, time, number, std::nullopt);
  w_.Put(f.payload);
  EndFrame(at, f.type);
}

void Emitter::EmitTickFrames(GameplayDraws& d, float time, std::int32_t number) {
  static constexpr std::uint8_t kBuffer[] = {1, 0, 0, 0, 0, 0, 0xB4, 0x42};
  const Pose pose = PoseAt(number);
  EmitSimple(DemoBufferFrame(kBuffer), time, number);
  EmitSimple(ClientDataFrame(pose.x, pose.y, pose.z, pose.pitch, pose.yaw), time, number);
  for (int n = d.commands.Due(); n > 0; --n) {
    EmitSimple(ConsoleCommandFrame(Pick(d.shape, kConsoleCommands)), time, number);
  }
  for (int n = d.events.Due(); n > 0; --n) {
    EmitSimple(EventFrame(static_cast<std::int32_t>(1 + d.shape.Below(40))), time, number);
  }
  for (int n = d.anims.Due(); n > 0; --n) {
    EmitSimple(WeaponAnimFrame(static_cast<std::int32_t>(d.shape.Below(8))), time, number);
  }
  for (int n = d.sounds.Due(); n > 0; --n) {
    auto channel = static_cast<std::int32_t>(d.shape.Below(8));
    EmitSimple(SoundFrame(channel, Pick(d.shape, kSounds)), time, number);
  }
}

// The network frame: the time, the client's data, the entity update (mostly
// small, now and then large, as in a real game), then whatever is placed.
void Emitter::EmitTickNetFrame(const Gameplay& g, GameplayDraws& d, float time, std::int32_t number) {
  const auto playerCount = static_cast<std::uint32_t>(g.players.size());
  auto& placements = d.placements;
  placements.clear();
  for (int n = d.fades.Due(); n > 0; --n) placements.push_back({ScreenFadeMessage(), "fade"});
  for (int n = d.team.Due(); n > 0; --n) {
    std::uint32_t s = d.shape.Below(playerCount);
    bool dead = d.shape.Below(4) == 0;
    placements.push_back({TeamChat(g.players[s], Pick(d.shape, kChatWords), s % 2 == 1, dead), "team_chat"});
  }
  for (int n = d.all.Due(); n > 0; --n) {
    std::uint32_t s = d.shape.Below(playerCount);
    placements.push_back({AllChat(g.players[s], Pick(d.shape, kChatWords)), "all_chat"});
  }
  for (int n = d.info.Due(); n > 0; --n) placements.push_back({PlayerInfoBlock(g.gameDir, g.players), "player_info"});
  std::uint32_t clientBytes = 4 + d.shape.Below(24);
  std::uint32_t entityBytes = d.shape.Below(8) == 0 ? 200 + d.shape.Below(1400) : 8 + d.shape.Below(120);
  std::uint64_t length = 5 + 1 + clientBytes + 1 + entityBytes;
  for (const auto& p : placements) length += p.bytes.size();

  std::uint64_t at = BeginFrame(kFrameNetMsg, time, number, std::nullopt);
  w_.U32(static_cast<std::uint32_t>(length));
  w_.U8(kSvcTime);
  w_.F32(time);
  w_.U8(kSvcClientData);
  Noise(w_, d.noise, clientBytes);
  w_.U8(kSvcDeltaPacketEntities);
  EntityNoise(w_, d.noise, entityBytes);
  for (const auto& p : placements) PlaceMessage(p.bytes, p.tag);
  EndFrame(at, kFrameNetMsg);
}

// ---------------------------------------------------------------------------
// Directory.

void Emitter::Directory() {
  std::vector<DirectoryEntry> entries;
  for (std::size_t i = 0; i < demo_.segments.size(); ++i) {
    const Segment& s = demo_.segments[i];
    const SegmentRecord& r = layout_.segments[i];
    DirectoryEntry e;
    e.type = s.type;
    e.title = s.title;
    e.trackTime = s.type == 0 ? 0.0f : r.lastTime;
    e.frameCount = s.type == 0 ? 0 : static_cast<std::int32_t>(r.netFrames);
    e.offset = static_cast<std::int32_t>(r.offset);
    e.length = static_cast<std::int32_t>(r.length);
    entries.push_back(e);
  }
  const Damage& d = demo_.damage;
  if (d.editEntries) d.editEntries(entries);
  layout_.entryOffsets.clear();
  std::uint64_t dirAt = w_.pos();
  if (!d.noDirectory) {
    layout_.directoryOffset = dirAt;
    w_.I32(d.entryCount.value_or(static_cast<std::int32_t>(entries.size())));
    for (const DirectoryEntry& e : entries) {
      layout_.entryOffsets.push_back(w_.pos());
      w_.I32(e.type);
      w_.Text(e.title.substr(0, kEntryTitleSize - 1), kEntryTitleSize);
      w_.I32(e.flags);
      w_.I32(e.cdTrack);
      w_.F32(e.trackTime);
      w_.I32(e.frameCount);
      w_.I32(e.offset);
      w_.I32(e.length);
    }
  } else {
    layout_.directoryOffset.reset();
  }
  layout_.entries = std::move(entries);
  w_.PatchI32(kDirectoryOffsetOffset, d.directoryOffset.value_or(static_cast<std::int32_t>(dirAt)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages.

Bytes Print(std::string_view text) { return ZeroTerminatedMessage(kSvcPrint, text); }

Bytes BuildAnnouncement(int build) {
  return Print("\x02\nBUILD " + std::to_string(build) + " SERVER (0 CRC)\nServer # 1\n");
}

Bytes StuffText(std::string_view text) { return ZeroTerminatedMessage(kSvcStuffText, text); }

Bytes FullServerInfo(std::string_view gameDir) {
  std::string text = "fullserverinfo \"\\*gamedir\\";
  text.append(gameDir).append("\"\n");
  return StuffText(text);
}

std::string InfoText(const InfoPairs& pairs) {
  std::string s;
  for (const auto& [key, value] : pairs) s.append("\\").append(key).append("\\").append(value);
  return s;
}

Bytes UpdateUserInfoRaw(std::uint8_t slot, std::int32_t userId, std::string_view infoText) {
  // Sized at once: GCC 12 takes the growth of push_back here for a free of a
  // pointer into the block (-Wfree-nonheap-object).
  Bytes out(1 + 1 + 4 + infoText.size() + 1 + kUserInfoHashSize);
  out[0] = kSvcUpdateUserInfo;
  out[1] = slot;
  StoreI32LE(out.data() + 2, userId);
  std::copy(infoText.begin(), infoText.end(), out.begin() + 6);
  out[6 + infoText.size()] = 0;
  Rng hash(static_cast<std::uint64_t>(static_cast<std::uint32_t>(userId)) * 0x100000001B3ULL);
  for (std::size_t i = out.size() - kUserInfoHashSize; i < out.size(); ++i) {
    out[i] = kScrub[static_cast<std::uint8_t>(hash.Next())];
  }
  return out;
}

Bytes UpdateUserInfo(std::uint8_t slot, std::int32_t userId, const InfoPairs& pairs) {
  return UpdateUserInfoRaw(slot, userId, InfoText(pairs));
}

InfoPairs PlayerInfo(std::string_view name, std::int32_t userId) {
  return {{"cl_updaterate", "60"},
          {"cl_lw", "1"},
          {"cl_lc", "1"},
          {"topcolor", std::to_string(30 + userId % 7)},
          {"bottomcolor", std::to_string(6 + userId % 5)},
          {"rate", "25000"},
          {"model", userId % 2 ? "gordon" : "urban"},
          {"name", std::string(name)},
          {"*sid", std::to_string(76561190000000000LL + 104729LL * userId)}};
}

Bytes PlayerInfoBlock(std::string_view gameDir, const std::vector<std::string>& names) {
  Bytes out = FullServerInfo(gameDir);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::int32_t id = static_cast<std::int32_t>(i) + 1;
    Bytes m = UpdateUserInfo(static_cast<std::uint8_t>(i), id, PlayerInfo(names[i], id));
    out.insert(out.end(), m.begin(), m.end());
  }
  return out;
}

Bytes ServerInfoMessage(const ServerInfo& info) {
  Bytes out{kSvcServerInfo};
  AppendI32(out, info.protocol);
  AppendI32(out, 1);           // spawn count
  AppendI32(out, 0x1E5E0E13);  // map CRC
  for (std::size_t i = 0; i < kServerInfoHashSize; ++i) out.push_back(static_cast<std::uint8_t>(0x11 * i + 3));
  out.insert(out.end(), {info.maxPlayers, info.slot, 1});
  for (const std::string* text : {&info.gameDir, &info.hostName, &info.map, &info.mapCycle}) {
    Append(out, *text);
    out.push_back(0);
  }
  out.push_back(0);  // no extra bytes
  return out;
}

Bytes ScreenFadeMessage(const ScreenFade& fade) {
  Bytes out{kMsgScreenFade};
  AppendU16(out, fade.duration);
  AppendU16(out, fade.holdTime);
  AppendU16(out, fade.flags);
  out.insert(out.end(), {fade.red, fade.green, fade.blue, fade.alpha});
  return out;
}

Bytes RegisterGameMessages() {
  Bytes out;
  for (const Bytes& m :
       {NewUserMessage(kUserMsgScreenFade, 10, "ScreenFade"), NewUserMessage(kUserMsgSayText, 255, "SayText"),
        NewUserMessage(kUserMsgTextMsg, 255, "TextMsg"), NewUserMessage(kUserMsgDeathMsg, 255, "DeathMsg"),
        NewUserMessage(kUserMsgTeamScore, 255, "TeamScore")}) {
    out.insert(out.end(), m.begin(), m.end());
  }
  return out;
}

Bytes UserMessage(std::uint8_t id, ByteView payload) {
  const std::size_t length = std::min<std::size_t>(payload.size(), 255);
  // Sized at once: GCC 12 takes the growth of a two-byte vector by insert for
  // a copy out of bounds (-Warray-bounds).
  Bytes out(2 + length);
  out[0] = id;
  out[1] = static_cast<std::uint8_t>(length);
  std::copy_n(payload.begin(), length, out.begin() + 2);
  return out;
}

namespace {

// Texts one after another, each with its zero.
Bytes Texts(std::initializer_list<std::string_view> texts) {
  Bytes out;
  for (std::string_view t : texts) {
    Append(out, t);
    out.push_back(0);
  }
  return out;
}

}  // namespace

Bytes DeathMessage(std::uint8_t killer, std::uint8_t victim, bool headshot, std::string_view weapon) {
  Bytes payload{killer, victim, static_cast<std::uint8_t>(headshot)};
  Append(payload, weapon);
  payload.push_back(0);
  return UserMessage(kUserMsgDeathMsg, payload);
}

Bytes KeyedChat(std::uint8_t sender, std::string_view key, std::string_view name, std::string_view words) {
  Bytes payload{sender};
  const Bytes texts = Texts({key, name, words});
  payload.insert(payload.end(), texts.begin(), texts.end());
  return UserMessage(kUserMsgSayText, payload);
}

Bytes PlainChat(std::uint8_t sender, std::string_view text) {
  Bytes payload{sender};
  Append(payload, text);
  payload.push_back(0);
  return UserMessage(kUserMsgSayText, payload);
}

Bytes TextMessage(std::string_view key, const std::vector<std::string>& arguments) {
  Bytes payload{4};
  Append(payload, key);
  payload.push_back(0);
  for (const std::string& a : arguments) {
    Append(payload, a);
    payload.push_back(0);
  }
  return UserMessage(kUserMsgTextMsg, payload);
}

Bytes TeamScoreMessage(std::string_view team, std::int16_t score) {
  Bytes payload = Texts({team});
  AppendU16(payload, static_cast<std::uint16_t>(score));
  return UserMessage(kUserMsgTeamScore, payload);
}

Bytes ChatMessage(std::string_view text, std::uint8_t sender) {
  text = text.substr(0, kMaxChatTextBytes);
  Bytes out;
  out.reserve(text.size() + 5);
  out.insert(out.end(), {kMsgSayText, static_cast<std::uint8_t>(text.size() + 3), sender, 0x02});
  Append(out, text);
  out.push_back(0);
  return out;
}

Bytes TeamChat(std::string_view name, std::string_view words, bool counterTerrorist, bool dead) {
  std::string text = dead ? "*DEAD*" : "";
  text.append(counterTerrorist ? "(Counter-Terrorist) " : "(Terrorist) ").append(name).append(" : ").append(words);
  return ChatMessage(text);
}

Bytes AllChat(std::string_view name, std::string_view words) {
  std::string text(name);
  text.append(" : ").append(words);
  return ChatMessage(text);
}

Bytes HltvNotice() { return Print("HLTV Demo finished.\n"); }

BitWriter& BitWriter::Bits(std::uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i, ++bits_) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << (bits_ % 8)));
  }
  return *this;
}

BitWriter& BitWriter::Signed(std::int32_t value, unsigned count) {
  Bit(value < 0);
  return Bits(static_cast<std::uint32_t>(value < 0 ? -static_cast<std::int64_t>(value) : value), count - 1);
}

BitWriter& BitWriter::String(std::string_view text) {
  for (char c : text) Bits(static_cast<std::uint8_t>(c), 8);
  return Bits(0, 8);
}

BitWriter& BitWriter::FieldMask(std::uint64_t mask) {
  unsigned bytes = 0;
  while (bytes < 8 && (mask >> (8 * bytes)) != 0) ++bytes;
  Bits(bytes, 3);
  for (unsigned i = 0; i < bytes; ++i) Bits(static_cast<std::uint32_t>((mask >> (8 * i)) & 0xFF), 8);
  return *this;
}

Bytes BitWriter::Finish() const { return bytes_.empty() ? Bytes{0} : bytes_; }

Bytes DeltaDescriptionMessage(std::string_view table, const std::vector<DeltaField>& fields) {
  Bytes out{0x0E};
  out.insert(out.end(), table.begin(), table.end());
  out.push_back(0);
  BitWriter bits;
  bits.Bits(static_cast<std::uint32_t>(fields.size()), 16);
  for (const DeltaField& f : fields) {
    // The description of descriptions: type (32), name (string), offset (16),
    // size (8), width (8), two multipliers (32 each). Type, name and width are sent.
    bits.FieldMask(0b10011).Bits(f.type, 32).String(f.name).Bits(f.bits, 8);
  }
  const Bytes body = bits.Finish();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes NewUserMessage(std::uint8_t id, std::uint8_t size, std::string_view name) {
  Bytes out{0x27, id, size};
  for (std::size_t i = 0; i < 16; ++i) out.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
  return out;
}

Bytes BitMessage(std::uint8_t id, const BitWriter& bits) {
  Bytes out{id};
  const Bytes body = bits.Finish();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes NoiseMessage(std::uint8_t id, std::size_t size, std::uint64_t seed) {
  Bytes out(1 + size);
  out[0] = id;
  Rng rng(seed);
  Writer w(out.data() + 1);
  EntityNoise(w, rng, size);
  return out;
}

// ---------------------------------------------------------------------------
// Frames.

namespace {

Frame PayloadFrame(std::uint8_t type, Bytes payload) {
  Frame f;
  f.type = type;
  f.payload = std::move(payload);
  return f;
}

}  // namespace

Frame NetFrame(std::vector<Message> messages, std::uint8_t type) {
  Frame f;
  f.type = type;
  f.messages = std::move(messages);
  return f;
}

Frame LoadingFrame(std::vector<Message> messages) { return NetFrame(std::move(messages), kFrameNetMsgStart); }

Frame DemoStartFrame() { return PayloadFrame(kFrameDemoStart, {}); }

Frame NextSectionFrame() { return PayloadFrame(kFrameNextSection, {}); }

Frame ConsoleCommandFrame(std::string_view command) {
  Bytes p(kConsoleCommandSize, 0);
  std::memcpy(p.data(), command.data(), std::min(command.size(), kConsoleCommandSize));
  return PayloadFrame(kFrameConsoleCommand, std::move(p));
}

Frame ClientDataFrame(float x, float y, float z, float pitch, float yaw, std::int32_t weaponBits, float fov) {
  Bytes p(kClientDataSize, 0);
  StoreF32LE(&p[0], x), StoreF32LE(&p[4], y), StoreF32LE(&p[8], z);
  StoreF32LE(&p[12], pitch), StoreF32LE(&p[16], yaw);
  StoreI32LE(&p[24], weaponBits);
  StoreF32LE(&p[28], fov);
  return PayloadFrame(kFrameClientData, std::move(p));
}

Frame EventFrame(std::int32_t index, float delay) {
  Bytes p(kEventSize, 0);
  StoreI32LE(&p[4], index);
  StoreF32LE(&p[8], delay);
  StoreI32LE(&p[16], 1);  // the entity that caused it
  return PayloadFrame(kFrameEvent, std::move(p));
}

Frame WeaponAnimFrame(std::int32_t anim, std::int32_t body) {
  Bytes p(kWeaponAnimSize, 0);
  StoreI32LE(&p[0], anim);
  StoreI32LE(&p[4], body);
  return PayloadFrame(kFrameWeaponAnim, std::move(p));
}

Frame SoundFrame(std::int32_t channel, std::string_view sample, float attenuation, float volume, std::int32_t flags,
                 std::int32_t pitch) {
  Bytes p(8 + sample.size() + 16, 0);
  StoreI32LE(&p[0], channel);
  StoreI32LE(&p[4], static_cast<std::int32_t>(sample.size()));
  std::memcpy(&p[8], sample.data(), sample.size());
  std::uint8_t* tail = &p[8 + sample.size()];
  StoreF32LE(tail, attenuation);
  StoreF32LE(tail + 4, volume);
  StoreI32LE(tail + 8, flags);
  StoreI32LE(tail + 12, pitch);
  return PayloadFrame(kFrameSound, std::move(p));
}

Frame DemoBufferFrame(ByteView data) {
  Bytes p(4 + data.size());
  StoreI32LE(&p[0], static_cast<std::int32_t>(data.size()));
  std::copy(data.begin(), data.end(), p.begin() + 4);
  return PayloadFrame(kFrameDemoBuffer, std::move(p));
}

// ---------------------------------------------------------------------------

std::vector<MessageRecord> Layout::Tagged(std::string_view tag) const {
  std::vector<MessageRecord> out;
  for (const MessageRecord& m : messages) {
    if (m.tag == tag) out.push_back(m);
  }
  return out;
}

Built Build(const Demo& demo) {
  Layout scratch;
  Writer counter(nullptr);
  Emitter(demo, counter, scratch).Run();

  Built built;
  built.bytes.resize(static_cast<std::size_t>(counter.pos()));
  Writer writer(built.bytes.data());
  Emitter(demo, writer, built.layout).Run();
  // Both runs draw the same structure; a difference is a fault in this file.
  if (writer.pos() != counter.pos()) std::abort();
  if (demo.damage.truncateTo && *demo.damage.truncateTo < built.bytes.size()) {
    built.bytes.resize(*demo.damage.truncateTo);
  }
  return built;
}

}  // namespace rewindor::builder
