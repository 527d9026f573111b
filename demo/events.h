// What happened in a demo: kills, chat, round ends, team scores, screen fades
// and name changes, each where its message stands, read from the decoded
// network messages, with the players' names as they were at that moment.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/bytes.h"
#include "demo/net_messages.h"

namespace rewindor {

enum class EventKind : std::uint8_t { kKill, kChat, kRound, kScore, kFade, kName };
enum class ChatScope : std::uint8_t { kAll, kTeam, kSpectators };
enum class Team : std::uint8_t { kNone, kTerrorists, kCounterTerrorists, kSpectators };

// One event. Only the fields of its kind are set.
struct DemoEvent {
  EventKind kind = EventKind::kKill;
  float time = 0;           // seconds since Playback began (its frame's time; 0 before Playback)
  std::size_t segment = 0;  // the frame's place, as the message listing gives it
  std::size_t frame = 0;
  std::size_t offset = 0;  // in the file, of the message's number byte
  int round = 1;           // the round it falls in: round ends before it, plus one

  // kKill: world kills have an empty killer.
  std::string killer{}, victim{}, weapon{};
  bool headshot = false;
  // kChat: the sender, the scope, the sender's team where the key tells it,
  // whether the sender was dead, and the words.
  std::string sender{};
  ChatScope scope = ChatScope::kAll;
  bool dead = false;
  std::string text{};
  // kChat: the sender's team; kRound: the winner; kScore: the team.
  Team team = Team::kNone;
  // kRound: the key, for example "#Terrorists_Win"; the round's number is `round`.
  std::string result{};
  // kScore
  int score = 0;
  // kFade: raw 16-bit duration and hold as the message holds them.
  std::uint16_t duration = 0, hold = 0, flags = 0;
  std::array<std::uint8_t, 4> colour{};  // red, green, blue, alpha
  // kName
  std::string from{}, to{};
};

// One player's tally over the demo, by Steam ID where there is one.
struct PlayerTally {
  std::string name;     // the last name the player had
  std::string steamId;  // empty when none (0, a bot)
  int kills = 0, deaths = 0, headshots = 0;
};

struct DemoEvents {
  std::vector<DemoEvent> events;  // in file order
  int rounds = 0;                 // round ends
  int scoreT = 0, scoreCT = 0;    // the last team scores
  std::vector<PlayerTally> players;
  DecodeTotals totals;  // of the decoding the events come from
};

// Reads the events of a demo from its decoded messages.
DemoEvents ReadDemoEvents(ByteView image);
// The same from an opened demo, read once, front to back, through a window of
// fixed size (DecodeDemoMessages): the memory held grows with the events, not
// with the demo. The outcome tells which step failed, as ReadWhole's does;
// `events` is then left untouched.
ReadOutcome ReadDemoEvents(DemoFile& file, DemoEvents& events, std::size_t window = kFileWindowSize);

// The game's user messages that the events come from, by their registered names.
inline constexpr std::string_view kDeathMessageName = "DeathMsg";
inline constexpr std::string_view kChatMessageName = "SayText";
inline constexpr std::string_view kTextMessageName = "TextMsg";
inline constexpr std::string_view kTeamScoreMessageName = "TeamScore";
inline constexpr std::string_view kScreenFadeMessageName = "ScreenFade";
// A screen fade's flag that fades the screen out (to its colour); the others
// fade back in from it.
inline constexpr std::uint16_t kFadeOutFlag = 1;

// What a chat line's format key ("#Cstrike_Chat_CT_Dead") says of it; none
// for a key that is not a chat key.
struct ChatKeyMeaning {
  ChatScope scope = ChatScope::kAll;
  Team team = Team::kNone;  // the sender's
  bool dead = false;
};
std::optional<ChatKeyMeaning> ChatKeyOf(std::string_view key);

// The colour bytes (1 to 4) that may stand in a chat text, before it or within it.
inline bool IsColourByte(char c) { return c >= 1 && c <= 4; }

}  // namespace rewindor
