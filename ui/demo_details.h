// What the details view shows of a demo: the facts beyond the information box,
// one labelled line each, and the roster one name a line. Portable; the view
// itself is ui/details_dialog.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "demo/bytes.h"
#include "demo/facts.h"

namespace rewindor {

struct DemoDetails {
  DemoFacts facts;  // the screen size the demo records among them
  bool hltv = false;
};

DemoDetails ReadDemoDetails(ByteView image);

// One line of the view: our own text (UTF-8), then bytes taken from the demo,
// which the window decodes as it decodes every demo text.
struct DetailsLine {
  std::string text;
  std::string demoText;
};

// The playing time as m:ss, cut to the whole second ("0:25" for 25.9; minutes
// go on past 59), unknown when it is negative, not a number or beyond reason.
std::vector<DetailsLine> DescribeDemo(const DemoDetails& details);

}  // namespace rewindor
