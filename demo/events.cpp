#include "demo/events.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <unordered_map>

#include "demo/demo_format.h"
#include "demo/user_info.h"

namespace rewindor {

namespace {

struct RoundEnd {
  std::string_view key;
  Team winner;
};

// The text messages that end a round, and who won it.
constexpr RoundEnd kRoundEnds[] = {
    {"#Terrorists_Win", Team::kTerrorists},
    {"#CTs_Win", Team::kCounterTerrorists},
    {"#Round_Draw", Team::kNone},
    {"#Target_Bombed", Team::kTerrorists},
    {"#Bomb_Defused", Team::kCounterTerrorists},
    {"#Target_Saved", Team::kCounterTerrorists},
    {"#Hostages_Not_Rescued", Team::kTerrorists},
    {"#All_Hostages_Rescued", Team::kCounterTerrorists},
    {"#VIP_Escaped", Team::kCounterTerrorists},
    {"#VIP_Assassinated", Team::kTerrorists},
    {"#VIP_Not_Escaped", Team::kTerrorists},
    {"#Terrorists_Escaped", Team::kTerrorists},
    {"#CTs_PreventEscape", Team::kCounterTerrorists},
    {"#Escaping_Terrorists_Neutralized", Team::kCounterTerrorists},
    {"#Terrorists_Not_Escaped", Team::kCounterTerrorists},
};

// The plain form's beginnings, after "*DEAD*" for a dead sender.
struct PlainPrefix {
  std::string_view prefix;
  ChatScope scope;
  Team team;
};
constexpr PlainPrefix kPlainPrefixes[] = {
    {"(Terrorist) ", ChatScope::kTeam, Team::kTerrorists},
    {"(Counter-Terrorist) ", ChatScope::kTeam, Team::kCounterTerrorists},
    {"(CT) ", ChatScope::kTeam, Team::kCounterTerrorists},
    {"(Spectator) ", ChatScope::kSpectators, Team::kSpectators},
};
constexpr std::string_view kDeadMark = "*DEAD*";
constexpr std::string_view kNameSeparator = " : ";

std::string_view WithoutLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

Team TeamOfScore(std::string_view name) {
  if (name == "TERRORIST") return Team::kTerrorists;
  if (name == "CT") return Team::kCounterTerrorists;
  return Team::kNone;
}

constexpr std::size_t kNoTally = static_cast<std::size_t>(-1);

// A player slot as the user-info updates last described it.
struct Slot {
  bool used = false;
  std::int32_t userId = 0;
  std::string name;
  std::size_t tally = 0;  // index of the player's tally, or kNoTally
};

class EventReader final : public MessageSink {
 public:
  void OnMessage(const FramePlace& place, const NetMessage& message) override {
    if (message.id == kSvcUpdateUserInfo) return UserInfo(place, message);
    if (message.id < kFirstUserMessage) return;
    const std::string_view name = message.name;
    if (name == kDeathMessageName) return Kill(place, message);
    if (name == kChatMessageName) return Chat(place, message);
    if (name == kTextMessageName) return Text(place, message);
    if (name == kTeamScoreMessageName) return Score(place, message);
    if (name == kScreenFadeMessageName) return Fade(place, message);
  }
  void OnFrameEnd(const FramePlace&, const FrameFailure*) override {}

  DemoEvents Take(DecodeTotals totals) && {
    result_.totals = std::move(totals);
    return std::move(result_);
  }

 private:
  DemoEvent& Add(EventKind kind, const FramePlace& place, const NetMessage& message) {
    DemoEvent& e = result_.events.emplace_back();
    e.kind = kind;
    // LOADING comes before Playback, whose clock starts at 0.
    e.time = place.segment == 0 || place.frame == nullptr ? 0.0f : place.frame->time;
    e.segment = place.segment;
    e.frame = place.index;
    e.offset = message.offset;
    e.round = result_.rounds + 1;
    return e;
  }

  // Entity n is the player in slot n - 1; entity 0 is the world.
  Slot* PlayerOf(std::uint8_t entity) {
    if (entity == 0 || entity > slots_.size()) return nullptr;
    Slot& slot = slots_[entity - 1u];
    return slot.used ? &slot : nullptr;
  }
  std::string NameOf(std::uint8_t entity) {
    const Slot* slot = PlayerOf(entity);
    return slot ? slot->name : std::string();
  }

