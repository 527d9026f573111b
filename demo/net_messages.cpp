#include "demo/net_messages.h"

#include "demo/file_window.h"

#include <array>
#include <cstring>

#include "demo/bit_reader.h"
#include "demo/delta.h"
#include "demo/demo_format.h"

namespace rewindor {

namespace {

// The engine's messages by number.
// Both tables are numbered by their place, in the engine's order, and kept in rows.
// clang-format off
namespace svc {
enum : std::uint8_t {
  kBad, kNop, kDisconnect, kEvent, kVersion, kSetView, kSound, kTime, kPrint, kStuffText, kSetAngle, kServerInfo,
  kLightStyle, kUpdateUserInfo, kDeltaDescription, kClientData, kStopSound, kPings, kParticle, kDamage, kSpawnStatic,
  kEventReliable, kSpawnBaseline, kTempEntity, kSetPause, kSignonNum, kCenterPrint, kKilledMonster, kFoundSecret,
  kSpawnStaticSound, kIntermission, kFinale, kCdTrack, kRestore, kCutscene, kWeaponAnim, kDecalName, kRoomType,
  kAddAngle, kNewUserMsg, kPacketEntities, kDeltaPacketEntities, kChoke, kResourceList, kNewMoveVars,
  kResourceRequest, kCustomization, kCrosshairAngle, kSoundFade, kFileTxferFailed, kHltv, kDirector, kVoiceInit,
  kVoiceData, kSendExtraInfo, kTimeScale, kResourceLocation, kSendCvarValue, kSendCvarValue2,
};
}  // namespace svc

constexpr std::array<std::string_view, kLastEngineMessage + 1> kEngineNames = {
    "svc_bad", "svc_nop", "svc_disconnect", "svc_event", "svc_version", "svc_setview", "svc_sound", "svc_time",
    "svc_print", "svc_stufftext", "svc_setangle", "svc_serverinfo", "svc_lightstyle", "svc_updateuserinfo",
    "svc_deltadescription", "svc_clientdata", "svc_stopsound", "svc_pings", "svc_particle", "svc_damage",
    "svc_spawnstatic", "svc_event_reliable", "svc_spawnbaseline", "svc_temp_entity", "svc_setpause",
    "svc_signonnum", "svc_centerprint", "svc_killedmonster", "svc_foundsecret", "svc_spawnstaticsound",
    "svc_intermission", "svc_finale", "svc_cdtrack", "svc_restore", "svc_cutscene", "svc_weaponanim",
    "svc_decalname", "svc_roomtype", "svc_addangle", "svc_newusermsg", "svc_packetentities",
    "svc_deltapacketentities", "svc_choke", "svc_resourcelist", "svc_newmovevars", "svc_resourcerequest",
    "svc_customization", "svc_crosshairangle", "svc_soundfade", "svc_filetxferfailed", "svc_hltv", "svc_director",
    "svc_voiceinit", "svc_voicedata", "svc_sendextrainfo", "svc_timescale", "svc_resourcelocation",
    "svc_sendcvarvalue", "svc_sendcvarvalue2",
};
// clang-format on

// The payload of the engine messages whose size never changes; -1 for the others.
constexpr std::array<std::int8_t, kLastEngineMessage + 1> kFixedSizes = {
    -1, 0,  -1, -1, 4,  2, -1, 4, -1, -1, 6,  -1, -1, -1, -1, -1, 2,  -1, 11, 0,  -1, -1, -1, -1, 1,  1, -1, 0,  0,  14,
    0,  -1, 2,  -1, -1, 2, -1, 2, 2,  18, -1, -1, 0,  -1, -1, 8,  -1, 2,  4,  -1, -1, -1, -1, -1, -1, 4, -1, -1, -1,
};
// The engine messages that are one zero-terminated string.
constexpr bool IsOneString(std::uint8_t id) {
  return id == svc::kDisconnect || id == svc::kPrint || id == svc::kStuffText || id == svc::kCenterPrint ||
         id == svc::kFinale || id == svc::kCutscene || id == svc::kFileTxferFailed || id == svc::kResourceLocation ||
         id == svc::kSendCvarValue;
}

// A temporary entity's bytes after its type, by type: -1 where they depend
// on what they hold, -2 for a type the engine does not know.
constexpr std::array<std::int8_t, 128> kTempEntitySizes = {
    24, 20, 6,  11, 6,  10, 12, 17, 16, 6,  6,  6,  8,  -1, 9,  19,  // 0-15
    -2, 10, 16, 24, 24, 24, 10, 11, 16, 19, -2, 12, 16, -1, 19, 17,  // 16-31
    -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2,  // 32-47
    -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2,  // 48-63
    -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2,  // 64-79
    -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2,  // 80-95
    -2, -2, -2, 2,  10, 14, 12, 14, 9,  5,  17, 13, 24, 9,  17, 7,   // 96-111
    10, 19, 19, 12, 7,  7,  9,  16, 18, 6,  10, 13, 7,  1,  18, 15,  // 112-127
};
constexpr std::uint8_t kTempEntityBspDecal = 13;
constexpr std::uint8_t kTempEntityTextMessage = 29;
constexpr std::uint8_t kTextMessageFadeInOut = 2;  // the effect that carries an effect time

// Sound flags.
constexpr unsigned kSoundVolume = 1u << 0;
constexpr unsigned kSoundAttenuation = 1u << 1;
constexpr unsigned kSoundLargeIndex = 1u << 2;
constexpr unsigned kSoundPitch = 1u << 3;
// A resource whose hash follows.
constexpr unsigned kResourceCustom = 1u << 2;
// svc_hltv's commands.
constexpr std::uint8_t kHltvActive = 0;
constexpr std::uint8_t kHltvStatus = 1;
constexpr std::uint8_t kHltvListen = 2;
constexpr std::size_t kHltvStatusSize = 18;
// Entity numbers take 11 bits; an entity's baseline type 2 bits; ENTITY_NORMAL is its low bit.
constexpr unsigned kEntityBits = 11;
constexpr int kMaxEntities = 1 << kEntityBits;
constexpr std::uint32_t kBaselinesEnd = 0xFFFF;
constexpr std::int16_t kUnregistered = -2;
constexpr std::int16_t kLengthByte = -1;
constexpr std::size_t kUserMessageNameSize = 16;
constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

// Byte-aligned reads within a frame's block; the first read past its end
// fails and every later one too.
class Cursor {
 public:
  Cursor(ByteView block, std::size_t pos) : block_(block), pos_(pos) {}
  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  void Skip(std::size_t n) {
    if (!ok_ || n > block_.size() - pos_) {
      ok_ = false;
      return;
    }
    pos_ += n;
  }
  std::uint8_t U8() {
    if (!ok_ || pos_ >= block_.size()) {
      ok_ = false;
      return 0;
    }
    return block_[pos_++];
  }
  std::uint16_t U16() {
    const std::uint8_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
  }
  void String() {
    if (!ok_) return;
    const void* zero = std::memchr(block_.data() + pos_, 0, block_.size() - pos_);
    if (zero == nullptr) {
      ok_ = false;
      return;
    }
    pos_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - block_.data()) + 1;
  }
  void Strings(int n) {
    for (int i = 0; i < n && ok_; ++i) String();
  }

