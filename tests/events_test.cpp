// The events of a demo: built frames read event by event, the players' names
// as they were at each moment, hostile payloads, and the real recordings.
#include "demo/events.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "cli/events_output.h"
#include "tests/support/corpus.h"
#include "tests/support/memory_demo.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

b::InfoPairs Bot(std::string_view name) { return {{"name", std::string(name)}, {"*bot", "1"}, {"*sid", "0"}}; }

// Alice (slot 0, entity 1), Bob (slot 1, entity 2) and the bot Carl (slot 2,
// entity 3), registered in LOADING; the play's frames follow.
b::Built BuildGame(std::vector<b::Item> play) {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::ServerInfoMessage(), b::RegisterGameMessages(),
                                                  b::UpdateUserInfo(0, 1, b::PlayerInfo("Alice", 1)),
                                                  b::UpdateUserInfo(1, 2, b::PlayerInfo("Bob", 2)),
                                                  b::UpdateUserInfo(2, 3, Bot("Carl"))}));
  demo.playback().items.insert(demo.playback().items.end(), std::make_move_iterator(play.begin()),
                               std::make_move_iterator(play.end()));
  return b::Build(demo);
}

b::Frame At(float time, std::vector<b::Message> messages) {
  b::Frame f = b::NetFrame(std::move(messages));
  f.time = time;
  f.number = static_cast<std::int32_t>(time * 10);
  return f;
}

const std::string kAliceId = "76561190000104729", kBobId = "76561190000209458";

TEST(Events, EachKindFromBuiltFramesWithTheNamesOfTheirMoment) {
  const b::Built built = BuildGame({
      At(31.5f, {{b::DeathMessage(2, 1, true, "ak47"), "kill"},
                 {b::TextMessage("#Terrorists_Win"), "round"},
                 {b::TeamScoreMessage("TERRORIST", 1), "scoreT"},
                 {b::TeamScoreMessage("CT", 0), "scoreCT"}}),
      At(50, {{b::KeyedChat(1, "#Cstrike_Chat_T_Dead", "", "nice\n"), "keyed"},
              {b::PlainChat(2, "\x02*DEAD*(Counter-Terrorist) Bob :  hello\n"), "plain"},
              {b::UpdateUserInfo(1, 2, b::PlayerInfo("Bobby", 2)), "rename"},
              {b::DeathMessage(0, 2, false, "worldspawn"), "world"},
              {b::DeathMessage(3, 1, false, "m4a1"), "bot"},
              {b::DeathMessage(1, 1, false, "grenade"), "suicide"},
              {b::ScreenFadeMessage({.duration = 0x0C00, .holdTime = 0x2A0, .flags = 1}), "fade"},
              {b::TextMessage("#Target_Saved"), "round2"},
              {b::KeyedChat(3, "#Cstrike_Chat_AllSpec", "", "gg"), "spectator"},
              {b::PlainChat(0, "Dan : restart"), "console"}}),
  });
  const DemoEvents got = ReadDemoEvents(built.bytes);
  ASSERT_EQ(got.totals.failed, 0u);
  ASSERT_EQ(got.events.size(), 14u);

  std::size_t at = 0;
  auto next = [&](std::string_view tag, EventKind kind, float time, int round) -> const DemoEvent& {
    const DemoEvent& e = got.events.at(at++);
    EXPECT_EQ(e.offset, built.layout.Tagged(tag).at(0).offset) << tag;
    EXPECT_EQ(e.kind, kind) << tag;
    EXPECT_EQ(e.time, time) << tag;
    EXPECT_EQ(e.segment, 1u) << tag;
    EXPECT_EQ(e.round, round) << tag;
    return e;
  };
  using Kill = std::tuple<std::string, std::string, std::string, bool>;
  auto kill = [](const DemoEvent& e) { return Kill{e.killer, e.victim, e.weapon, e.headshot}; };
  using Chat = std::tuple<std::string, ChatScope, Team, bool, std::string>;
  auto chat = [](const DemoEvent& e) { return Chat{e.sender, e.scope, e.team, e.dead, e.text}; };

  EXPECT_EQ(kill(next("kill", EventKind::kKill, 31.5f, 1)), (Kill{"Bob", "Alice", "ak47", true}));
  const DemoEvent& round = next("round", EventKind::kRound, 31.5f, 1);
  EXPECT_EQ(std::tie(round.result, round.team), std::tuple("#Terrorists_Win", Team::kTerrorists));
  const DemoEvent& scoreT = next("scoreT", EventKind::kScore, 31.5f, 2);
  EXPECT_EQ(std::tie(scoreT.team, scoreT.score), std::tuple(Team::kTerrorists, 1));
  const DemoEvent& scoreCT = next("scoreCT", EventKind::kScore, 31.5f, 2);
  EXPECT_EQ(std::tie(scoreCT.team, scoreCT.score), std::tuple(Team::kCounterTerrorists, 0));
  // The key's name argument is empty: the sender's entity names them.
  EXPECT_EQ(chat(next("keyed", EventKind::kChat, 50, 2)),
            (Chat{"Alice", ChatScope::kTeam, Team::kTerrorists, true, "nice"}));
  EXPECT_EQ(chat(next("plain", EventKind::kChat, 50, 2)),
            (Chat{"Bob", ChatScope::kTeam, Team::kCounterTerrorists, true, "hello"}));
  const DemoEvent& rename = next("rename", EventKind::kName, 50, 2);
  EXPECT_EQ(std::tie(rename.from, rename.to), std::tuple("Bob", "Bobby"));
  EXPECT_EQ(kill(next("world", EventKind::kKill, 50, 2)), (Kill{"", "Bobby", "worldspawn", false}));
  EXPECT_EQ(kill(next("bot", EventKind::kKill, 50, 2)), (Kill{"Carl", "Alice", "m4a1", false}));
  EXPECT_EQ(kill(next("suicide", EventKind::kKill, 50, 2)), (Kill{"Alice", "Alice", "grenade", false}));
  const DemoEvent& fade = next("fade", EventKind::kFade, 50, 2);
  EXPECT_EQ(std::tie(fade.duration, fade.hold, fade.flags), std::tuple(0x0C00, 0x2A0, 1));
  EXPECT_EQ(fade.colour, (std::array<std::uint8_t, 4>{0, 0, 0, 255}));
  const DemoEvent& saved = next("round2", EventKind::kRound, 50, 2);
  EXPECT_EQ(std::tie(saved.result, saved.team), std::tuple("#Target_Saved", Team::kCounterTerrorists));
  EXPECT_EQ(chat(next("spectator", EventKind::kChat, 50, 3)),
            (Chat{"Carl", ChatScope::kAll, Team::kSpectators, false, "gg"}));
  // No player's entity: the name comes from the text.
  EXPECT_EQ(chat(next("console", EventKind::kChat, 50, 3)),
            (Chat{"Dan", ChatScope::kAll, Team::kNone, false, "restart"}));

  EXPECT_EQ(got.rounds, 2);
  EXPECT_EQ(std::tie(got.scoreT, got.scoreCT), std::tuple(1, 0));
  using Tally = std::tuple<std::string, std::string, int, int, int>;
  std::vector<Tally> players;
  for (const PlayerTally& p : got.players) players.emplace_back(p.name, p.steamId, p.kills, p.deaths, p.headshots);
  EXPECT_EQ(players, (std::vector<Tally>{{"Alice", kAliceId, 0, 3, 0},  // the suicide is a death, no kill
                                          {"Bobby", kBobId, 1, 1, 1},
                                          {"Carl", "", 1, 0, 0}}));
}

