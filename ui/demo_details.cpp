#include "ui/demo_details.h"

#include <utility>

#include "demo/info.h"
#include "demo/names.h"
#include "ui/texts.h"

namespace rewindor {

namespace {

template <typename Number>
std::string CountText(const std::optional<Number>& count) {
  return count && *count >= 0 ? std::to_string(*count) : std::string(text::kDetailsUnknown);
}

std::string MinutesAndSeconds(std::optional<double> seconds) {
  if (!seconds || !(*seconds >= 0 && *seconds < kMaxPlayingSeconds)) return text::kDetailsUnknown;
  return PlayingTimeText(*seconds);
}

DetailsLine Ours(const char* label, std::string value) { return {label + std::move(value), {}}; }

// A text from the demo on one line: a line break or other control byte in it
// (a hostile name) becomes a blank and cannot start a line of its own.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

DetailsLine FromDemo(const char* label, const std::optional<std::string>& value) {
  if (!value) return Ours(label, text::kDetailsUnknown);
  return {label, OneLine(*value)};
}

}  // namespace

DemoDetails ReadDemoDetails(ByteView image) {
  const bool hltv = ScanHltv(image);
  return {ReadDemoFacts(image, hltv), hltv};
}

std::vector<DetailsLine> DescribeDemo(const DemoDetails& details) {
  const DemoFacts& facts = details.facts;
  std::vector<DetailsLine> lines;
  lines.push_back(Ours(text::kDetailsPlayingTime, MinutesAndSeconds(facts.duration)));
  lines.push_back(Ours(text::kDetailsFrames, CountText(facts.frames)));
  lines.push_back(FromDemo(text::kDetailsServer, facts.server));
  lines.push_back(Ours(text::kDetailsMaxPlayers, CountText(facts.maxPlayers)));
  if (details.hltv && !facts.recorder) {
    lines.push_back(Ours(text::kDetailsRecorder, text::kDetailsHltv));
  } else {
    lines.push_back(FromDemo(text::kDetailsRecorder, facts.recorder));
  }
  lines.push_back(Ours(text::kDetailsFinished, facts.finished ? text::kDetailsYes : text::kDetailsNo));
  const std::optional<Resolution>& size = details.facts.resolution;
  lines.push_back(Ours(text::kDetailsResolution, size ? std::to_string(size->width) + "x" +
                                                            std::to_string(size->height)
                                                      : std::string(text::kDetailsUnknown)));
  if (facts.roster.empty()) {
    lines.push_back(Ours(text::kDetailsRoster, text::kDetailsUnknown));
  } else {
    lines.push_back(Ours(text::kDetailsRoster, std::to_string(facts.roster.size() + facts.rosterNotListed)));
    for (const std::string& name : facts.roster) lines.push_back({{}, OneLine(name)});
    if (facts.rosterNotListed > 0) lines.push_back({NotListedText(facts.rosterNotListed), {}});
  }
  return lines;
}

}  // namespace rewindor