 private:
  ByteView block_;
  std::size_t pos_;
  bool ok_ = true;
};

}  // namespace

struct MessageDecoder::State {
  struct UserMessage {
    std::int16_t size = kUnregistered;
    std::uint8_t nameLength = 0;
    std::array<char, kUserMessageNameSize> name{};
  };
  std::array<UserMessage, 256> users{};
  DeltaTables tables;
  int maxClients = kMaxClients;
  unsigned instancedBaselines = 0;
  bool hltv = false;
  std::string error;  // why the last message failed

  std::size_t Decode(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload);
  std::size_t User(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload);
  std::size_t Bytes(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload);
  bool VariableBytes(std::uint8_t id, Cursor& c, std::size_t& payload);
  bool Hltv(Cursor& c);
  std::size_t Bits(std::uint8_t id, ByteView block, std::size_t pos);
  std::size_t ReadDeltaDescription(ByteView block, std::size_t pos);
  std::size_t ServerInfo(ByteView block, std::size_t pos);
  std::size_t NewUserMessage(ByteView block, std::size_t pos);
  std::size_t TempEntity(ByteView block, std::size_t pos);

  bool Delta(BitReader& bits, DeltaTable table);
  bool Event(BitReader& bits);
  bool EventReliable(BitReader& bits);
  bool Sound(BitReader& bits);
  bool ClientData(BitReader& bits);
  bool Pings(BitReader& bits);
  bool SpawnBaseline(BitReader& bits);
  bool PacketEntities(BitReader& bits, bool delta);
  bool ResourceList(BitReader& bits);

