// Fuzzes the four edit steps against plain byte-by-byte versions of their
// rules (the fade and chat edits where no message decodes) and checks their properties: three keep the length, a second fade
// removal or chat strip changes nothing, the trim keeps the header and the
// data after the cut and lowers its fields by the cut, and a step reports no
// changes exactly when it changed nothing (so nothing is written). The
// repair leaves what it refuses or finds finished untouched, and what it
// mends is a finished demo, as `info` reads it, that keeps every byte it
// walked but the mended frames' times.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "demo/demo_format.h"
#include "demo/edits.h"
#include "demo/events.h"
#include "demo/facts.h"
#include "demo/net_messages.h"
#include "demo/repair.h"

using namespace rewindor;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

Bytes RefFades(Bytes b) {
  if (b.size() <= 11) return b;
  for (std::size_t i = 0; i + 12 <= b.size(); ++i) {
    if (std::memcmp(&b[i], kFadeToBlackPattern.data(), 11) == 0) std::memset(&b[i], 1, 11);
  }
  return b;
}

Bytes RefChat(Bytes b) {
  std::size_t p = 0;
  while (p < b.size()) {
    if (p == b.size() - 1 || b[p] != 0x4B) {
      ++p;
      continue;
    }
    std::size_t len = b[p + 1];
    if (len <= 2 || p + len + 2 > b.size()) {
      ++p;
      continue;
    }
    char text[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < 4 && i < len - 2 && b[p + 4 + i] != 0; ++i) text[i] = static_cast<char>(b[p + 4 + i]);
    bool team = std::memcmp(text, "(Ter", 4) == 0 || std::memcmp(text, "(Cou", 4) == 0 ||
                std::memcmp(text, "*DEA", 4) == 0;
    if (!team) {
      p += 5;
      continue;
    }
    b[p] = 0x4A;
    b[p + 2] = 2;
    b[p + 3] = 0;
    for (std::size_t i = 0; i < len - 2; ++i) b[p + 4 + i] = 0;
    p += len + 2;
  }
  return b;
}

Bytes RefConvert(Bytes b, std::uint16_t w, std::uint16_t h, std::uint16_t nw, std::uint16_t nh) {
  if (b.size() <= 14) return b;
  std::uint8_t search[14] = {0}, replace[14] = {0};
  search[8] = static_cast<std::uint8_t>(w), search[9] = static_cast<std::uint8_t>(w >> 8);
  search[12] = static_cast<std::uint8_t>(h), search[13] = static_cast<std::uint8_t>(h >> 8);
  replace[8] = static_cast<std::uint8_t>(nw), replace[9] = static_cast<std::uint8_t>(nw >> 8);
  replace[12] = static_cast<std::uint8_t>(nh), replace[13] = static_cast<std::uint8_t>(nh >> 8);
  for (std::size_t k = 0; k + 15 <= b.size(); ++k) {
    if (std::memcmp(&b[k], search, 14) == 0) std::memcpy(&b[k], replace, 14);
  }
  return b;
}

class IgnoringSink final : public MessageSink {
 public:
  void OnMessage(const FramePlace&, const NetMessage&) override {}
  void OnFrameEnd(const FramePlace&, const FrameFailure*) override {}
};

