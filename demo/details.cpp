#include "demo/details.h"

#include <utility>

#include "demo/info.h"
#include "demo/names.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

// The lines of one demo in one output's words.
class Description {
 public:
  explicit Description(const DetailsWording& wording) : w_(wording) {}

  template <typename Number>
  void Count(std::string_view label, const std::optional<Number>& count) {
    Ours(label, count && *count >= 0 ? std::to_string(*count) : std::string(w_.unknown));
  }

  void PlayingTime(const std::optional<double>& seconds) {
    const bool reasonable = seconds && *seconds >= 0 && *seconds < kMaxPlayingSeconds;
    Ours(w_.playingTime,
         seconds && (reasonable || !w_.unreasonableTimeUnknown) ? PlayingTimeText(*seconds) : std::string(w_.unknown));
  }

  void FromDemo(std::string_view label, const std::optional<std::string>& value) {
    if (value) {
      lines_.push_back({std::string(label), OneLine(*value)});
    } else {
      Ours(label, w_.unknown);
    }
  }

  // The names kept, then a line for those beyond them; a counted roster counts them all.
  void Roster(const std::vector<std::string>& names, std::uint64_t notListed) {
    if (!w_.countRoster) {
      Ours(w_.roster, {});
    } else {
      Ours(w_.roster, names.empty() ? std::string(w_.unknown) : std::to_string(names.size() + notListed));
    }
    for (const std::string& name : names) lines_.push_back({{}, OneLine(name)});
    if (notListed > 0) Ours(NotListedText(notListed), {});
  }

  // Our text, then a name from the demo.
  void Player(std::string ours, const std::string& name) { lines_.push_back({std::move(ours), OneLine(name)}); }

  void Ours(std::string_view label, std::string_view value) {
    lines_.push_back({std::string(label).append(value), {}});
  }

  std::vector<DetailsLine> Lines() && { return std::move(lines_); }

 private:
  std::string OneLine(std::string text) const { return w_.blankControls ? OneLineText(std::move(text)) : text; }

  const DetailsWording& w_;
  std::vector<DetailsLine> lines_;
};

// Whether the recording was finished: no demo, being written, yes or no.
std::string_view FinishedWord(const DemoDetails& details, const DetailsWording& wording) {
  if (!details.facts.demo && !wording.notADemo.empty()) return wording.notADemo;
  if (details.beingWritten && !wording.beingWritten.empty()) return wording.beingWritten;
  return details.facts.finished ? wording.yes : wording.no;
}

}  // namespace

DemoDetails ReadDemoDetails(ByteView image) {
  const bool hltv = ScanHltv(image);
  return {ReadDemoFacts(image, hltv), hltv};
}

std::vector<DetailsLine> DescribeDemo(const DemoDetails& details, const DetailsWording& wording) {
  const DemoFacts& facts = details.facts;
  Description d(wording);
  d.PlayingTime(facts.duration);
  d.Count(wording.frames, facts.frames);
  d.FromDemo(wording.server, facts.server);
  d.Count(wording.maxPlayers, facts.maxPlayers);
  if (details.hltv && !facts.recorder) {
    d.Ours(wording.recorder, wording.hltvRecorder);
  } else {
    d.FromDemo(wording.recorder, facts.recorder);
  }
  d.Ours(wording.finished, FinishedWord(details, wording));
  if (!wording.resolution.empty()) {
    const std::optional<Resolution>& size = facts.resolution;
    d.Ours(wording.resolution, size ? ResolutionText(*size) : std::string(wording.unknown));
  }
  d.Roster(facts.roster, facts.rosterNotListed);
  if (!wording.steamIds.empty() && !facts.steamIds.empty()) {
    d.Ours(wording.steamIds, {});
    for (const PlayerSteamId& player : facts.steamIds) d.Player(player.steamId + "  ", player.name);
  }
  return std::move(d).Lines();
}

}  // namespace rewindor