  bool IsPlayer(int entity) const { return entity >= 1 && entity <= maxClients; }
  // A beam's table, a player's (entities 1 to the server's players) or any other entity's.
  DeltaTable EntityTable(int entity, bool custom) const {
    if (custom) return DeltaTable::kCustomEntity;
    return IsPlayer(entity) ? DeltaTable::kPlayer : DeltaTable::kEntity;
  }
  bool Fail(std::string why) {
    error = std::move(why);
    return false;
  }
  std::size_t RunsPast(std::string_view name) {
    error = std::string(name) + " runs past the end of the frame's messages";
    return kFailed;
  }
  std::string_view Name(std::uint8_t id) const {
    if (id <= kLastEngineMessage) return kEngineNames[id];
    const UserMessage& u = users[id];
    return {u.name.data(), u.nameLength};
  }
};

MessageDecoder::MessageDecoder() : state_(std::make_unique<State>()) {}
MessageDecoder::~MessageDecoder() = default;

bool MessageDecoder::DecodeFrame(const FramePlace& place, ByteView block, std::size_t blockOffset, MessageSink& sink) {
  State& s = *state_;
  for (std::size_t pos = 0; pos < block.size();) {
    const std::uint8_t id = block[pos];
    std::size_t payload = pos + 1;
    const std::size_t end = s.Decode(id, block, pos + 1, payload);
    if (end == kFailed) {
      const FrameFailure failure{blockOffset + pos, std::move(s.error)};
      sink.OnFrameEnd(place, &failure);
      return false;
    }
    NetMessage message;
    message.id = id;
    message.name = s.Name(id);
    message.offset = blockOffset + pos;
    message.length = end - pos;
    message.payload = block.subspan(payload, end - payload);
    sink.OnMessage(place, message);
    pos = end;
  }
  sink.OnFrameEnd(place, nullptr);
  return true;
}

std::size_t MessageDecoder::State::Decode(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload) {
  if (id >= kFirstUserMessage) return User(id, block, pos, payload);
  if (id > kLastEngineMessage) {
    error = "message number " + std::to_string(id) + " is not a known message";
    return kFailed;
  }
  if (id == svc::kBad) {
    error = "message number 0 (svc_bad) is not a message";
    return kFailed;
  }
  switch (id) {
    case svc::kEvent:
    case svc::kSound:
    case svc::kClientData:
    case svc::kPings:
    case svc::kEventReliable:
    case svc::kSpawnBaseline:
    case svc::kResourceList:
    case svc::kPacketEntities:
    case svc::kDeltaPacketEntities: return Bits(id, block, pos);
    case svc::kDeltaDescription: return ReadDeltaDescription(block, pos);
    case svc::kServerInfo: return ServerInfo(block, pos);
    case svc::kNewUserMsg: return NewUserMessage(block, pos);
    case svc::kTempEntity: return TempEntity(block, pos);
    default: return Bytes(id, block, pos, payload);
  }
}

std::size_t MessageDecoder::State::User(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload) {
  const UserMessage& u = users[id];
  if (u.size == kUnregistered) {
    error = "user message " + std::to_string(id) + " was never registered";
    return kFailed;
  }
  Cursor c(block, pos);
  if (u.size == kLengthByte) {
    const std::uint8_t length = c.U8();
    payload = c.pos();
    c.Skip(length);
  } else {
    c.Skip(static_cast<std::size_t>(u.size));
  }
  return c.ok() ? c.pos() : RunsPast(Name(id));
}

