// How rewindor-cli prints a demo's events: one JSON object per event and a
// summary object, or one readable line per event and a few summary lines.
#pragma once

#include <string>
#include <string_view>

#include "demo/events.h"
#include "demo/text_match.h"

namespace rewindor::cli {

// The event's names and texts as UTF-8, one search field each (the players'
// names, the chat text), for --find.
std::string EventSearchKey(const DemoEvent& event);

// {"path":…,"time":T,"segment":S,"frame":F,"offset":O,"kind":…, the kind's fields} and a line feed.
std::string EventJson(std::string_view path, const DemoEvent& event);
// {"command":"events","path":…,"rounds":N,"score":{"T":a,"CT":b},"players":[…],
// "framesNotDecoded":N} and a line feed.
std::string EventsSummaryJson(std::string_view path, const DemoEvents& events);

// "12:34  раунд 7  Bob убил Alice (ak47, в голову)" and a line feed.
std::string EventLine(const DemoEvent& event);
// The rounds, the score and each player's tally, a line each.
std::string EventsSummaryLines(const DemoEvents& events);

}  // namespace rewindor::cli
