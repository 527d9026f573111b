// What a demo holds beyond its summary, as lines of text: the facts
// one labelled line each, then the roster one name a line, then the players
// with their Steam IDs. Each output gives
// its own words (the details view its Russian ones, the tool its English ones)
// and its own choices; the lines are the same rule for both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "demo/bytes.h"
#include "demo/facts.h"

namespace rewindor {

struct DemoDetails {
  DemoFacts facts;  // the screen size the demo records among them
  bool hltv = false;
  bool beingWritten = false;  // another program has it open for writing (FileSystem::BeingWritten)
};

DemoDetails ReadDemoDetails(ByteView image);

// How one output words the details. Each label stands before its value on
// the same line.
struct DetailsWording {
  std::string_view playingTime, frames, server, maxPlayers, recorder, finished;
  std::string_view resolution;  // empty: the output shows no line for the screen size
  std::string_view roster;      // its line, then one name a line
  bool countRoster = false;     // the roster's label followed by the number of names (`unknown` for none)
  // Empty: no Steam IDs. Otherwise, when the demo names any, its line and
  // then one player a line: the ID, two blanks, the name.
  std::string_view steamIds;
  std::string_view unknown, yes, no;
  std::string_view notADemo;      // the finished line of a file that is no demo (IsUsableDemo)
  std::string_view beingWritten;  // the finished line of a demo another program is writing
  std::string_view hltvRecorder;  // who recorded an HLTV demo that names no recording player
  // A playing time beyond reason (negative, not a number, kMaxPlayingSeconds
  // or more) reads as `unknown`; otherwise as PlayingTimeText has it (0:00).
  bool unreasonableTimeUnknown = true;
  // A line break or other control byte in a demo text becomes a blank, so a
  // hostile name cannot start a line of its own.
  bool blankControls = true;
};

// One line: our own text (UTF-8), then bytes taken from the demo, which the
// output decodes as it decodes every demo text.
struct DetailsLine {
  std::string text;
  std::string demoText;
};

// The playing time as m:ss (PlayingTimeText), the counts in decimal (a
// negative count is unknown), the screen size as WxH.
std::vector<DetailsLine> DescribeDemo(const DemoDetails& details, const DetailsWording& wording);

}  // namespace rewindor