// The engine messages of whole bytes but the few with their own functions.
std::size_t MessageDecoder::State::Bytes(std::uint8_t id, ByteView block, std::size_t pos, std::size_t& payload) {
  Cursor c(block, pos);
  if (kFixedSizes[id] >= 0) {
    c.Skip(static_cast<std::size_t>(kFixedSizes[id]));
  } else if (IsOneString(id)) {
    c.String();
  } else if (!VariableBytes(id, c, payload)) {
    return kFailed;
  }
  return c.ok() ? c.pos() : RunsPast(kEngineNames[id]);
}

// The byte messages whose size depends on what they hold. False, with the
// error set, for a message that cannot be read whatever follows.
bool MessageDecoder::State::VariableBytes(std::uint8_t id, Cursor& c, std::size_t& payload) {
  switch (id) {
    case svc::kLightStyle:
    case svc::kDecalName:
      c.Skip(1);
      c.String();
      break;
    case svc::kUpdateUserInfo:  // slot, user id, info string, hash
      c.Skip(5);
      c.String();
      c.Skip(kUserInfoHashSize);
      break;
    case svc::kSpawnStatic:  // model, sequence, frame, colour map, skin, origin and angles, render mode
      c.Skip(2 + 1 + 1 + 2 + 1 + 3 * (2 + 1));
      if (c.U8() != 0) c.Skip(5);  // render amount, colour, effects
      break;
    case svc::kRestore:  // save name, then a count of map names
      c.String();
      c.Strings(c.U8());
      break;
    case svc::kNewMoveVars:  // 16 floats, footsteps, 8 floats, sky name
      c.Skip(16 * 4 + 1 + 8 * 4);
      c.String();
      break;
    case svc::kCustomization: {  // player, type, name, index, size, flags, then a hash for a custom one
      c.Skip(2);
      c.String();
      c.Skip(2 + 4);
      if (c.U8() & kResourceCustom) c.Skip(16);
      break;
    }
    case svc::kHltv: return Hltv(c);
    case svc::kDirector: {
      const std::uint8_t length = c.U8();
      payload = c.pos();
      c.Skip(length);
      break;
    }
    case svc::kVoiceInit:
    case svc::kSendExtraInfo:
      c.String();
      c.Skip(1);
      break;
    case svc::kVoiceData: {
      c.Skip(1);
      c.Skip(c.U16());
      break;
    }
    case svc::kSendCvarValue2:
      c.Skip(4);
      c.String();
      break;
    default: break;
  }
  return true;
}

// svc_hltv: a command byte, then what that command holds.
bool MessageDecoder::State::Hltv(Cursor& c) {
  const std::uint8_t command = c.U8();
  if (command == kHltvActive) {
    hltv = true;
  } else if (command == kHltvStatus) {
    c.Skip(kHltvStatusSize);
  } else if (command == kHltvListen) {
    c.String();
  } else if (c.ok()) {
    error = "svc_hltv command " + std::to_string(command) + " is not known";
    return false;
  }
  return true;
}

std::size_t MessageDecoder::State::ServerInfo(ByteView block, std::size_t pos) {
  Cursor c(block, pos);
  c.Skip(4 + 4 + 4 + kServerInfoHashSize);  // protocol, spawn count, map CRC, client DLL hash
  const std::uint8_t players = c.U8();
  c.Skip(2);     // the recorder's slot, deathmatch
  c.Strings(4);  // game folder, host name, map, map cycle
  if (c.U8() != 0) {
    c.Skip(c.U8());
    c.Skip(16);
  }
  if (!c.ok()) return RunsPast("svc_serverinfo");
  maxClients = players;
  return c.pos();
}

