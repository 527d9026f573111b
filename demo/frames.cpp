#include "demo/frames.h"

#include <cmath>
#include <cstring>

namespace rewindor {

std::optional<Directory> ReadDirectory(ByteView image) {
  ImageSource source(image);
  return ReadDirectory(source);
}

namespace {

// The entry's fields lie one after another, as they are read.
static_assert(kEntryTitleOffset == kEntryTypeOffset + 4 && kEntryFlagsOffset == kEntryTitleOffset + kEntryTitleSize &&
              kEntryCdTrackOffset == kEntryFlagsOffset + 4 && kEntryTrackTimeOffset == kEntryCdTrackOffset + 4 &&
              kEntryFrameCountOffset == kEntryTrackTimeOffset + 4 &&
              kEntrySegmentOffsetOffset == kEntryFrameCountOffset + 4 &&
              kEntrySegmentLengthOffset == kEntrySegmentOffsetOffset + 4 &&
              kDirectoryEntrySize == kEntrySegmentLengthOffset + 4);

DirectoryEntry ReadDirectoryEntry(ByteReader& r) {
  DirectoryEntry entry;
  entry.type = r.I32();
  const ByteView title = r.Take(kEntryTitleSize);
  const auto zero = std::find(title.begin(), title.end(), std::uint8_t{0});  // up to its first zero byte
  entry.title = AsString(title.first(static_cast<std::size_t>(zero - title.begin())));
  r.Skip(4);  // the flags
  entry.cdTrack = r.I32();
  entry.trackTime = r.F32();
  entry.frameCount = r.I32();
  entry.offset = r.I32();
  entry.length = r.I32();
  return entry;
}

}  // namespace

Directory DirectoryAt(std::size_t offset, std::int32_t count, ByteView entries) {
  ByteReader r(entries);
  Directory directory;
  directory.offset = offset;
  directory.entries.reserve(static_cast<std::size_t>(count));
  for (std::int32_t e = 0; e < count; ++e) {
    DirectoryEntry entry = ReadDirectoryEntry(r);
    if (!r.ok()) break;
    directory.entries.push_back(std::move(entry));
  }
  return directory;
}

std::optional<Frame> ReadFrame(ByteView image, std::size_t pos, std::size_t end) {
  ImageSource source(image);
  return ReadFrame(source, pos, end);
}

std::optional<Frame> FrameFromHead(ByteView head, std::size_t pos, std::size_t end) {
  ByteReader r(head);
  Frame f;
  f.offset = pos;
  f.type = r.U8();
  f.time = r.F32();
  f.number = r.I32();
  std::uint64_t size = kFrameHeaderSize;  // with what follows the head
  switch (f.type) {
    case kFrameNetMsgStart:
    case kFrameNetMsg: {
      r.Skip(kNetMsgFixedSize);
      const std::uint32_t length = r.U32();
      if (length > kMaxNetMsgLength) return std::nullopt;
      size = kNetMsgDataOffset + std::uint64_t{length};
      break;
    }
    case kFrameDemoStart:
    case kFrameNextSection: break;
    case kFrameConsoleCommand: size += kConsoleCommandSize; break;
    case kFrameClientData: size += kClientDataSize; break;
    case kFrameEvent: size += kEventSize; break;
    case kFrameWeaponAnim: size += kWeaponAnimSize; break;
    case kFrameSound: {
      r.Skip(4);  // channel
      const std::int32_t sample = r.I32();
      if (sample < 0) return std::nullopt;
      size += 8 + static_cast<std::uint64_t>(sample) + kSoundTailSize;
      break;
    }
    case kFrameDemoBuffer: {
      const std::int32_t length = r.I32();
      if (length < 0) return std::nullopt;
      size += 4 + static_cast<std::uint64_t>(length);
      break;
    }
    default: return std::nullopt;
  }
  if (!r.ok() || end < pos || size > end - pos) return std::nullopt;
  f.size = static_cast<std::size_t>(size);
  return f;
}

ByteView NetworkFixedPart(ByteView image, const Frame& frame) {
  if (!frame.IsNetwork()) return {};
  return image.subspan(frame.offset + kFrameHeaderSize, kNetMsgFixedSize);
}

ByteView NetworkMessages(ByteView image, const Frame& frame) {
  if (!frame.IsNetwork()) return {};
  return image.subspan(frame.offset + kNetMsgDataOffset, frame.size - kNetMsgDataOffset);
}

ByteView NetworkFixedPart(const Frame& frame) {
  if (!frame.IsNetwork() || frame.bytes.size() < kNetMsgDataOffset) return {};
  return frame.bytes.subspan(kFrameHeaderSize, kNetMsgFixedSize);
}

ByteView NetworkMessages(const Frame& frame) {
  if (!frame.IsNetwork() || frame.bytes.size() < kNetMsgDataOffset) return {};
  return frame.bytes.subspan(kNetMsgDataOffset);
}

namespace {

// `to` follows `from` closely: neither its time nor its number falls, and
// each grows by no more than a step.
bool Follows(const FrameStamp& from, const Frame& to) {
  const double seconds = static_cast<double>(to.time) - from.time;
  const std::int64_t numbers = std::int64_t{to.number} - from.number;
  return std::isfinite(to.time) && seconds >= 0 && seconds <= kMaxFrameTimeStep && numbers >= 0 &&
         numbers <= kMaxFrameNumberStep;
}

// `to` lies after `from` by a pause longer than a step, but one the game
// could have recorded: within an hour, the numbers not beyond the engine's
// highest frame rate.
bool PauseBefore(const FrameStamp& from, const Frame& to) {
  const double seconds = static_cast<double>(to.time) - from.time;
  const std::int64_t numbers = std::int64_t{to.number} - from.number;
  return std::isfinite(to.time) && seconds > 0 && seconds <= kMaxFrameGap && numbers >= 0 &&
         static_cast<double>(numbers) <= kMaxFrameNumberStep + kMaxFramesPerSecond * seconds;
}

// `to` lies after `from` by a pause the bounds allow, its number within a step:
// the last whole frame of a cut demo, with no frame after it to carry it on.
bool PauseAtEnd(const FrameStamp& from, const Frame& to) {
  return PauseBefore(from, to) && std::int64_t{to.number} - from.number <= kMaxFrameNumberStep;
}

FrameStamp StampOf(const Frame& f) { return {f.time, f.number}; }

// A time and number a segment's first frame may start at.
bool Usable(const Frame& f) { return std::isfinite(f.time) && f.time >= 0 && f.number >= 0; }

}  // namespace

PlaybackRun::Verdict PlaybackRun::Judge(const Frame& frame, const std::optional<Frame>& next) {
  // In the order that decides the common case (each frame follows the last
  // and is followed by the next) with two comparisons.
  const bool nextFromFrame = next && Follows(StampOf(frame), *next);
  bool keep = false;
  if (Follows(last_, frame)) {
    keep = nextFromFrame || !(next && Follows(last_, *next));
  } else if (next) {
    keep = nextFromFrame && (PauseBefore(last_, frame) || (!started_ && Usable(frame)));
  } else if (started_) {
    keep = frame.type == kFrameNextSection ? PauseBefore(last_, frame) : PauseAtEnd(last_, frame);
  }
  const bool mend = !keep && next && Follows(last_, *next);
  started_ = started_ || keep || mend;
  if (keep) last_ = StampOf(frame);
  return keep ? Verdict::kKeep : mend ? Verdict::kMend : Verdict::kEnd;
}

void PlaybackRun::Keep(const Frame& frame) {
  started_ = true;
  last_ = StampOf(frame);
}

std::uint64_t DemoWalk::frames() const {
  std::uint64_t n = 0;
  for (const Segment& s : segments) n += s.frames;
  return n;
}

std::uint64_t DemoWalk::mendedFrames() const {
  std::uint64_t n = 0;
  for (const Segment& s : segments) n += s.mendedFrames;
  return n;
}

std::optional<Frame> ReadPlaybackFrame(ByteView image, std::size_t pos) {
  ImageSource source(image);
  return ReadPlaybackFrame(source, pos);
}

std::size_t ClosingFramesEnd(ByteView image, std::size_t pos, std::size_t limit) {
  ImageSource source(image);
  return ClosingFramesEnd(source, pos, limit);
}

bool EntryDescribes(const DirectoryEntry& entry, std::size_t index, const Segment& segment) {
  if (!segment.closed || segment.mendedFrames > 0 || entry.offset != static_cast<std::int64_t>(segment.begin) ||
      entry.length != static_cast<std::int64_t>(segment.end - segment.begin)) {
    return false;
  }
  return index != 1 ||
         (entry.title == kPlaybackTitle && entry.frameCount == static_cast<std::int64_t>(segment.networkFrames) &&
          entry.trackTime == segment.last.time);
}

bool EntryVouches(ByteView image, const DirectoryEntry& entry, std::size_t index, const Segment& sofar,
                  const Frame& frame, std::size_t limit) {
  ImageSource source(image);
  return EntryVouches(source, entry, index, sofar, frame, limit);
}

bool AgreesWithDirectory(const DemoWalk& walk) {
  if (!walk.directory || !walk.playback() || walk.directory->entries.size() != walk.segments.size() ||
      walk.segments.back().end != walk.directory->offset) {
    return false;
  }
  for (std::size_t i = 0; i < walk.segments.size(); ++i) {
    if (!EntryDescribes(walk.directory->entries[i], i, walk.segments[i])) return false;
  }
  return true;
}

}  // namespace rewindor
