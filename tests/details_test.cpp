// The details view's text: what stands for the unknown, and demo texts that
// cannot break out of their lines.
#include "demo/details.h"

#include <gtest/gtest.h>

#include "ui/texts.h"

namespace rewindor {
namespace {

std::vector<std::string> Shown(const DemoDetails& details) {
  std::vector<std::string> lines;
  for (const DetailsLine& line : DescribeDemo(details, text::kDetailsWording)) {
    lines.push_back(line.text + "|" + line.demoText);
  }
  return lines;
}

std::string Line(const char* label, const std::string& value, const std::string& fromDemo = "") {
  return std::string(label) + value + "|" + fromDemo;
}

TEST(DescribeDemo, WhatIsNotKnownSaysSo) {
  DemoDetails nothing;  // a demo whose facts could not be read
  nothing.facts.duration = 1e300;  // damage, not a time: it would overflow any integer
  nothing.facts.frames = -1;       // a damaged count is no count
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

// Whether the recording was finished: a file that is no demo says so before
// anything else, a demo another program still writes says that it is written.
TEST(DescribeDemo, FinishedLineTellsNoDemoAndBeingWritten) {
  struct Case {
    bool demo, finished, beingWritten;
    const char* shown;
  };
  const Case cases[] = {{true, true, false, text::kDetailsYes},
                        {true, false, false, text::kDetailsNo},
                        {true, false, true, text::kDetailsBeingWritten},
                        {false, false, false, text::kDetailsNotADemo},
                        {false, false, true, text::kDetailsNotADemo}};
  for (const Case& c : cases) {
    DemoDetails d;
    d.facts.demo = c.demo;
    d.facts.finished = c.finished;
    d.beingWritten = c.beingWritten;
    EXPECT_EQ(Shown(d)[5], Line(text::kDetailsFinished, c.shown)) << c.shown;
  }
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

// Each player with an ID after the roster, the ID first; none without IDs.
TEST(DescribeDemo, PlayersWithTheirSteamIdsAfterTheRoster) {
  DemoDetails d;
  d.facts.roster = {"Ann"};
  EXPECT_EQ(Shown(d).back(), Line("", "", "Ann"));
  d.facts.steamIds = {{"Ann\nx", "76561198053761909"}};
  const std::vector<std::string> lines = Shown(d);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{Line("", "", "Ann"), Line(text::kDetailsSteamIds, ""),
                                      "76561198053761909  |Ann x"}));
}

}  // namespace
}  // namespace rewindor