std::size_t MessageDecoder::State::NewUserMessage(ByteView block, std::size_t pos) {
  Cursor c(block, pos);
  const std::uint8_t id = c.U8();
  const std::uint8_t size = c.U8();
  const std::size_t name = c.pos();
  c.Skip(kUserMessageNameSize);
  if (!c.ok()) return RunsPast("svc_newusermsg");
  if (id < kFirstUserMessage) {
    error = "svc_newusermsg registers number " + std::to_string(id) + ", which is not a user message's";
    return kFailed;
  }
  const auto* nameBytes = reinterpret_cast<const char*>(block.data() + name);
  const void* zero = std::memchr(nameBytes, 0, kUserMessageNameSize);
  const std::size_t nameLength =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - nameBytes) : kUserMessageNameSize;
  if (nameLength == 0) {
    error = "svc_newusermsg registers number " + std::to_string(id) + " without a name";
    return kFailed;
  }
  UserMessage& u = users[id];
  u.size = size == 255 ? kLengthByte : static_cast<std::int16_t>(size);
  std::memcpy(u.name.data(), nameBytes, nameLength);
  u.nameLength = static_cast<std::uint8_t>(nameLength);
  return c.pos();
}

std::size_t MessageDecoder::State::TempEntity(ByteView block, std::size_t pos) {
  Cursor c(block, pos);
  const std::uint8_t type = c.U8();
  if (!c.ok()) return RunsPast("svc_temp_entity");
  const int size = type < kTempEntitySizes.size() ? kTempEntitySizes[type] : -2;
  if (size == -2) {
    error = "svc_temp_entity: temporary entity type " + std::to_string(type) + " is not known";
    return kFailed;
  }
  if (size >= 0) {
    c.Skip(static_cast<std::size_t>(size));
  } else if (type == kTempEntityBspDecal) {  // position, decal, entity, then a model for an entity
    c.Skip(8);
    if (c.U16() != 0) c.Skip(2);
  } else if (type == kTempEntityTextMessage) {  // channel, x, y, effect, colours, fades, hold, the text
    c.Skip(5);
    if (c.U8() == kTextMessageFadeInOut) c.Skip(2);
    c.Skip(14);
    c.String();
  }
  return c.ok() ? c.pos() : RunsPast("svc_temp_entity");
}

std::size_t MessageDecoder::State::ReadDeltaDescription(ByteView block, std::size_t pos) {
  Cursor c(block, pos);
  const std::size_t nameStart = c.pos();
  c.String();
  if (!c.ok()) return RunsPast("svc_deltadescription");
  const std::string_view name(reinterpret_cast<const char*>(block.data() + nameStart), c.pos() - nameStart - 1);
  BitReader bits(block, c.pos());
  const unsigned count = bits.Read(16);
  DeltaDescription* table = tables.Find(name);
  if (table != nullptr && count > kMaxDeltaFields) {
    error = "svc_deltadescription: " + std::string(name) + " has " + std::to_string(count) +
            " fields, more than a table holds (" + std::to_string(kMaxDeltaFields) + ")";
    return kFailed;
  }
  DeltaDescription read;
  read.count = static_cast<std::uint16_t>(count);
  for (unsigned i = 0; i < count && bits.ok(); ++i) {
    const DescribedField field = ReadDescribedField(bits);
    if (table != nullptr) read.widths[i] = DeltaFieldWidth(field.type, field.bits);
  }
  if (!bits.ok() || bits.EndByte() > block.size()) return RunsPast("svc_deltadescription");
  if (table != nullptr) {
    read.received = true;
    *table = read;
  }
  return bits.EndByte();
}

std::size_t MessageDecoder::State::Bits(std::uint8_t id, ByteView block, std::size_t pos) {
  Cursor c(block, pos);
  if (id == svc::kPacketEntities) c.Skip(2);       // the number of entities
  if (id == svc::kDeltaPacketEntities) c.Skip(3);  // that, and the frame it updates
  if (id == svc::kClientData && hltv) return pos;  // an HLTV proxy's client data is empty
  if (!c.ok()) return RunsPast(kEngineNames[id]);
  BitReader bits(block, c.pos());
  bool read = true;
  switch (id) {
    case svc::kEvent: read = Event(bits); break;
    case svc::kSound: read = Sound(bits); break;
    case svc::kClientData: read = ClientData(bits); break;
    case svc::kPings: read = Pings(bits); break;
    case svc::kEventReliable: read = EventReliable(bits); break;
    case svc::kSpawnBaseline: read = SpawnBaseline(bits); break;
    case svc::kResourceList: read = ResourceList(bits); break;
    case svc::kPacketEntities: read = PacketEntities(bits, false); break;
    default: read = PacketEntities(bits, true); break;
  }
  if (!read && bits.ok()) {
    error = std::string(kEngineNames[id]) + ": " + error;
    return kFailed;
  }
  if (!bits.ok() || bits.EndByte() > block.size()) return RunsPast(kEngineNames[id]);
  return bits.EndByte();
}