TEST(Events, ASlotTakenByAnotherPlayerIsNoNameChangeAndTheTallyFollowsTheSteamId) {
  const b::Built built = BuildGame({
      At(5, {b::UpdateUserInfo(1, 2, {{"name", ""}}),                      // Bob leaves
             b::UpdateUserInfo(1, 7, b::PlayerInfo("Dave", 7)),           // Dave takes his slot
             b::DeathMessage(2, 1, false, "usp"),                          // Dave kills Alice
             b::UpdateUserInfo(1, 9, {{"name", "Bob again"}, {"*sid", kBobId}}),  // Bob is back
             b::DeathMessage(2, 1, false, "usp"),
             b::DeathMessage(40, 0, false, "usp"),  // no such entities
             b::UpdateUserInfo(5, 30, {{"name", "HLTV Proxy"}, {"*hltv", "1"}})}),  // no player
  });
  const DemoEvents got = ReadDemoEvents(built.bytes);
  std::vector<std::tuple<EventKind, std::string, std::string>> kills;
  for (const DemoEvent& e : got.events) kills.emplace_back(e.kind, e.killer, e.victim);
  EXPECT_EQ(kills, (decltype(kills){{EventKind::kKill, "Dave", "Alice"}, {EventKind::kKill, "Bob again", "Alice"},
                                    {EventKind::kKill, "", ""}}));
  ASSERT_EQ(got.players.size(), 4u);
  EXPECT_EQ(std::tie(got.players[1].name, got.players[1].steamId, got.players[1].kills),
            std::tuple("Bob again", kBobId, 1));
  EXPECT_EQ(std::tie(got.players[3].name, got.players[3].kills), std::tuple("Dave", 1));
}

