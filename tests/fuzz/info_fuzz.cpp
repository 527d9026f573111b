// Fuzzes the information reader's pure core: any bytes give a summary of six
// lines and player names within their limits (the cap counting them with
// letter case ignored), and facts that hold together
// and agree with the repair, without reading out of bounds.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "demo/facts.h"
#include "demo/frames.h"
#include "demo/info.h"
#include "demo/messages.h"
#include "demo/names.h"
#include "demo/repair.h"
#include "tests/support/memory_demo.h"

using namespace rewindor;

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}

// Read through a small window, front to back, the demo gives what its whole image gives.
void CheckStreamed(ByteView image, const DemoReading& whole) {
  if (image.empty()) return;
  MemoryDemo file(image);
  DemoReading streamed;
  Check(ReadDemo(file, streamed, {.window = 16 + std::size_t{image[0]} * 8}) == ReadOutcome::kOk);
  Check(ReadingFacts(streamed) == ReadingFacts(whole));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteView image(data, size);
  DemoInspection inspection = InspectDemo(image);
  std::string summary = ComposeDemoSummary(inspection);
  std::size_t lines = 1;
  for (char c : summary) lines += c == '\n';
  // Header texts stop at a zero byte but may hold line feeds of their own.
  std::size_t extra = 0;
  for (char c : inspection.header.mapName + inspection.header.gameDir) extra += c == '\n';
  Check(lines == 6 + extra);
  Check(summary.size() <= 1023);
  Check(inspection.header.mapName.size() <= kMaxPathChars && inspection.header.gameDir.size() <= kMaxPathChars);
  Check(!inspection.hltv || inspection.buildNumber == 0);
  for (const std::string& name : DemoPlayers(inspection)) {
    Check(!name.empty() && name.size() <= kMaxPlayerNameBytes);
    Check(name.find_first_of(std::string("\\,\n\0", 4)) == std::string::npos);
  }
  if (auto path = MapPicturePath("C:\\R", inspection.header.gameDir, inspection.header.mapName)) {
    Check(Utf16Length(*path) <= kMaxPathChars);  // characters: the demo's bytes are decoded
    // Only plain names: the picture can never be read from outside the mod's maps folder.
    for (const std::string* part : {&inspection.header.gameDir, &inspection.header.mapName}) {
      Check(part->find_first_of("\\/:") == std::string::npos && *part != "." && *part != "..");
    }
  }
  // The one-pass scan agrees with the three scans taken one by one.
  bool hltv = ScanHltv(image);
  Check(inspection.hltv == hltv);
  Check(inspection.buildNumber == (hltv ? 0 : ScanBuildNumber(image)));
  std::vector<std::string> names;
  if (!hltv) {
    ScanPlayerNames(image, [&](std::string_view n) {
      if (std::find(names.begin(), names.end(), n) == names.end()) names.emplace_back(n);
    });
  }
  if (names.size() > kMaxListedNames) names.resize(kMaxListedNames);
  Check(ScanMarkers(image).names == names);
  // The window's list tells names apart by letter case only after the scan
  // has kept them: the first distinct ones so told apart.
  std::vector<std::string> merged;
  std::set<std::string> keys;
  if (!hltv) {
    ScanPlayerNames(image, [&](std::string_view n) {
      if (keys.insert(FoldAsciiCase(n)).second && merged.size() < kMaxListedNames) merged.emplace_back(n);
    });
  }
  Check(inspection.playerNames == merged);
  Check(inspection.playersNotListed == keys.size() - merged.size());

  const DemoFacts more = ReadDemoFacts(image);
  CheckStreamed(image, {inspection, more});
  Check(!more.finished || ReadDirectory(image).has_value());
  // `info` and the repair go by one rule: where the repair does not refuse,
  // they agree on the playing time and the frames, and on whether the demo
  // was finished.
  Bytes copy(image.begin(), image.end());
  RepairReport report;
  const EditResult repair = RepairDemo(copy, report);
  if (!repair.refused) {
    Check(more.finished == !report.repaired);
    Check(more.frames == report.frames);
    Check(more.duration && *more.duration == report.duration);
  } else if (repair.refusal == text::kRepairCutInLoading || repair.refusal == text::kRepairNoGame) {
    Check(!more.finished && (!more.frames || *more.frames == 0));
  }
  Check(!more.duration || (std::isfinite(*more.duration) && *more.duration >= 0));
  Check(!more.frames || *more.frames >= 0);
  Check(more.server.has_value() == more.maxPlayers.has_value());
  Check(!more.maxPlayers || (*more.maxPlayers >= 1 && *more.maxPlayers <= kMaxClients));
  Check(!more.recorder || (!hltv && (more.rosterNotListed > 0 || std::find(more.roster.begin(), more.roster.end(),
                                                                            *more.recorder) != more.roster.end())));
  Check(more.roster.size() <= kMaxListedNames && (more.rosterNotListed == 0 || more.roster.size() == kMaxListedNames));
  for (std::size_t i = 0; i < more.roster.size(); ++i) {
    const std::string& name = more.roster[i];
    Check(!name.empty() && name.size() < kMaxInfoString && name.find_first_of(std::string("\\\0", 2)) == std::string::npos);
    Check(std::find(more.roster.begin(), more.roster.begin() + static_cast<std::ptrdiff_t>(i), name) ==
          more.roster.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return 0;
}