bool MessageDecoder::State::Delta(BitReader& bits, DeltaTable table) {
  const DeltaDescription& d = tables.Get(table);
  if (!d.received) return Fail("no delta description " + std::string(DeltaTableName(table)) + " came before it");
  unsigned badField = 0;
  if (SkipDelta(bits, d, badField)) return true;
  if (!bits.ok()) return false;
  return Fail("a delta of " + std::string(DeltaTableName(table)) + ": its field " + std::to_string(badField) +
              " has no readable type");
}

bool MessageDecoder::State::Event(BitReader& bits) {
  const unsigned count = bits.Read(5);
  for (unsigned i = 0; i < count && bits.ok(); ++i) {
    bits.Skip(10);  // the event's index
    if (bits.ReadBit()) {
      bits.Skip(11);  // the entity's place in the packet
      if (bits.ReadBit() && !Delta(bits, DeltaTable::kEvent)) return false;
    }
    if (bits.ReadBit()) bits.Skip(16);  // the delay
  }
  return bits.ok();
}

bool MessageDecoder::State::EventReliable(BitReader& bits) {
  bits.Skip(10);
  if (!Delta(bits, DeltaTable::kEvent)) return false;
  if (bits.ReadBit()) bits.Skip(16);
  return bits.ok();
}

bool MessageDecoder::State::Sound(BitReader& bits) {
  const unsigned flags = bits.Read(9);
  if (flags & kSoundVolume) bits.Skip(8);
  if (flags & kSoundAttenuation) bits.Skip(8);
  bits.Skip(3 + kEntityBits);  // channel, entity
  bits.Skip(flags & kSoundLargeIndex ? 16 : 8);
  bits.SkipVec3Coord();
  if (flags & kSoundPitch) bits.Skip(8);
  return bits.ok();
}

bool MessageDecoder::State::ClientData(BitReader& bits) {
  if (bits.ReadBit()) bits.Skip(8);  // the frame it updates
  if (!Delta(bits, DeltaTable::kClientData)) return false;
  while (bits.ReadBit()) {
    bits.Skip(6);  // the weapon's number
    if (!Delta(bits, DeltaTable::kWeaponData)) return false;
  }
  return bits.ok();
}

bool MessageDecoder::State::Pings(BitReader& bits) {
  while (bits.ReadBit()) bits.Skip(5 + 12 + 7);  // slot, ping, loss
  return bits.ok();
}

bool MessageDecoder::State::SpawnBaseline(BitReader& bits) {
  while (bits.ok() && bits.Peek(16) != kBaselinesEnd) {
    const int entity = static_cast<int>(bits.Read(kEntityBits));
    const unsigned type = bits.Read(2);
    const bool custom = (type & 1) == 0;
    if (!Delta(bits, EntityTable(entity, custom))) return false;
  }
  bits.Skip(16);
  instancedBaselines = bits.Read(6);
  for (unsigned i = 0; i < instancedBaselines && bits.ok(); ++i) {
    if (!Delta(bits, DeltaTable::kEntity)) return false;
  }
  return bits.ok();
}