// Payloads cut short or never ended: no event, or one with what is there,
// and never a read past the message.
TEST(Events, ShortPayloadsGiveNoEvent) {
  const b::Built built = BuildGame({
      At(1, {b::UserMessage(b::kUserMsgDeathMsg, AsBytes("\x01")),       // killer only
             b::UserMessage(b::kUserMsgTeamScore, AsBytes(std::string_view("CT\0\x05", 4))),  // half a score
             b::UserMessage(b::kUserMsgSayText, {}),                     // nothing at all
             b::UserMessage(b::kUserMsgTextMsg, AsBytes(std::string_view("\x04#CTs_Win", 9))),  // no zero
             b::UserMessage(b::kUserMsgSayText, AsBytes(std::string_view("\x01#Cstrike_Chat_CT", 18)))}),
  });
  const DemoEvents got = ReadDemoEvents(built.bytes);
  ASSERT_EQ(got.totals.failed, 0u);
  ASSERT_EQ(got.events.size(), 2u);
  // A text that runs to the payload's end ends there, as the game reads it.
  EXPECT_EQ(got.events[0].result, "#CTs_Win");
  EXPECT_EQ(std::tie(got.events[1].sender, got.events[1].scope, got.events[1].text),
            std::tuple("Alice", ChatScope::kTeam, ""));
}

TEST(Events, ChatKeys) {
  struct Case {
    std::string_view key;
    std::optional<std::tuple<ChatScope, Team, bool>> meaning;
  };
  const Case cases[] = {
      {"#Cstrike_Chat_CT", std::tuple(ChatScope::kTeam, Team::kCounterTerrorists, false)},
      {"#Cstrike_Chat_T_Dead", std::tuple(ChatScope::kTeam, Team::kTerrorists, true)},
      {"#Cstrike_Chat_T_Loc", std::tuple(ChatScope::kTeam, Team::kTerrorists, false)},
      {"#Cstrike_Chat_Spec", std::tuple(ChatScope::kSpectators, Team::kSpectators, false)},
      {"#Cstrike_Chat_AllDead", std::tuple(ChatScope::kAll, Team::kNone, true)},
      {"#Cstrike_Chat_Someday", std::tuple(ChatScope::kAll, Team::kNone, false)},
      {"#Cstrike_Name_Change", std::nullopt},
      {"Cstrike_Chat_CT", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<ChatKeyMeaning> got = ChatKeyOf(c.key);
    EXPECT_EQ(got ? std::optional(std::tuple(got->scope, got->team, got->dead)) : std::nullopt, c.meaning) << c.key;
  }
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// What the recordings hold, checked by hand against their bytes.
TEST(Events, RealRecordings) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  const DemoEvents assault = ReadDemoEvents(ReadFile(corpus / "cs-client-cs_assault.dem"));
  EXPECT_EQ(assault.rounds, 1);
  const DemoEvents renamed = ReadDemoEvents(ReadFile(corpus / "public-servers" / "cs-client-de_dust2-namechange.dem"));
  bool renameSeen = false;
  for (const DemoEvent& e : renamed.events) renameSeen |= e.kind == EventKind::kName;
  EXPECT_TRUE(renameSeen);
  for (const std::filesystem::path& dir : {corpus, corpus / "public-servers"}) {
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
      if (file.path().extension() != ".dem") continue;
      SCOPED_TRACE(file.path().filename().string());
      const DemoEvents got = ReadDemoEvents(ReadFile(file.path()));
      for (std::size_t i = 1; i < got.events.size(); ++i) EXPECT_LT(got.events[i - 1].offset, got.events[i].offset);
    }
  }
}

// Through a 4 KiB window the events print as those of the whole image, also
// of a file that is no demo or of an older protocol; a failed read leaves them be.
TEST(Events, ThroughAWindowTheSameAsFromTheWholeImage) {
  const auto printed = [](const DemoEvents& d) {
    std::string all = cli::EventsSummaryJson("", d) + d.totals.notDecoded + std::to_string(d.totals.decoded);
    for (const DemoEvent& e : d.events) all += cli::EventJson("", e);
    return all;
  };
  Bytes older = BuildGame({At(1, {{b::DeathMessage(2, 1, true, "ak47"), "kill"}})}).bytes;
  std::vector<Bytes> demos{older, Bytes(100, 'x')};
  older[kNetworkProtocolOffset] = 43;
  demos.push_back(older);
  for (const std::filesystem::path& path : CorpusDemos()) demos.push_back(ReadImage(path));
  for (const Bytes& bytes : demos) {
    MemoryDemo file(bytes);
    DemoEvents got;
    ASSERT_EQ(ReadDemoEvents(file, got, 4096), ReadOutcome::kOk);
    EXPECT_EQ(printed(got), printed(ReadDemoEvents(bytes)));
  }
  struct Shorter final : MemoryDemo {  // a byte longer than it holds: the last read falls short
    using MemoryDemo::MemoryDemo;
    bool Size(std::uint64_t& size) override { return MemoryDemo::Size(size) && ++size; }
  } shorter(demos[0]);
  DemoEvents kept;
  kept.totals.notDecoded = "kept";
  EXPECT_EQ(ReadDemoEvents(shorter, kept, 4096), ReadOutcome::kShortRead);
  EXPECT_EQ(kept.totals.notDecoded, "kept");
}

}  // namespace
}  // namespace rewindor
