#include "demo/facts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "demo/demo_format.h"
#include "demo/frames.h"
#include "demo/info.h"

namespace rewindor {

namespace {

// Where the server info is looked for, at most this many places whose first
// five bytes match are checked in full: a bound on the cost of hostile bytes.
constexpr int kMaxServerInfoCandidates = 16;

struct ServerInfo {
  int maxPlayers = 0;
  int slot = 0;
  std::string_view host;
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

// The value of `key` in an info string "\key\value\key\value...", or empty.
std::string_view InfoValue(std::string_view info, std::string_view key) {
  std::size_t pos = 0;
  while (pos < info.size() && info[pos] == '\\') {
    const std::size_t valueStart = info.find('\\', pos + 1);
    if (valueStart == std::string_view::npos) return {};
    const std::size_t valueEnd = std::min(info.find('\\', valueStart + 1), info.size());
    if (info.substr(pos + 1, valueStart - pos - 1) == key) return info.substr(valueStart + 1, valueEnd - valueStart - 1);
    pos = valueEnd;
  }
  return {};
}

struct UserInfo {
  int slot = 0;
  std::string_view name;
};

// A user-info update at `at` in a frame's message bytes, checked whole: a
// slot a server can have, an info string that starts with a backslash, ends
// within the engine's limit and names the player, and the hash after it.
std::optional<UserInfo> UserInfoAt(ByteView messages, std::size_t at) {
  constexpr std::size_t kInfoOffset = 6;  // id, slot, user id
  if (messages.size() - at <= kInfoOffset || messages[at + 1] >= kMaxClients ||
      messages[at + kInfoOffset] != '\\') {
    return std::nullopt;
  }
  const std::size_t start = at + kInfoOffset;
  const std::size_t avail = std::min(messages.size() - start, kMaxInfoString);
  const void* zero = std::memchr(messages.data() + start, 0, avail);
  if (zero == nullptr) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - messages.data()) - start;
  if (messages.size() - start - length - 1 < kUserInfoHashSize) return std::nullopt;
  const std::string_view name = InfoValue(TextAt(messages, start, length), "name");
  if (name.empty()) return std::nullopt;
  return UserInfo{messages[at + 1], name};
}

bool Usable(double seconds) { return std::isfinite(seconds) && seconds >= 0; }

}  // namespace

DemoFacts ReadDemoFacts(ByteView image) { return ReadDemoFacts(image, ScanHltv(image)); }

DemoFacts ReadDemoFacts(ByteView image, bool hltv) {
  DemoFacts facts;
  if (image.size() <= kHeaderSize) {
    facts.resolution = DetectResolution(image);
    return facts;
  }
  const std::int32_t protocol = LoadI32LE(image.data() + kNetworkProtocolOffset);

  std::optional<ServerInfo> server;
  int serverCandidates = 0;
  std::vector<UserInfo> users;
  ViewportTally viewports;
  // The Playback run as walked: after the loading segment and the closing
  // frames that may follow it, up to its own closing frame, a loading frame
  // (type 0) or a time that runs backwards (a zero-filled tail shows both).
  std::int64_t playbackFrames = 0;
  float playbackTime = 0;
  bool inPlayback = false, playbackEnded = false;

  const DemoWalk walk = WalkDemo(image, [&](std::size_t segment, const Frame& frame) {
    if (segment > 0 && !playbackEnded && (inPlayback || frame.type != kFrameNextSection)) {
      if (frame.type == kFrameNetMsgStart || (inPlayback && frame.time < playbackTime)) {
        playbackEnded = true;
      } else {
        inPlayback = true;
        playbackTime = frame.time;
        playbackFrames += frame.type == kFrameNetMsg;
        playbackEnded = frame.type == kFrameNextSection;
      }
    }
    if (!frame.IsNetwork()) return;
    viewports.Count(image, frame);
    const ByteView messages = NetworkMessages(image, frame);
    const std::uint8_t* const begin = messages.data();
    const std::uint8_t* const end = begin + messages.size();
    if (!server && segment == 0) {
      for (const std::uint8_t* p = begin; p < end && serverCandidates < kMaxServerInfoCandidates; ++p) {
        p = static_cast<const std::uint8_t*>(std::memchr(p, kSvcServerInfo, static_cast<std::size_t>(end - p)));
        if (p == nullptr) break;
        if (static_cast<std::size_t>(end - p) < 5 || LoadI32LE(p + 1) != protocol) continue;
        ++serverCandidates;
        server = ServerInfoAt(messages, static_cast<std::size_t>(p - begin), protocol);
        if (server) break;
      }
    }
    for (const std::uint8_t* p = begin; p < end; ++p) {
      p = static_cast<const std::uint8_t*>(std::memchr(p, kSvcUpdateUserInfo, static_cast<std::size_t>(end - p)));
      if (p == nullptr) break;
      if (std::optional<UserInfo> user = UserInfoAt(messages, static_cast<std::size_t>(p - begin))) {
        users.push_back(*user);
      }
    }
  });

  facts.resolution = viewports.Result(image, walk);

  // A finished demo: every entry's segment walks to its closing frame (the
  // rule the repair goes by, so the two never disagree).
  facts.finished = IsFinished(image, walk);
  if (facts.finished) {
    const std::vector<DirectoryEntry>& entries = walk.directory->entries;
    const auto playback = std::find_if(entries.begin(), entries.end(),
                                       [](const DirectoryEntry& e) { return e.title == kPlaybackTitle; });
    if (Usable(playback->trackTime)) facts.duration = playback->trackTime;
    if (playback->frameCount >= 0) facts.frames = playback->frameCount;
  }
  if (!facts.finished && inPlayback) {
    if (Usable(playbackTime)) facts.duration = playbackTime;
    facts.frames = playbackFrames;
  }

  const int maxPlayers = server ? server->maxPlayers : kMaxClients;
  if (server) {
    facts.server = std::string(server->host);
    facts.maxPlayers = server->maxPlayers;
  }
  std::unordered_set<std::string_view> seen;
  for (const UserInfo& user : users) {
    if (user.slot >= maxPlayers) continue;
    // The recording player: the first name its slot was given.
    if (server && !hltv && !facts.recorder && user.slot == server->slot) facts.recorder = std::string(user.name);
    if (seen.insert(user.name).second) facts.roster.emplace_back(user.name);
  }
  return facts;
}

std::string PlayingTimeText(double seconds) {
  // A time that is not a number, negative or beyond a few years shows as 0:00.
  const auto whole = seconds >= 0 && seconds < kMaxPlayingSeconds ? static_cast<std::int64_t>(seconds) : 0;
  const std::int64_t s = whole % 60;
  return std::to_string(whole / 60) + ":" + (s < 10 ? "0" : "") + std::to_string(s);
}

}  // namespace rewindor