// The entities of a frame, each after its header: how its number follows the
// one before, whether it is removed, its kind and the baseline it starts from.
bool MessageDecoder::State::PacketEntities(BitReader& bits, bool delta) {
  int entity = 0;
  while (bits.ok() && bits.Peek(16) != 0) {
    bool remove = false;
    if (delta) {
      remove = bits.ReadBit();
      entity = bits.ReadBit() ? static_cast<int>(bits.Read(kEntityBits)) : entity + static_cast<int>(bits.Read(6));
    } else if (bits.ReadBit()) {
      entity += 1;
    } else {
      entity = bits.ReadBit() ? static_cast<int>(bits.Read(kEntityBits)) : entity + static_cast<int>(bits.Read(6));
    }
    if (entity >= kMaxEntities) return Fail("entity number " + std::to_string(entity) + " is out of range");
    if (remove) continue;
    const bool custom = bits.ReadBit();
    bool instanced = false;
    if (instancedBaselines != 0 && (instanced = bits.ReadBit())) {
      const unsigned baseline = bits.Read(6);
      if (bits.ok() && baseline >= instancedBaselines) {
        return Fail("instanced baseline " + std::to_string(baseline) + " is out of range (" +
                    std::to_string(instancedBaselines) + " were sent)");
      }
    }
    if (!delta && !instanced && bits.ReadBit()) bits.Skip(6);  // an earlier entity of this packet to start from
    if (!Delta(bits, EntityTable(entity, custom))) return false;
  }
  bits.Skip(16);
  return bits.ok();
}

bool MessageDecoder::State::ResourceList(BitReader& bits) {
  const unsigned count = bits.Read(12);
  for (unsigned i = 0; i < count && bits.ok(); ++i) {
    bits.Skip(4);  // type
    bits.SkipString();
    bits.Skip(12 + 24);  // index, download size
    if (bits.Read(3) & kResourceCustom) bits.Skip(16 * 8);
    if (bits.ReadBit()) bits.Skip(32 * 8);  // reserved bytes
  }
  if (bits.ReadBit()) {  // the resources whose consistency the server checks
    while (bits.ReadBit()) bits.Skip(bits.ReadBit() ? 5 : 10);
  }
  return bits.ok();
}

std::string MessagesNotDecoded(ByteView image) {
  if (image.size() < kHeaderSize || !HasDemoSignature(image)) return "not a demo: its messages are not decoded";
  const std::int32_t demo = ByteReader(image, kDemoProtocolOffset).I32();
  const std::int32_t network = ByteReader(image, kNetworkProtocolOffset).I32();
  if (demo == kHeaderDemoProtocol && (network == 47 || network == 48)) return {};
  return "demo protocol " + std::to_string(demo) + ", network protocol " + std::to_string(network) +
         ": messages are decoded only in demos of demo protocol 5 and network protocol 47 or 48";
}

namespace {

// Every network frame of the demo that `source` reads (frames.h), decoded in
// the order the walk finds them.
template <FrameSource Source>
DecodeTotals DecodeThrough(Source& source, MessageSink& sink) {
  DecodeTotals totals;
  totals.notDecoded = MessagesNotDecoded(source.Bytes(0, kHeaderSize));
  if (!totals.notDecoded.empty()) return totals;
  MessageDecoder decoder;
  std::size_t segment = static_cast<std::size_t>(-1);
  std::size_t index = 0;
  WalkDemo(source, [&](std::size_t s, const Frame& frame) {
    if (s != segment) {
      segment = s;
      index = 0;
    }
    if (frame.IsNetwork()) {
      const FramePlace place{segment, index, &frame};
      const bool decoded = decoder.DecodeFrame(place, NetworkMessages(frame), frame.offset + kNetMsgDataOffset, sink);
      ++totals.frames;
      ++(decoded ? totals.decoded : totals.failed);
    }
    ++index;
  });
  return totals;
}

// The decoder needs no byte beyond the frames it walks.
class NoScan final : public StreamScan {
 public:
  void Scan(ByteView, std::size_t, std::size_t) override {}
};

}  // namespace

DecodeTotals DecodeDemoMessages(ByteView image, MessageSink& sink) {
  ImageSource source(image);
  return DecodeThrough(source, sink);
}

ReadOutcome DecodeDemoMessages(DemoFile& file, MessageSink& sink, DecodeTotals& totals, std::size_t window) {
  std::size_t size = 0;
  if (ReadOutcome sized = ReadableSize(file, size); sized != ReadOutcome::kOk) return sized;
  NoScan scan;
  FileWindow source(file, size, scan, window);
  DecodeTotals decoded = DecodeThrough(source, sink);
  if (!source.ok()) return ReadOutcome::kShortRead;
  totals = std::move(decoded);
  return ReadOutcome::kOk;
}

}  // namespace rewindor
