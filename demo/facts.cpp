#include "demo/facts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "demo/demo_format.h"
#include "demo/file_window.h"
#include "demo/frames.h"
#include "demo/info.h"
#include "demo/names.h"
#include "demo/net_messages.h"
#include "demo/user_info.h"

namespace rewindor {

namespace {

// Where the server info is looked for, at most this many places whose first
// five bytes match are checked in full: a bound on the cost of hostile bytes.
constexpr int kMaxServerInfoCandidates = 16;

struct ServerInfo {
  int maxPlayers = 0;
  int slot = 0;
  std::string host;  // a copy: the frame's bytes may be let go
};

std::string_view TextAt(ByteView bytes, std::size_t pos, std::size_t length) {
  return {reinterpret_cast<const char*>(bytes.data() + pos), length};
}

// The zero-terminated text at `pos`, moving `pos` past its zero; nothing
// when no zero follows within the bytes.
std::optional<std::string_view> TerminatedText(ByteView bytes, std::size_t& pos) {
  if (pos >= bytes.size()) return std::nullopt;
  const void* zero = std::memchr(bytes.data() + pos, 0, bytes.size() - pos);
  if (zero == nullptr) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data()) - pos;
  std::string_view text = TextAt(bytes, pos, length);
  pos += length + 1;
  return text;
}

// A server-info message at `at` in a frame's message bytes, checked whole:
// the header's network protocol, a slot below max players, the four texts
// and the closing byte(s) within the bytes.
std::optional<ServerInfo> ServerInfoAt(ByteView messages, std::size_t at, std::int32_t protocol) {
  ByteReader r(messages, at);
  if (r.U8() != kSvcServerInfo || r.I32() != protocol) return std::nullopt;
  r.Skip(4 + 4 + kServerInfoHashSize);  // spawn count, map CRC, hash
  ServerInfo info;
  info.maxPlayers = r.U8();
  info.slot = r.U8();
  r.U8();  // deathmatch
  if (!r.ok() || info.maxPlayers < 1 || info.maxPlayers > kMaxClients || info.slot >= info.maxPlayers) {
    return std::nullopt;
  }
  std::size_t pos = r.pos();
  std::optional<std::string_view> gameDir = TerminatedText(messages, pos);
  std::optional<std::string_view> host = gameDir ? TerminatedText(messages, pos) : std::nullopt;
  std::optional<std::string_view> map = host ? TerminatedText(messages, pos) : std::nullopt;
  std::optional<std::string_view> cycle = map ? TerminatedText(messages, pos) : std::nullopt;
  if (!cycle || pos >= messages.size()) return std::nullopt;
  if (messages[pos] != 0 && messages.size() - pos - 1 < kServerInfoExtraSize) return std::nullopt;
  info.host = *host;
  return info;
}

struct UserInfo {
  int slot = 0;
  std::string_view name;
  std::string_view steamId;
};

// A user-info update at `at` in a frame's message bytes, checked whole: a
// slot a server can have, an info string that starts with a backslash, ends
// within the engine's limit and names the player, and the hash after it.
std::optional<UserInfo> UserInfoAt(ByteView messages, std::size_t at) {
  constexpr std::size_t kInfoOffset = 6;  // id, slot, user id
  if (messages.size() - at <= kInfoOffset || messages[at + 1] >= kMaxClients || messages[at + kInfoOffset] != '\\') {
    return std::nullopt;
  }
  const std::size_t start = at + kInfoOffset;
  const std::size_t avail = std::min(messages.size() - start, kMaxInfoString);
  const void* zero = std::memchr(messages.data() + start, 0, avail);
  if (zero == nullptr) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - messages.data()) - start;
  if (messages.size() - start - length - 1 < kUserInfoHashSize) return std::nullopt;
  const std::string_view info = TextAt(messages, start, length);
  const std::string_view name = InfoValue(info, "name");
  if (name.empty()) return std::nullopt;
  return UserInfo{messages[at + 1], name, SteamIdOf(info)};
}

bool Usable(double seconds) { return std::isfinite(seconds) && seconds >= 0; }

// The first server info of the loading segment: looked for in its network
// frames one after another until one is found whole.
class ServerInfoSearch {
 public:
  explicit ServerInfoSearch(std::int32_t protocol) : protocol_(protocol) {}

