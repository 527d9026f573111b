// The timeline of a demo ("Ход игры…"): its round ends, kills, chat lines and
// name changes as rows of a table (time, round, what happened), the final
// score and each player's kills and deaths above it, and a filter over the
// rows. Portable: the window (ui/timeline_dialog.cpp) only shows what this
// builds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "demo/events.h"
#include "demo/info.h"
#include "demo/text_match.h"

namespace rewindor {

namespace text {
inline constexpr char kMenuTimeline[] = "Ход игры…";
inline constexpr char kTimelineCaption[] = "Ход игры";
inline constexpr char kTimelineFind[] = "Найти:";
inline constexpr char kTimelineColumnTime[] = "Время";
inline constexpr char kTimelineColumnRound[] = "Раунд";
inline constexpr char kTimelineColumnEvent[] = "Событие";
inline constexpr char kTimelineReading[] = "Читается…";
inline constexpr char kTimelineShown[] = "%d из %d";
inline constexpr char kTimelineScore[] = "Счёт: T %d : %d CT, раундов: %d";
inline constexpr char kTimelineNoScore[] = "Счёта в демке нет, раундов: %d";
inline constexpr char kTimelinePlayers[] = "Убийства / смерти: ";
inline constexpr char kTimelineNoPlayers[] = "Убийств в демке нет";
inline constexpr char kTimelineNoEvents[] = "В демке нет ни раундов, ни убийств, ни чата";
inline constexpr char kTimelineHeadshot[] = "в голову";
inline constexpr char kTimelineWorld[] = "мир";
inline constexpr char kTimelineRenamed[] = " теперь зовётся ";
inline constexpr char kTimelineAll[] = "[все]";
inline constexpr char kTimelineTeam[] = "[команда]";
inline constexpr char kTimelineSpectators[] = "[зрители]";
inline constexpr char kTimelineDead[] = "[мёртв]";
inline constexpr char kTimelineRoundEnd[] = "Конец раунда: ";
}  // namespace text

struct TimelineRow {
  std::string time;   // m:ss from the start of play; empty for a row that is no event
  std::string round;  // the round's number
  std::string text;   // what happened, UTF-8
};

struct Timeline {
  std::string summary;  // the final score, then each player's kills and deaths, one line each
  std::vector<TimelineRow> rows;
};

// "m:ss" of a time in seconds, whole seconds down; a time before the start
// (or not a number) is 0:00.
std::string TimelineTime(float seconds);
// The words for a round's end (its key, "#Terrorists_Win" ...), the key itself when it is not known.
std::string RoundEndWords(std::string_view key);

// The rows and the summary of a demo's events; the names and words of the
// demo are decoded as the window shows them.
Timeline BuildTimeline(const DemoEvents& events, const DemoTextDecoder& decode = DemoTextToUtf8);
// A demo that could not be read: one row that gives the reason.
Timeline UnreadableTimeline(std::string_view reason);

// The rows shown through the filter: those whose text holds the typed text,
// letter case ignored as the library's filter ignores it.
class TimelineFilter {
 public:
  explicit TimelineFilter(const std::vector<TimelineRow>& rows);
  void Set(std::string_view typed);
  std::size_t ShownCount() const { return shown_.size(); }
  const TimelineRow& Shown(std::size_t i) const { return rows_[shown_[i]]; }
  // "N из M".
  std::string StatusText() const;

 private:
  const std::vector<TimelineRow>& rows_;
  std::vector<std::string> keys_;  // each row's text, folded
  std::vector<std::size_t> shown_;
};

}  // namespace rewindor