  void UserInfo(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    const std::uint8_t index = r.U8();
    const std::int32_t userId = r.I32();
    const std::string_view info = r.Text();
    if (!r.ok() || index >= slots_.size()) return;
    Slot& slot = slots_[index];
    const std::string_view name = InfoValue(info, "name");
    if (name.empty()) {  // the player left
      slot.used = false;
      return;
    }
    if (slot.used && slot.userId == userId) {
      if (slot.name != name) {
        DemoEvent& e = Add(EventKind::kName, place, message);
        e.from = slot.name;
        e.to = name;
        slot.name = name;
      }
      if (slot.tally != kNoTally) result_.players[slot.tally].name = slot.name;
      return;
    }
    // An HLTV proxy takes a slot but does not play.
    const bool proxy = !InfoValue(info, "*hltv").empty();
    slot = {true, userId, std::string(name), proxy ? kNoTally : TallyOf(userId, SteamIdOf(info), name)};
  }

  // The player's tally: the one of their Steam ID, or of their connection without one.
  std::size_t TallyOf(std::int32_t userId, std::string_view steamId, std::string_view name) {
    std::string key(steamId);
    if (steamId.empty()) key.append("#").append(std::to_string(userId));
    auto [it, added] = tallies_.try_emplace(std::move(key), result_.players.size());
    if (added) result_.players.push_back({std::string(name), std::string(steamId)});
    result_.players[it->second].name = name;
    return it->second;
  }

  void Kill(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    const std::uint8_t killer = r.U8();
    const std::uint8_t victim = r.U8();
    const bool headshot = r.U8() != 0;
    const std::string_view weapon = r.Text();
    if (!r.ok()) return;
    DemoEvent& e = Add(EventKind::kKill, place, message);
    e.killer = NameOf(killer);
    e.victim = NameOf(victim);
    e.weapon = weapon;
    e.headshot = headshot;
    const Slot* k = PlayerOf(killer);
    const Slot* v = PlayerOf(victim);
    if (k && k->tally == kNoTally) k = nullptr;
    if (v && v->tally == kNoTally) v = nullptr;
    if (v) ++result_.players[v->tally].deaths;
    if (k && k != v) {  // a suicide is no kill
      ++result_.players[k->tally].kills;
      result_.players[k->tally].headshots += headshot;
    }
  }

  void Chat(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    const std::uint8_t sender = r.U8();
    std::string_view first = r.Text();
    if (!r.ok()) return;
    if (!first.empty() && first.front() == '#') return KeyedChat(place, message, sender, first, r);
    PlainChat(place, message, sender, first);
  }

  // "#Cstrike_Chat_CT", then the sender's name (mostly empty: the client
  // takes the sender's) and the words; other keys are notices, not chat.
  void KeyedChat(const FramePlace& place, const NetMessage& message, std::uint8_t sender, std::string_view key,
                 ByteReader& r) {
    const std::optional<ChatKeyMeaning> meaning = ChatKeyOf(key);
    if (!meaning) return;
    const std::string_view name = r.Text();
    const std::string_view words = r.Text();
    DemoEvent& e = Add(EventKind::kChat, place, message);
    e.sender = name.empty() ? NameOf(sender) : std::string(name);
    e.text = WithoutLineEnd(words);
    e.scope = meaning->scope;
    e.team = meaning->team;
    e.dead = meaning->dead;
  }

  // "*DEAD*(Terrorist) name : words", colour bytes anywhere in it.
  void PlainChat(const FramePlace& place, const NetMessage& message, std::uint8_t sender, std::string_view raw) {
    std::string line;
    line.reserve(raw.size());
    for (char c : raw) {
      if (!IsColourByte(c)) line += c;
    }
    std::string_view text = WithoutLineEnd(line);
    DemoEvent& e = Add(EventKind::kChat, place, message);
    if (text.starts_with(kDeadMark)) {
      e.dead = true;
      text.remove_prefix(kDeadMark.size());
    }
    for (const PlainPrefix& p : kPlainPrefixes) {
      if (text.starts_with(p.prefix)) {
        e.scope = p.scope;
        e.team = p.team;
        text.remove_prefix(p.prefix.size());
        break;
      }
    }
    const std::size_t separator = text.find(kNameSeparator);
    std::string_view name;
    if (separator != std::string_view::npos) {
      name = text.substr(0, separator);
      text.remove_prefix(separator + kNameSeparator.size());
      while (text.starts_with(' ')) text.remove_prefix(1);
    }
    e.sender = PlayerOf(sender) ? NameOf(sender) : std::string(name);
    e.text = text;
  }