  void Look(ByteView messages) {
    const std::uint8_t* const begin = messages.data();
    const std::uint8_t* const end = begin + messages.size();
    for (const std::uint8_t* p = begin; !found_ && p < end && candidates_ < kMaxServerInfoCandidates; ++p) {
      p = static_cast<const std::uint8_t*>(std::memchr(p, kSvcServerInfo, static_cast<std::size_t>(end - p)));
      if (p == nullptr) break;
      ByteReader candidate(messages, static_cast<std::size_t>(p - begin) + 1);
      if (candidate.I32() != protocol_ || !candidate.ok()) continue;
      ++candidates_;
      found_ = ServerInfoAt(messages, static_cast<std::size_t>(p - begin), protocol_);
    }
  }
  const std::optional<ServerInfo>& found() const { return found_; }

 private:
  std::int32_t protocol_;
  int candidates_ = 0;
  std::optional<ServerInfo> found_;
};

// Calls found(user) for each user-info update in a frame's message bytes.
template <class Found>
void EachUserInfo(ByteView messages, Found&& found) {
  const std::uint8_t* const begin = messages.data();
  const std::uint8_t* const end = begin + messages.size();
  for (const std::uint8_t* p = begin; p < end; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, kSvcUpdateUserInfo, static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (std::optional<UserInfo> user = UserInfoAt(messages, static_cast<std::size_t>(p - begin))) found(*user);
  }
}

// The players that the user-info updates name, in memory bounded whatever
// their number: the roster and the first name each slot was given.
class Players {
 public:
  // An update for a slot the server (as far as it is known) does not have is no player.
  void Add(const UserInfo& user, int maxPlayers) {
    if (user.slot >= maxPlayers) return;
    std::string& first = firstName_[static_cast<std::size_t>(user.slot)];
    if (first.empty()) first = user.name;  // names are never empty
    roster_.Add(user.name);
    if (user.steamId.empty()) return;
    if (auto known = steamIds_.find(std::string(user.steamId)); known != steamIds_.end()) {
      lastNames_[known->second] = user.name;
    } else if (steamIdOrder_.size() < kMaxListedNames) {
      steamIds_.emplace(user.steamId, steamIdOrder_.size());
      steamIdOrder_.emplace_back(user.steamId);
      lastNames_.emplace_back(user.name);
    }
  }

  // The recording player is the first name its slot was given.
  void Fill(DemoFacts& facts, const std::optional<ServerInfo>& server, bool hltv) const {
    for (std::string_view name : roster_.kept()) facts.roster.emplace_back(name);
    facts.rosterNotListed = roster_.notListed();
    for (std::size_t i = 0; i < steamIdOrder_.size(); ++i) {
      facts.steamIds.push_back({lastNames_[i], steamIdOrder_[i]});
    }
    if (server && !hltv && !firstName_[static_cast<std::size_t>(server->slot)].empty()) {
      facts.recorder = firstName_[static_cast<std::size_t>(server->slot)];
    }
  }

 private:
  NameTally roster_;
  std::array<std::string, kMaxClients> firstName_{};       // copies: the frames' bytes may be let go
  std::unordered_map<std::string, std::size_t> steamIds_;  // to their place in the two below
  std::vector<std::string> steamIdOrder_, lastNames_;
};

// The facts gathered from the frames as the walk visits them.
class FactsWalk {
 public:
  explicit FactsWalk(std::int32_t protocol) : server_(protocol) {}

  void Visit(std::size_t segment, const Frame& frame) {
    if (!frame.IsNetwork()) return;
    viewports_.Count(frame);
    const ByteView messages = NetworkMessages(frame);
    if (segment == 0 && !server_.found()) server_.Look(messages);
    const int maxPlayers = server_.found() ? server_.found()->maxPlayers : kMaxClients;
    EachUserInfo(messages, [&](const UserInfo& user) { players_.Add(user, maxPlayers); });
  }

  // `resolution`: the size records' answer, for a demo of no frame walked.
  DemoFacts Finish(const DemoWalk& walk, bool hltv, std::optional<Resolution> resolution) const {
    DemoFacts facts;
    facts.resolution = walk.frames() > 0 ? viewports_.Walked() : resolution;
    // The Playback run as walked, by the rule the repair goes by: for a
    // finished demo that is what its directory says.
    facts.finished = walk.finished;
    if (const Segment* playback = walk.playback()) {
      if (Usable(playback->last.time)) facts.duration = playback->last.time;
      facts.frames = static_cast<std::int64_t>(playback->networkFrames);
    }
    if (server_.found()) {
      facts.server = server_.found()->host;
      facts.maxPlayers = server_.found()->maxPlayers;
    }
    players_.Fill(facts, server_.found(), hltv);
    return facts;
  }

