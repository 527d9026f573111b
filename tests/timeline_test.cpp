// The timeline's rows, summary and filter, from events made by hand.
#include "ui/timeline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace rewindor {
namespace {

DemoEvent Kill(float time, int round, std::string killer, std::string victim, std::string weapon, bool head) {
  return {.time = time, .round = round, .killer = killer, .victim = victim, .weapon = weapon, .headshot = head};
}
DemoEvent Chat(ChatScope scope, Team team, bool dead, std::string sender, std::string words) {
  return {.kind = EventKind::kChat, .sender = sender, .scope = scope, .dead = dead, .text = words, .team = team};
}
DemoEvent RoundEnd(float time, int round, std::string key, Team winner) {
  return {.kind = EventKind::kRound, .time = time, .round = round, .team = winner, .result = key};
}
DemoEvent Score(Team team, int score) { return {.kind = EventKind::kScore, .team = team, .score = score}; }

std::vector<std::string> Texts(const Timeline& timeline) {
  std::vector<std::string> texts;
  for (const TimelineRow& row : timeline.rows) texts.push_back(row.time + " | " + row.round + " | " + row.text);
  return texts;
}

TEST(Timeline, TimesAsMinutesAndSeconds) {
  const std::pair<float, const char*> cases[] = {
      {0.f, "0:00"},     {0.99f, "0:00"}, {59.9f, "0:59"}, {60.f, "1:00"}, {754.5f, "12:34"},
      {6000.f, "100:00"}, {-3.f, "0:00"}, {NAN, "0:00"},   {INFINITY, "0:00"},
  };
  for (const auto& [seconds, shown] : cases) EXPECT_EQ(TimelineTime(seconds), shown) << seconds;
}

TEST(Timeline, EachKindAsItsRowAndTheScoresAfterEachRoundEnd) {
  DemoEvents events;
  events.events = {
      DemoEvent{.kind = EventKind::kName, .time = 2, .from = "Bob", .to = "Боб"},
      Kill(75.2f, 1, "Боб", "Alice", "ak47", true),
      Kill(80, 1, "", "Carl", "worldspawn", false),  // fell to his death
      DemoEvent{.kind = EventKind::kFade},
      RoundEnd(90, 1, "#Terrorists_Win", Team::kTerrorists),
      Score(Team::kTerrorists, 1),
      Score(Team::kCounterTerrorists, 0),
      Chat(ChatScope::kTeam, Team::kTerrorists, false, "Alice", "rush b"),
      Chat(ChatScope::kTeam, Team::kCounterTerrorists, true, "Carl", "eco"),
      Chat(ChatScope::kAll, Team::kNone, true, "Carl", "gg"),
      Chat(ChatScope::kSpectators, Team::kSpectators, false, "HLTV", "hi"),
      RoundEnd(200, 2, "#Some_New_End", Team::kNone),  // no score follows: the scores stay
      Kill(210, 3, "Alice", "Боб", "m4a1", false),
      Score(Team::kCounterTerrorists, 1),  // after a kill: not this round's end
  };
  events.rounds = 2, events.scoreT = events.scoreCT = 1;
  events.players = {{"Alice", "", 1, 1, 0}, {"Боб", "STEAM_0:1:2", 1, 1, 1}, {"Carl", "", 0, 1, 0},
                    {"Idle", "", 0, 0, 0}};
  Timeline timeline = BuildTimeline(events);
  EXPECT_EQ(Texts(timeline), (std::vector<std::string>{
                                 "0:02 | 1 | Bob теперь зовётся Боб",
                                 "1:15 | 1 | Боб → Alice (ak47, в голову)",
                                 "1:20 | 1 | мир → Carl (worldspawn)",
                                 "1:30 | 1 | Конец раунда: победа T — T 1 : 0 CT",
                                 "0:00 | 1 | [T] Alice: rush b",
                                 "0:00 | 1 | [CT] [мёртв] Carl: eco",
                                 "0:00 | 1 | [все] [мёртв] Carl: gg",
                                 "0:00 | 1 | [зрители] HLTV: hi",
                                 "3:20 | 2 | Конец раунда: #Some_New_End — T 1 : 0 CT",
                                 "3:30 | 3 | Alice → Боб (m4a1)",
                             }));
  EXPECT_EQ(timeline.summary, "Счёт: T 1 : 1 CT, раундов: 2\nУбийства / смерти: Alice 1/1, Боб 1/1, Carl 0/1");
}

TEST(Timeline, WithoutScoreMessagesTheWinsAreCounted) {
  DemoEvents events;
  events.events = {RoundEnd(1, 1, "#CTs_Win", Team::kCounterTerrorists),
                   RoundEnd(2, 2, "#Target_Bombed", Team::kTerrorists),
                   RoundEnd(3, 3, "#Round_Draw", Team::kNone)};
  events.rounds = 3;
  const Timeline timeline = BuildTimeline(events);
  EXPECT_EQ(Texts(timeline), (std::vector<std::string>{"0:01 | 1 | Конец раунда: победа CT — T 0 : 1 CT",
                                                        "0:02 | 2 | Конец раунда: бомба взорвана — T 1 : 1 CT",
                                                        "0:03 | 3 | Конец раунда: ничья — T 1 : 1 CT"}));
  EXPECT_EQ(timeline.summary, "Счёта в демке нет, раундов: 3\nУбийств в демке нет");
}

TEST(Timeline, NothingToShowIsOneRowThatSaysWhy) {
  DemoEvents quiet;
  EXPECT_EQ(Texts(BuildTimeline(quiet)),
            std::vector<std::string>{" |  | В демке нет ни раундов, ни убийств, ни чата"});
  DemoEvents old;
  old.totals.notDecoded = "The demo's protocol 43 is not decoded.";
  EXPECT_EQ(BuildTimeline(old).rows.at(0).text, old.totals.notDecoded);
  Timeline unreadable = UnreadableTimeline("Could not open the demo: access denied");
  EXPECT_EQ(Texts(unreadable), std::vector<std::string>{" |  | Could not open the demo: access denied"});
  EXPECT_TRUE(unreadable.summary.empty());
}

TEST(Timeline, DemoTextsDecodedAsTheWindowShowsThem) {
  DemoEvents events;
  events.events = {Kill(1, 1, "\xC1\xEE\xE1", "x", "awp", false)};  // "Боб" in Windows-1251
  const DemoTextDecoder decode = [](std::string_view s) {
    return s == "\xC1\xEE\xE1" ? std::string("Боб") : std::string(s);
  };
  EXPECT_EQ(BuildTimeline(events, decode).rows.at(0).text, "Боб → x (awp)");
}

TEST(Timeline, FilterKeepsTheRowsWhoseTextHoldsTheTypedText) {
  const std::vector<TimelineRow> rows = {{"0:01", "1", "Боб → Alice (ak47, в голову)"},
                                         {"0:02", "1", "[T] Alice: RUSH B"},
                                         {"0:03", "1", "Конец раунда: победа T — T 1 : 0 CT"}};
  TimelineFilter filter(rows);
  EXPECT_EQ(filter.StatusText(), "3 из 3");
  const std::pair<const char*, std::vector<std::size_t>> cases[] = {
      {"alice", {0, 1}}, {"БОБ", {0}}, {"rush b", {1}}, {"0:01", {}},  // the time is not the row's text
      {"", {0, 1, 2}},   {"ВЗОРВ", {}}, {"ПОБЕДА", {2}},
  };
  for (const auto& [typed, expected] : cases) {
    filter.Set(typed);
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < filter.ShownCount(); ++i) shown.push_back(&filter.Shown(i) - rows.data());
    EXPECT_EQ(shown, expected) << typed;
  }
  filter.Set("alice");
  EXPECT_EQ(filter.StatusText(), "2 из 3");
}

}  // namespace
}  // namespace rewindor
