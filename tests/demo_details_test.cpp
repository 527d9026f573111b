// The details view's text: the labelled facts, and what stands for the unknown.
#include "ui/demo_details.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/texts.h"

namespace rewindor {
namespace {

std::vector<std::string> Shown(const DemoDetails& details) {
  std::vector<std::string> lines;
  for (const DetailsLine& line : DescribeDemo(details)) lines.push_back(line.text + "|" + line.demoText);
  return lines;
}

std::string Line(const char* label, const std::string& value, const std::string& fromDemo = "") {
  return std::string(label) + value + "|" + fromDemo;
}

TEST(DescribeDemo, PlayingTimeInMinutesAndWholeSecondsOrUnknown) {
  const struct {
    double seconds;
    const char* shown;
  } cases[] = {
      {0.0, "0:00"},
      {25.097, "0:25"},  // cs-client-cs_assault.dem
      {59.999, "0:59"},  // cut, not rounded up to the next minute
      {60.0, "1:00"},
      {3725.5, "62:05"},  // minutes go on past an hour
      {-0.5, text::kDetailsUnknown},
      {std::nan(""), text::kDetailsUnknown},
      {std::numeric_limits<double>::infinity(), text::kDetailsUnknown},
      {1e300, text::kDetailsUnknown},  // would overflow any integer
  };
  for (const auto& c : cases) {
    DemoDetails d;
    d.facts.duration = c.seconds;
    EXPECT_EQ(Shown(d).front(), Line(text::kDetailsPlayingTime, c.shown)) << c.seconds;
  }
}

TEST(DescribeDemo, EveryFactOnItsLineAndTheRosterOneNameALine) {
  DemoDetails d;
  d.facts.duration = 25.097;
  d.facts.frames = 1504;
  d.facts.server = "Counter-Strike";
  d.facts.maxPlayers = 32;
  d.facts.recorder = "\xC2\xE0\xF1\xFF";  // "Вася" in code page 1251: decoded by the window, kept as bytes here
  d.facts.roster = {"\xC2\xE0\xF1\xFF", "Ghost"};
  d.facts.finished = false;
  d.facts.resolution = Resolution{1440, 900};
  EXPECT_EQ(Shown(d), (std::vector<std::string>{
                          Line(text::kDetailsPlayingTime, "0:25"),
                          Line(text::kDetailsFrames, "1504"),
                          Line(text::kDetailsServer, "", "Counter-Strike"),
                          Line(text::kDetailsMaxPlayers, "32"),
                          Line(text::kDetailsRecorder, "", "\xC2\xE0\xF1\xFF"),
                          Line(text::kDetailsFinished, text::kDetailsNo),
                          Line(text::kDetailsResolution, "1440x900"),
                          Line(text::kDetailsRoster, "2"),
                          Line("", "", "\xC2\xE0\xF1\xFF"),
                          Line("", "", "Ghost"),
                      }));
}

TEST(DescribeDemo, WhatIsNotKnownSaysSo) {
  DemoDetails nothing;  // a demo whose facts could not be read
  nothing.facts.frames = -1;  // a damaged count is no count
  const std::string unknown = text::kDetailsUnknown;
  EXPECT_EQ(Shown(nothing), (std::vector<std::string>{
                                Line(text::kDetailsPlayingTime, unknown),
                                Line(text::kDetailsFrames, unknown),
                                Line(text::kDetailsServer, unknown),
                                Line(text::kDetailsMaxPlayers, unknown),
                                Line(text::kDetailsRecorder, unknown),
                                Line(text::kDetailsFinished, text::kDetailsNo),
                                Line(text::kDetailsResolution, unknown),
                                Line(text::kDetailsRoster, unknown),
                            }));
  // A hostile demo's line breaks stay inside their own line.
  DemoDetails hostile;
  hostile.facts.server = "evil\r\nКадров: 9999";
  hostile.facts.roster = {"a\nb\t\x7F"};
  const std::vector<std::string> broken = Shown(hostile);
  EXPECT_EQ(broken[2], Line(text::kDetailsServer, "", "evil  Кадров: 9999"));
  EXPECT_EQ(broken.back(), Line("", "", "a b  "));
  // An HLTV demo has no recording player: it was recorded by HLTV.
  DemoDetails hltv;
  hltv.hltv = true;
  hltv.facts.finished = true;
  const std::vector<std::string> lines = Shown(hltv);
  EXPECT_EQ(lines[4], Line(text::kDetailsRecorder, text::kDetailsHltv));
  EXPECT_EQ(lines[5], Line(text::kDetailsFinished, text::kDetailsYes));
}

// A roster beyond the names kept counts them all and ends with the line for the rest.
TEST(DescribeDemo, RosterBeyondItsNamesEndsWithTheirNumber) {
  DemoDetails d;
  d.facts.roster = {"Ann", "Bob"};
  d.facts.rosterNotListed = 3000;
  const std::vector<std::string> lines = Shown(d);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{Line(text::kDetailsRoster, "3002"), Line("", "", "Ann"), Line("", "", "Bob"),
                                      "и ещё 3000|"}));
}

}  // namespace
}  // namespace rewindor