 private:
  ServerInfoSearch server_;
  Players players_;
  ViewportTally viewports_;
};

// The protocol that a server info must name: the header's.
std::int32_t HeaderProtocol(ByteView header) {
  return ByteReader(header, kNetworkProtocolOffset).I32();  // 0 for a shorter header
}

// Every byte the file window reads goes through the marker scan, and through
// the size-record scan for a demo of no frame to walk.
class ReadingScans final : public StreamScan {
 public:
  ReadingScans(std::size_t size, const NameKeyOf& key) : markers(size, key) {}
  void Scan(ByteView piece, std::size_t base, std::size_t to) override {
    markers.Scan(piece, base, to);
    if (countSizeRecords) sizeRecords.Scan(piece, base, to);
  }

  MarkerScanner markers;
  SizeRecordScan sizeRecords;
  bool countSizeRecords = false;
};

}  // namespace

DemoFacts ReadDemoFacts(ByteView image) { return ReadDemoFacts(image, ScanHltv(image)); }

DemoFacts ReadDemoFacts(ByteView image, bool hltv) {
  FactsWalk walked(HeaderProtocol(image));
  const DemoWalk walk = WalkDemo(image, [&](std::size_t segment, const Frame& frame) { walked.Visit(segment, frame); });
  DemoFacts facts = walked.Finish(walk, hltv, walk.frames() > 0 ? std::nullopt : DetectResolution(image));
  facts.demo = IsUsableDemo(image);
  return facts;
}

DemoReading ReadDemo(ByteView image) {
  DemoReading reading;
  reading.inspection = InspectDemo(image);
  reading.facts = ReadDemoFacts(image, reading.inspection.hltv);
  return reading;
}

namespace {

ReadOutcome ReadThroughWindow(DemoFile& file, std::size_t size, DemoReading& reading, const DemoReadOptions& options) {
  ReadingScans scans(size, options.key);
  FileWindow source(file, size, scans, options.window);
  DemoReading read;
  const ByteView header = source.Bytes(0, kHeaderSize);
  read.inspection.header = DecodeDemoHeader(header);
  const bool usable = IsUsableDemo(header);
  FactsWalk facts(HeaderProtocol(header));
  DemoWalk walk;
  if (options.facts) {
    scans.countSizeRecords = !(size > kHeaderSize && ReadFrame(source, kHeaderSize, size));
    walk = WalkDemo(source, [&](std::size_t segment, const Frame& frame) { facts.Visit(segment, frame); });
  }
  if (!source.Finish()) return ReadOutcome::kShortRead;
  MarkerScan scan = scans.markers.Finish();
  DemoInspection& inspection = read.inspection;
  inspection.hltv = scan.hltv;
  inspection.buildNumber = scan.buildNumber;
  inspection.playerNames = std::move(scan.names);
  inspection.playersNotListed = scan.namesNotListed;
  inspection.engineVersion = EngineVersionText(inspection.buildNumber, inspection.header.networkVersion);
  if (options.facts) read.facts = facts.Finish(walk, scan.hltv, scans.sizeRecords.Result());
  read.facts.demo = usable;
  reading = std::move(read);
  return ReadOutcome::kOk;
}

}  // namespace

ReadOutcome ReadDemo(DemoFile& file, DemoReading& reading, const DemoReadOptions& options) {
  std::size_t size = 0;
  if (ReadOutcome sized = ReadableSize(file, size); sized != ReadOutcome::kOk) return sized;
  try {
    return ReadThroughWindow(file, size, reading, options);
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kNoMemory;  // not even the window
  }
}

std::string PlayingTimeText(double seconds) {
  // A time that is not a number, negative or beyond a few years shows as 0:00.
  const auto whole = seconds >= 0 && seconds < kMaxPlayingSeconds ? static_cast<std::int64_t>(seconds) : 0;
  const std::int64_t s = whole % 60;
  return std::to_string(whole / 60) + ":" + (s < 10 ? "0" : "") + std::to_string(s);
}

}  // namespace rewindor
