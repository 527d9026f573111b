#include "cli/events_output.h"

#include "cli/json.h"
#include "demo/facts.h"
#include "demo/utf8.h"

namespace rewindor::cli {

namespace {

std::string_view KindName(EventKind kind) {
  switch (kind) {
    case EventKind::kKill: return "kill";
    case EventKind::kChat: return "chat";
    case EventKind::kRound: return "round";
    case EventKind::kScore: return "score";
    case EventKind::kFade: return "fade";
    case EventKind::kName: return "name";
  }
  return {};
}

// "T", "CT", "SPECTATOR" or "" for none.
std::string_view TeamName(Team team) {
  switch (team) {
    case Team::kTerrorists: return "T";
    case Team::kCounterTerrorists: return "CT";
    case Team::kSpectators: return "SPECTATOR";
    case Team::kNone: return "";
  }
  return {};
}

std::string_view ScopeName(ChatScope scope) {
  switch (scope) {
    case ChatScope::kAll: return "all";
    case ChatScope::kTeam: return "team";
    case ChatScope::kSpectators: return "spectators";
  }
  return {};
}

std::string Utf8(const std::string& demoText) { return DemoTextToUtf8(demoText); }

// The chat line's tag: the team for team chat, otherwise who sees it.
std::string ChatTag(const DemoEvent& e) {
  std::string tag = e.scope == ChatScope::kTeam         ? "[" + std::string(TeamName(e.team)) + "]"
                    : e.scope == ChatScope::kSpectators ? "[зрители]"
                                                        : "[все]";
  return e.dead ? tag + " [мёртв]" : tag;
}

std::string WinnerText(Team team) { return team == Team::kNone ? "ничья" : "победа " + std::string(TeamName(team)); }

std::string Describe(const DemoEvent& e) {
  switch (e.kind) {
    case EventKind::kKill: {
      const std::string how = " (" + Utf8(e.weapon) + (e.headshot ? ", в голову)" : ")");
      if (e.killer.empty() || e.killer == e.victim) return Utf8(e.victim) + " погиб" + how;
      return Utf8(e.killer) + " убил " + Utf8(e.victim) + how;
    }
    case EventKind::kChat: return ChatTag(e) + " " + Utf8(e.sender) + ": " + Utf8(e.text);
    case EventKind::kRound: return "конец раунда: " + WinnerText(e.team) + " (" + Utf8(e.result) + ")";
    case EventKind::kScore:
      return "счёт " + (e.team == Team::kNone ? std::string("?") : std::string(TeamName(e.team))) + ": " +
             std::to_string(e.score);
    case EventKind::kFade:
      return "затемнение экрана: цвет " + std::to_string(e.colour[0]) + " " + std::to_string(e.colour[1]) + " " +
             std::to_string(e.colour[2]) + " " + std::to_string(e.colour[3]) + ", длительность " +
             std::to_string(e.duration) + ", задержка " + std::to_string(e.hold) + ", флаги " + std::to_string(e.flags);
    case EventKind::kName: return Utf8(e.from) + " сменил имя на " + Utf8(e.to);
  }
  return {};
}

}  // namespace

std::string EventSearchKey(const DemoEvent& e) {
  return TextSearchKey({Utf8(e.killer), Utf8(e.victim), Utf8(e.sender), Utf8(e.text), Utf8(e.from), Utf8(e.to)});
}

std::string EventJson(std::string_view path, const DemoEvent& e) {
  JsonObject json;
  json.Add("path", path)
      .AddFloat("time", e.time)
      .AddInt("segment", static_cast<std::int64_t>(e.segment))
      .AddInt("frame", static_cast<std::int64_t>(e.frame))
      .AddInt("offset", static_cast<std::int64_t>(e.offset))
      .Add("kind", KindName(e.kind));
  switch (e.kind) {
    case EventKind::kKill:
      json.Add("killer", Utf8(e.killer)).Add("victim", Utf8(e.victim)).Add("weapon", Utf8(e.weapon));
      json.AddBool("headshot", e.headshot);
      break;
    case EventKind::kChat:
      json.Add("sender", Utf8(e.sender)).Add("scope", ScopeName(e.scope)).AddBool("dead", e.dead);
      json.Add("text", Utf8(e.text));
      break;
    case EventKind::kRound:
      json.Add("result", Utf8(e.result));
      json.Add("winner", e.team == Team::kNone ? "none" : TeamName(e.team));
      json.AddInt("round", e.round);
      break;
    case EventKind::kScore:
      json.Add("team", e.team == Team::kNone ? "none" : TeamName(e.team));
      json.AddInt("score", e.score);
      break;
    case EventKind::kFade:
      json.AddInt("duration", e.duration).AddInt("hold", e.hold).AddInt("flags", e.flags);
      json.AddInts("colour", {e.colour[0], e.colour[1], e.colour[2], e.colour[3]});
      break;
    case EventKind::kName: json.Add("from", Utf8(e.from)).Add("to", Utf8(e.to)); break;
  }
  return json.Line();
}

std::string EventsSummaryJson(std::string_view path, const DemoEvents& events) {
  std::vector<JsonObject> players;
  for (const PlayerTally& p : events.players) {
    JsonObject& player = players.emplace_back();
    player.Add("name", Utf8(p.name));
    p.steamId.empty() ? player.AddNull("steamId") : player.Add("steamId", p.steamId);
    player.AddInt("kills", p.kills).AddInt("deaths", p.deaths).AddInt("headshots", p.headshots);
  }
  JsonObject score;
  score.AddInt("T", events.scoreT).AddInt("CT", events.scoreCT);
  return JsonObject()
      .Add("command", "events")
      .Add("path", path)
      .AddInt("rounds", events.rounds)
      .Add("score", score)
      .Add("players", players)
      .AddInt("framesNotDecoded", static_cast<std::int64_t>(events.totals.failed))
      .Line();
}

std::string EventLine(const DemoEvent& e) {
  return PlayingTimeText(e.time) + "  раунд " + std::to_string(e.round) + "  " + Describe(e) + "\n";
}

std::string EventsSummaryLines(const DemoEvents& events) {
  std::string text = "Раундов: " + std::to_string(events.rounds) + ", счёт T " + std::to_string(events.scoreT) +
                     " : CT " + std::to_string(events.scoreCT) + "\n";
  for (const PlayerTally& p : events.players) {
    text += Utf8(p.name) + (p.steamId.empty() ? "" : " (" + p.steamId + ")") + ": убийств " + std::to_string(p.kills) +
            ", смертей " + std::to_string(p.deaths) + ", в голову " + std::to_string(p.headshots) + "\n";
  }
  if (events.totals.failed > 0) {
    text += "Кадров, не прочитанных до конца: " + std::to_string(events.totals.failed) + "\n";
  }
  return text;
}

}  // namespace rewindor::cli
