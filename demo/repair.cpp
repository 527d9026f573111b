#include "demo/repair.h"

#include <algorithm>
#include <cmath>
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

// The directory's Playback entry of a finished demo.
const DirectoryEntry* PlaybackEntry(const Directory& directory) {
  for (const DirectoryEntry& e : directory.entries) {
    if (e.title == kPlaybackTitle) return &e;
  }
  return nullptr;
}

void PutFrameHeader(std::vector<std::uint8_t>& out, std::uint8_t type, float time, std::int32_t number) {
  std::uint8_t header[kFrameHeaderSize] = {type};
  std::uint32_t bits;
  std::memcpy(&bits, &time, sizeof bits);
  StoreU32LE(header + 1, bits);
  StoreI32LE(header + 5, number);
  out.insert(out.end(), header, header + kFrameHeaderSize);
}

void PutEntry(std::vector<std::uint8_t>& out, std::int32_t type, std::string_view title, float time,
              std::int64_t frames, std::size_t offset, std::size_t length) {
  std::uint8_t entry[kDirectoryEntrySize] = {};
  StoreI32LE(entry + kEntryTypeOffset, type);
  std::memcpy(entry + kEntryTitleOffset, title.data(), title.size());
  StoreI32LE(entry + kEntryFlagsOffset, 0);
  StoreI32LE(entry + kEntryCdTrackOffset, -1);  // as the game's client writes it
  std::uint32_t bits;
  std::memcpy(&bits, &time, sizeof bits);
  StoreU32LE(entry + kEntryTrackTimeOffset, bits);
  StoreI32LE(entry + kEntryFrameCountOffset, static_cast<std::int32_t>(frames));
  StoreI32LE(entry + kEntrySegmentOffsetOffset, static_cast<std::int32_t>(offset));
  StoreI32LE(entry + kEntrySegmentLengthOffset, static_cast<std::int32_t>(length));
  out.insert(out.end(), entry, entry + kDirectoryEntrySize);
}

}  // namespace

EditResult RepairDemo(MutableByteView image, RepairReport& report) {
  if (image.size() < kDemoProtocolOffset + 4 || !HasDemoSignature(image) ||
      LoadI32LE(image.data() + kDemoProtocolOffset) != kHeaderDemoProtocol) {
    return Refused(text::kRepairNotADemo);
  }
  if (image.size() <= kHeaderSize) return Refused(text::kRepairCutInLoading);
  if (ReadDirectory(image)) {
    const DemoWalk walk = WalkDemo(image, [](std::size_t, const Frame&) {});
    if (IsFinished(image, walk)) {
      const DirectoryEntry& playback = *PlaybackEntry(*walk.directory);
      report = RepairReport{};
      report.duration = playback.trackTime;
      report.frames = playback.frameCount;
      EditResult r;
      r.writeLength = image.size();
      return r;
    }
  }

  // LOADING, with the closing frames right after its own.
  const Segment loading = WalkSegment(image, kHeaderSize, image.size(), [](const Frame&) {});
  if (loading.how != SegmentEnd::kClosingFrame) return Refused(text::kRepairCutInLoading);
  const std::size_t playbackBegin = SkipClosingFrames(image, loading.end, image.size());

  // Playback, as far as it walks as the game's frames.
  std::size_t end = playbackBegin;
  std::int64_t networkFrames = 0;
  std::optional<Frame> last;
  bool closed = false;
  while (!closed) {
    std::optional<Frame> f = ReadFrame(image, end, image.size());
    if (!f || f->type == kFrameNetMsgStart || !std::isfinite(f->time) || (last && f->time < last->time)) break;
    networkFrames += f->type == kFrameNetMsg;
    closed = f->type == kFrameNextSection;
    end = f->end();
    last = f;
  }
  if (networkFrames == 0) return Refused(text::kRepairNoGame);

  std::vector<std::uint8_t> appended;
  if (!closed) {
    // 2^31 - 1 frames would take the game over a year at 60 a second.
    PutFrameHeader(appended, kFrameNextSection, last->time,
                   static_cast<std::int32_t>(static_cast<std::uint32_t>(last->number) + 1));
  }
  const float time = last->time;  // of the closing frame, the old one or ours
  if (std::uint64_t{end} + appended.size() + 4 + 2 * kDirectoryEntrySize >
      static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return Refused(text::kRepairTooLarge);
  }
  const std::size_t directory = end + appended.size();
  std::uint8_t count[4];
  StoreI32LE(count, 2);
  appended.insert(appended.end(), count, count + 4);
  PutEntry(appended, 0, kLoadingTitle, 0, 0, kHeaderSize, playbackBegin - kHeaderSize);
  PutEntry(appended, 1, kPlaybackTitle, time, networkFrames, playbackBegin, directory - playbackBegin);
  StoreI32LE(image.data() + kDirectoryOffsetOffset, static_cast<std::int32_t>(directory));

  report = RepairReport{};
  report.repaired = true;
  report.duration = time;
  report.frames = networkFrames;
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
  return out;
}

}  // namespace rewindor
