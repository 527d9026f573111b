#include "ui/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>

namespace rewindor {

namespace {

struct RoundEndKey {
  const char* key;
  const char* words;
};

constexpr RoundEndKey kRoundEnds[] = {
    {"#Terrorists_Win", "победа T"},
    {"#CTs_Win", "победа CT"},
    {"#Round_Draw", "ничья"},
    {"#Target_Bombed", "бомба взорвана"},
    {"#Bomb_Defused", "бомба обезврежена"},
    {"#Target_Saved", "цель спасена"},
    {"#All_Hostages_Rescued", "заложники спасены"},
    {"#Hostages_Not_Rescued", "заложники не спасены"},
    {"#VIP_Escaped", "VIP спасся"},
    {"#VIP_Assassinated", "VIP убит"},
    {"#VIP_Not_Escaped", "VIP не спасся"},
    {"#Terrorists_Escaped", "террористы сбежали"},
    {"#CTs_PreventEscape", "CT не дали сбежать"},
    {"#Escaping_Terrorists_Neutralized", "сбегавшие террористы убиты"},
    {"#Terrorists_Not_Escaped", "террористы не сбежали"},
};

std::string Format(const char* format, int a, int b = 0, int c = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

// The team scores after the round end at `i`: the score messages that follow
// it, before the next round's first kill or end.
void ScoresAfter(const std::vector<DemoEvent>& events, std::size_t i, int& t, int& ct) {
  for (std::size_t j = i + 1; j < events.size(); ++j) {
    const DemoEvent& e = events[j];
    if (e.kind == EventKind::kRound || e.kind == EventKind::kKill) break;
    if (e.kind != EventKind::kScore) continue;
    if (e.team == Team::kTerrorists) t = e.score;
    if (e.team == Team::kCounterTerrorists) ct = e.score;
  }
}

std::string ChatTag(const DemoEvent& e) {
  std::string tag;
  switch (e.scope) {
    case ChatScope::kAll: tag = text::kTimelineAll; break;
    case ChatScope::kSpectators: tag = text::kTimelineSpectators; break;
    case ChatScope::kTeam:
      tag = e.team == Team::kTerrorists ? "[T]" : e.team == Team::kCounterTerrorists ? "[CT]" : text::kTimelineTeam;
      break;
  }
  if (e.dead) tag.append(" ").append(text::kTimelineDead);
  return tag;
}

class RowWriter {
 public:
  RowWriter(const DemoEvents& events, const DemoTextDecoder& decode) : events_(events), decode_(decode) {
    scored_ = std::any_of(events.events.begin(), events.events.end(),
                          [](const DemoEvent& e) { return e.kind == EventKind::kScore; });
  }

  // The event's words, or nothing for an event the timeline does not show.
  std::optional<std::string> Text(std::size_t i) {
    const DemoEvent& e = events_.events[i];
    switch (e.kind) {
      case EventKind::kKill: return Kill(e);
      case EventKind::kChat: return ChatTag(e) + " " + decode_(e.sender) + ": " + decode_(e.text);
      case EventKind::kRound: return RoundEnd(i);
      case EventKind::kName: return decode_(e.from) + text::kTimelineRenamed + decode_(e.to);
      case EventKind::kScore:
      case EventKind::kFade: return std::nullopt;
    }
    return std::nullopt;
  }

 private:
  std::string Kill(const DemoEvent& e) const {
    std::string line = e.killer.empty() ? std::string(text::kTimelineWorld) : decode_(e.killer);
    line.append(" → ").append(decode_(e.victim)).append(" (").append(decode_(e.weapon));
    if (e.headshot) line.append(", ").append(text::kTimelineHeadshot);
    return line + ")";
  }

  // Where the demo has no score messages, the scores are the wins counted.
  std::string RoundEnd(std::size_t i) {
    const DemoEvent& e = events_.events[i];
    if (scored_) {
      ScoresAfter(events_.events, i, t_, ct_);
    } else if (e.team == Team::kTerrorists) {
      ++t_;
    } else if (e.team == Team::kCounterTerrorists) {
      ++ct_;
    }
    return text::kTimelineRoundEnd + RoundEndWords(e.result) + Format(" — T %d : %d CT", t_, ct_);
  }

  const DemoEvents& events_;
  const DemoTextDecoder& decode_;
  bool scored_ = false;
  int t_ = 0, ct_ = 0;
};

std::string Summary(const DemoEvents& events, const DemoTextDecoder& decode) {
  const bool scored = std::any_of(events.events.begin(), events.events.end(),
                                  [](const DemoEvent& e) { return e.kind == EventKind::kScore; });
  std::string summary = scored ? Format(text::kTimelineScore, events.scoreT, events.scoreCT, events.rounds)
                               : Format(text::kTimelineNoScore, events.rounds);
  std::vector<PlayerTally> players;
  std::copy_if(events.players.begin(), events.players.end(), std::back_inserter(players),
               [](const PlayerTally& p) { return p.kills > 0 || p.deaths > 0; });
  std::stable_sort(players.begin(), players.end(), [](const PlayerTally& a, const PlayerTally& b) {
    return a.kills != b.kills ? a.kills > b.kills : a.deaths < b.deaths;
  });
  summary += "\n";
  if (players.empty()) return summary + text::kTimelineNoPlayers;
  summary += text::kTimelinePlayers;
  for (std::size_t i = 0; i < players.size(); ++i) {
    if (i > 0) summary += ", ";
    summary += decode(players[i].name) + Format(" %d/%d", players[i].kills, players[i].deaths);
  }
  return summary;
}

}  // namespace

std::string TimelineTime(float seconds) {
  // Also NaN lands on 0: no comparison with it holds.
  const long long whole = seconds >= 1 && seconds < 1e9f ? static_cast<long long>(std::floor(seconds)) : 0;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld", whole / 60, whole % 60);
  return buffer;
}

std::string RoundEndWords(std::string_view key) {
  for (const RoundEndKey& known : kRoundEnds) {
    if (key == known.key) return known.words;
  }
  return std::string(key);
}

Timeline BuildTimeline(const DemoEvents& events, const DemoTextDecoder& decode) {
  Timeline timeline;
  timeline.summary = Summary(events, decode);
  RowWriter writer(events, decode);
  for (std::size_t i = 0; i < events.events.size(); ++i) {
    std::optional<std::string> text = writer.Text(i);
    if (!text) continue;
    const DemoEvent& e = events.events[i];
    timeline.rows.push_back({TimelineTime(e.time), std::to_string(e.round), std::move(*text)});
  }
  if (timeline.rows.empty()) {
    timeline.rows.push_back(
        {"", "", events.totals.notDecoded.empty() ? text::kTimelineNoEvents : events.totals.notDecoded});
  }
  return timeline;
}

Timeline UnreadableTimeline(std::string_view reason) {
  Timeline timeline;
  timeline.rows.push_back({"", "", std::string(reason)});
  return timeline;
}

TimelineFilter::TimelineFilter(const std::vector<TimelineRow>& rows) : rows_(rows) {
  keys_.reserve(rows.size());
  for (const TimelineRow& row : rows) keys_.push_back(FoldCase(row.text));
  Set("");
}

void TimelineFilter::Set(std::string_view typed) {
  const TextFinder finder(typed);
  shown_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (finder.FoundIn(keys_[i])) shown_.push_back(i);
  }
}

std::string TimelineFilter::StatusText() const {
  return Format(text::kTimelineShown, static_cast<int>(shown_.size()), static_cast<int>(rows_.size()));
}

}  // namespace rewindor