Bytes Applied(Bytes image, const EditResult& r) {
  return Bytes(image.begin() + static_cast<std::ptrdiff_t>(r.writeStart),
               image.begin() + static_cast<std::ptrdiff_t>(r.writeStart + r.writeLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // The first four bytes choose the sizes; the rest is the demo.
  const std::uint16_t w = static_cast<std::uint16_t>(data[0] % 8 == 0 ? 640 : 256 + data[0] * 4);
  const std::uint16_t h = static_cast<std::uint16_t>(data[1] % 8 == 0 ? 480 : 200 + data[1] * 3);
  const std::uint32_t nw = kAllowedWidths[data[2] % 8], nh = kAllowedHeights[data[3] % 8];
  const Bytes original(data + 4, data + size);

  // Where no message decodes, the fade and chat edits are their byte
  // patterns over the whole file; where messages decode, every byte they
  // change becomes a no-operation byte (or, in a frame that does not decode,
  // what the pattern writes), and once every frame decoded a second run
  // finds nothing.
  IgnoringSink ignoring;
  const DecodeTotals decoded = DecodeDemoMessages(original, ignoring);
  const bool patternsOnly = !decoded.notDecoded.empty() || decoded.frames == 0;
  // The events of the same messages: one at most per message, in file order.
  const DemoEvents events = ReadDemoEvents(original);
  for (std::size_t i = 1; i < events.events.size(); ++i) Check(events.events[i - 1].offset < events.events[i].offset);
  Check(events.totals.frames == decoded.frames && events.totals.failed == decoded.failed);

  Bytes fades = original;
  EditResult r = RemoveFadeToBlackStep(fades);
  Check(!r.refused && r.writeStart == 0 && r.writeLength == original.size() && !r.cutFile);
  if (patternsOnly) Check(fades == RefFades(original));
  for (std::size_t i = 0; i < fades.size(); ++i) Check(fades[i] == original[i] || fades[i] == kNopMessage);
  Check((r.changes == 0) == (fades == original));
  Bytes again = fades;
  if (patternsOnly || r.framesNotDecoded == 0) Check(RemoveFadeToBlackStep(again).changes == 0 && again == fades);

  Bytes chat = original;
  r = StripTeamChatStep(chat);
  Check(!r.refused && r.writeLength == original.size());
  if (patternsOnly) Check(chat == RefChat(original));
  for (std::size_t i = 0; i < chat.size(); ++i) {
    const bool byPattern = patternsOnly || r.framesNotDecoded > 0;
    Check(chat[i] == original[i] || chat[i] == kNopMessage || (byPattern && chat[i] <= 0x4A));
  }
  Check((r.changes == 0) == (chat == original));
  again = chat;
  if (patternsOnly || r.framesNotDecoded == 0) Check(StripTeamChatStep(again).changes == 0 && again == chat);

  Bytes sizes = original;
  r = ConvertResolutionStep(sizes, w, h, nw, nh);
  Check(!r.refused && r.writeLength == original.size());
  Check(sizes == RefConvert(original, w, h, static_cast<std::uint16_t>(nw), static_cast<std::uint16_t>(nh)));
  Check(r.changes > 0 || sizes == original);  // a record may be replaced by the same size

  Bytes trim = original;
  r = TrimLoadingSegmentStep(trim);
  if (r.refused) {
    Check(trim == original);  // a refusal leaves the image as it was
  } else {
    const Bytes out = Applied(trim, r);
    const std::size_t cut = original.size() - out.size();
    Check((r.changes == 0) == (out == original));
    Check(out.size() <= original.size() && out.size() >= kHeaderSize);
    Check(std::memcmp(out.data(), original.data(), 540) == 0);  // header up to directoryOffset
    Check(LoadI32LE(out.data() + kDirectoryOffsetOffset) ==
          LoadI32LE(original.data() + kDirectoryOffsetOffset) - static_cast<std::int32_t>(cut));
    // The kept data is the old data from 544 + cut, but for the directory
    // fields the trim lowered.
    std::size_t differing = 0;
    for (std::size_t i = kHeaderSize; i < out.size(); ++i) differing += out[i] != original[i + cut];
    Check(differing <= 4 * static_cast<std::size_t>(kMaxDirectoryEntries) * 4);
  }

  Bytes mended = original;
  RepairReport report;
  r = RepairDemo(mended, report);
  if (r.refused || r.changes == 0) {
    Check(mended == original && r.appended.empty() && !report.repaired);
  } else {
    Bytes out = Applied(mended, r);
    out.insert(out.end(), r.appended.begin(), r.appended.end());
    Check(report.repaired && r.writeStart == 0 && r.writeLength <= original.size());
    Check(report.bytesDropped == original.size() - r.writeLength);
    Check(std::memcmp(out.data(), original.data(), kDirectoryOffsetOffset) == 0);
    // Every byte walked is kept, but for the time and number of a mended frame.
    std::size_t differing = 0;
    for (std::size_t i = kHeaderSize; i < r.writeLength; ++i) differing += out[i] != original[i];
    Check(differing <= 8 * report.mendedTimes);
    // What the repair wrote is finished, and `info` reads what the repair said.
    const DemoFacts facts = ReadDemoFacts(out);
    Check(facts.finished && facts.frames == report.frames);
    Check(facts.duration && *facts.duration == report.duration);
    Bytes twice = out;
    RepairReport second;
    r = RepairDemo(twice, second);
    Check(!r.refused && r.changes == 0 && twice == out && second.frames == report.frames);
    Check(second.mendedTimes == 0);
  }
  return 0;
}