  void Text(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    r.U8();  // where the client prints it
    const std::string_view key = r.Text();
    if (!r.ok()) return;
    const auto* end =
        std::find_if(std::begin(kRoundEnds), std::end(kRoundEnds), [&](const RoundEnd& k) { return k.key == key; });
    if (end == std::end(kRoundEnds)) return;
    DemoEvent& e = Add(EventKind::kRound, place, message);
    e.result = key;
    e.team = end->winner;
    ++result_.rounds;
  }

  void Score(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    const std::string_view team = r.Text();
    const auto score = static_cast<std::int16_t>(r.U16());
    if (!r.ok()) return;
    DemoEvent& e = Add(EventKind::kScore, place, message);
    e.team = TeamOfScore(team);
    e.score = score;
    if (e.team == Team::kTerrorists) result_.scoreT = score;
    if (e.team == Team::kCounterTerrorists) result_.scoreCT = score;
  }

  void Fade(const FramePlace& place, const NetMessage& message) {
    ByteReader r(message.payload);
    const std::uint16_t duration = r.U16(), hold = r.U16(), flags = r.U16();
    std::array<std::uint8_t, 4> colour{};
    for (std::uint8_t& c : colour) c = r.U8();
    if (!r.ok()) return;
    DemoEvent& e = Add(EventKind::kFade, place, message);
    e.duration = duration;
    e.hold = hold;
    e.flags = flags;
    e.colour = colour;
  }

  DemoEvents result_;
  std::array<Slot, kMaxClients> slots_{};
  std::unordered_map<std::string, std::size_t> tallies_;
};

}  // namespace

std::optional<ChatKeyMeaning> ChatKeyOf(std::string_view key) {
  // The keys after their stem "#Cstrike_Chat"; another ending is a chat line to all.
  constexpr std::string_view kStem = "#Cstrike_Chat";
  struct Known {
    std::string_view suffix;
    ChatKeyMeaning meaning;
  };
  static constexpr Known kKnown[] = {
      {"_CT", {ChatScope::kTeam, Team::kCounterTerrorists, false}},
      {"_T", {ChatScope::kTeam, Team::kTerrorists, false}},
      {"_CT_Dead", {ChatScope::kTeam, Team::kCounterTerrorists, true}},
      {"_T_Dead", {ChatScope::kTeam, Team::kTerrorists, true}},
      {"_CT_Loc", {ChatScope::kTeam, Team::kCounterTerrorists, false}},
      {"_T_Loc", {ChatScope::kTeam, Team::kTerrorists, false}},
      {"_Spec", {ChatScope::kSpectators, Team::kSpectators, false}},
      {"_All", {ChatScope::kAll, Team::kNone, false}},
      {"_AllDead", {ChatScope::kAll, Team::kNone, true}},
      {"_AllSpec", {ChatScope::kAll, Team::kSpectators, false}},
  };
  if (!key.starts_with(kStem)) return std::nullopt;
  const std::string_view suffix = key.substr(kStem.size());
  for (const Known& k : kKnown) {
    if (k.suffix == suffix) return k.meaning;
  }
  return ChatKeyMeaning{};
}

DemoEvents ReadDemoEvents(ByteView image) {
  EventReader reader;
  DecodeTotals totals = DecodeDemoMessages(image, reader);
  return std::move(reader).Take(std::move(totals));
}

ReadOutcome ReadDemoEvents(DemoFile& file, DemoEvents& events, std::size_t window) {
  try {
    EventReader reader;
    DecodeTotals totals;
    if (ReadOutcome read = DecodeDemoMessages(file, reader, totals, window); read != ReadOutcome::kOk) return read;
    events = std::move(reader).Take(std::move(totals));
    return ReadOutcome::kOk;
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kNoMemory;  // not even the window, or more events than memory holds
  }
}

}  // namespace rewindor
