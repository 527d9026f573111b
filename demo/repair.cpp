#include "demo/repair.h"

#include <cstring>
#include <limits>
#include <optional>

#include "demo/demo_format.h"
#include "demo/facts.h"
#include "demo/frames.h"
#include "demo/messages.h"

namespace rewindor {

namespace {

EditResult Refused(std::string_view why) { return EditResult::Refusal(why); }

void PutFrameHeader(std::vector<std::uint8_t>& out, std::uint8_t type, FrameStamp stamp) {
  std::uint8_t header[kFrameHeaderSize] = {type};
  StoreF32LE(header + 1, stamp.time);
  StoreI32LE(header + 5, stamp.number);
  out.insert(out.end(), header, header + kFrameHeaderSize);
}

// The CD track of the old directory's entry `index` (or of its first entry)
// where it could be read; the game's client writes -1.
std::int32_t CdTrackOf(const std::optional<Directory>& old, std::size_t index) {
  if (!old) return -1;
  return old->entries[index < old->entries.size() ? index : 0].cdTrack;
}

// The directory for the segments walked, the last one `closing` bytes longer.
void PutDirectory(std::vector<std::uint8_t>& out, const DemoWalk& walk, std::size_t closing) {
  std::uint8_t count[4];
  StoreI32LE(count, static_cast<std::int32_t>(walk.segments.size()));
  out.insert(out.end(), count, count + 4);
  for (std::size_t i = 0; i < walk.segments.size(); ++i) {
    const Segment& s = walk.segments[i];
    const bool loading = i == 0;
    const std::string_view title = loading ? kLoadingTitle : kPlaybackTitle;
    std::uint8_t entry[kDirectoryEntrySize] = {};
    StoreI32LE(entry + kEntryTypeOffset, loading ? 0 : 1);
    std::memcpy(entry + kEntryTitleOffset, title.data(), title.size());
    StoreI32LE(entry + kEntryCdTrackOffset, CdTrackOf(walk.directory, i));
    StoreF32LE(entry + kEntryTrackTimeOffset, loading ? 0.0f : s.last.time);
    StoreI32LE(entry + kEntryFrameCountOffset, loading ? 0 : static_cast<std::int32_t>(s.networkFrames));
    StoreI32LE(entry + kEntrySegmentOffsetOffset, static_cast<std::int32_t>(s.begin));
    const std::size_t length = s.end - s.begin + (i + 1 == walk.segments.size() ? closing : 0);
    StoreI32LE(entry + kEntrySegmentLengthOffset, static_cast<std::int32_t>(length));
    out.insert(out.end(), entry, entry + kDirectoryEntrySize);
  }
}

// Writes the mended times and numbers into the frames the walk mended.
void MendFrames(MutableByteView image) {
  WalkDemo(image, [&](std::size_t, const Frame& frame) {
    if (!frame.mended) return;
    StoreF32LE(image.data() + frame.offset + 1, frame.time);
    StoreI32LE(image.data() + frame.offset + 5, frame.number);
  });
}

void Report(RepairReport& report, const DemoWalk& walk, bool repaired) {
  report = RepairReport{};
  report.repaired = repaired;
  report.duration = walk.playback()->last.time;
  report.frames = static_cast<std::int64_t>(walk.playback()->networkFrames);
  report.mendedTimes = walk.mendedFrames();
}

}  // namespace

EditResult RepairDemo(MutableByteView image, RepairReport& report) {
  if (!HasDemoSignature(image) || ByteReader(image, kDemoProtocolOffset).I32() != kHeaderDemoProtocol) {
    return Refused(text::kRepairNotADemo);
  }
  const DemoWalk walk = WalkDemo(image, [](std::size_t, const Frame&) {});
  if (walk.finished) {
    Report(report, walk, false);
    EditResult r;
    r.writeLength = image.size();
    return r;
  }
  if (walk.segments.empty() || !walk.segments[0].closed) return Refused(text::kRepairCutInLoading);
  if (!walk.playback() || walk.playback()->networkFrames == 0) return Refused(text::kRepairNoGame);

  // Every frame walked is kept; the last segment gets a closing frame when
  // it has none, with its last frame's time and the next number (2^31 - 1
  // frames would take the game over a year at 60 a second).
  const Segment& last = walk.segments.back();
  std::vector<std::uint8_t> appended;
  if (!last.closed) {
    PutFrameHeader(appended, kFrameNextSection,
                   {last.last.time, static_cast<std::int32_t>(static_cast<std::uint32_t>(last.last.number) + 1)});
  }
  const std::size_t closing = appended.size();
  const std::size_t end = last.end;
  if (std::uint64_t{end} + closing + 4 + walk.segments.size() * kDirectoryEntrySize >
      static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return Refused(text::kRepairTooLarge);
  }
  PutDirectory(appended, walk, closing);
  if (walk.mendedFrames() > 0) MendFrames(image);
  StoreI32LE(image.data() + kDirectoryOffsetOffset, static_cast<std::int32_t>(end + closing));

  Report(report, walk, true);
  report.bytesDropped = image.size() - end;
  EditResult r;
  r.changes = 1;
  r.writeLength = end;
  r.cutFile = end + appended.size() < image.size();
  r.appended = std::move(appended);
  return r;
}

std::string RepairResultText(const RepairReport& report) {
  if (!report.repaired) return text::kDemoNotBroken;
  std::string out = text::kDemoRepaired;
  auto put = [&](std::string_view placeholder, const std::string& value) {
    const std::size_t at = out.find(placeholder);
    if (at != std::string::npos) out.replace(at, placeholder.size(), value);
  };
  put("%s", PlayingTimeText(report.duration));
  put("%d", std::to_string(report.frames));
  put("%d", std::to_string(report.bytesDropped));
  if (report.mendedTimes > 0) {
    std::string mended = text::kFrameTimesMended;
    mended.replace(mended.find("%d"), 2, std::to_string(report.mendedTimes));
    out += mended;
  }
  return out;
}

}  // namespace rewindor
