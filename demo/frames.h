// The one place that knows how a demo's frames are laid out: the directory at
// the end of the file, the frames of each segment, the rule by which the
// frames after LOADING run, and a walk over the whole demo that reads every
// frame once, whatever the directory claims.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "demo/bytes.h"
#include "demo/demo_format.h"

namespace rewindor {

// The titles the game gives its two segments.
inline constexpr std::string_view kLoadingTitle = "LOADING";
inline constexpr std::string_view kPlaybackTitle = "Playback";

struct DirectoryEntry {
  std::int32_t type = 0;
  std::string title;  // up to its first zero byte
  std::int32_t cdTrack = -1;
  float trackTime = 0;
  std::int32_t frameCount = 0;
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

struct Directory {
  std::size_t offset = 0;  // of the entry count
  std::vector<DirectoryEntry> entries;
};

// Where the walk reads a demo's bytes: the whole image in memory
// (ImageSource), or a file read front to back through a window (FileWindow,
// file_window.h). Bytes(pos, n) gives the n bytes at pos, or fewer when they
// are not all in the file or cannot be read; a view stays valid until the
// next call. Aside(pos, n) is the same for a read away from the walk (the
// directory). Hold(pos) tells that the walk will soon read again from `pos`
// on, and needs nothing before it.
template <class S>
concept FrameSource = requires(S& s, std::size_t pos, std::size_t n) {
  { s.size() } -> std::convertible_to<std::size_t>;
  { s.Bytes(pos, n) } -> std::same_as<ByteView>;
  { s.Aside(pos, n) } -> std::same_as<ByteView>;
  s.Hold(pos);
};

class ImageSource {
 public:
  explicit ImageSource(ByteView image) : image_(image) {}
  std::size_t size() const { return image_.size(); }
  ByteView Bytes(std::size_t pos, std::size_t n) const {
    return pos > image_.size() ? ByteView{} : image_.subspan(pos, std::min(n, image_.size() - pos));
  }
  ByteView Aside(std::size_t pos, std::size_t n) const { return Bytes(pos, n); }
  void Hold(std::size_t) {}

 private:
  ByteView image_;
};

// The directory named at byte 540, when it stands whole in the file after the
// header: 1 to 1,024 entries, the last one ending at or before the file's end.
// None for a demo the game never finished (0 there) or a damaged one.
std::optional<Directory> ReadDirectory(ByteView image);
template <FrameSource Source>
std::optional<Directory> ReadDirectory(Source& source);
// The directory at `offset` with `count` entries, given their bytes.
Directory DirectoryAt(std::size_t offset, std::int32_t count, ByteView entries);

// One whole frame.
struct Frame {
  std::size_t offset = 0;  // of its 9-byte header
  std::size_t size = 0;    // header and body
  std::uint8_t type = 0;
  float time = 0;
  std::int32_t number = 0;
  // The walk gave it the time and number above in place of the damaged ones
  // it holds (PlaybackRun's kMend).
  bool mended = false;
  // While the walk visits a network frame: its bytes, whole (empty for the
  // other types, and outside the visit).
  ByteView bytes;

  std::size_t end() const { return offset + size; }
  bool IsNetwork() const { return type == kFrameNetMsgStart || type == kFrameNetMsg; }
};

// The frame at `pos`, when a whole frame of a known type stands there before
// `end`: a network frame's messages within the engine's limit, a sound's
// sample and a demo buffer's bytes of a non-negative length that fits.
std::optional<Frame> ReadFrame(ByteView image, std::size_t pos, std::size_t end);
template <FrameSource Source>
std::optional<Frame> ReadFrame(Source& source, std::size_t pos, std::size_t end);

// A frame's first bytes, as many as tell its type and size (a network
// frame's fixed part and length).
inline constexpr std::size_t kMaxFrameHead = kNetMsgDataOffset;
// The largest network frame.
inline constexpr std::size_t kMaxNetworkFrame = kNetMsgDataOffset + kMaxNetMsgLength;
// ReadFrame given the frame's first bytes at `pos`: up to kMaxFrameHead, or
// to `end` when that comes sooner.
std::optional<Frame> FrameFromHead(ByteView head, std::size_t pos, std::size_t end);

// A network frame's fixed part (after the frame header, before the length)
// and its message bytes.
ByteView NetworkFixedPart(ByteView image, const Frame& frame);
ByteView NetworkMessages(ByteView image, const Frame& frame);
// The same from the bytes of a frame being visited.
ByteView NetworkFixedPart(const Frame& frame);
ByteView NetworkMessages(const Frame& frame);

// A frame's place in time: its time in seconds since the segment began and
// its frame number.
struct FrameStamp {
  float time = 0;
  std::int32_t number = 0;
};

// How far apart two frames of Playback may lie. Measured on the real
// recordings (8 protocol-48 demos: client, listen server, single-player and
// HLTV): Playback starts with a demo-start frame at time 0, number 0; times
// never run backwards, and the largest step between two frames is 1.055 s
// (a client demo on a public server; 0.064 s in the HLTV demo, at most
// 0.021 s in the others); frame numbers never fall and grow by 0 or 1 from one frame
// to the next (the frames of one tick share a number). The bounds leave a
// margin of over 50 times: a step of up to a minute and 60,000 frame numbers
// (a minute at the engine's highest rate of 1,000 frames a second). A longer
// pause is still taken when the frame after it carries on from it.
inline constexpr double kMaxFrameTimeStep = 60;
inline constexpr std::int64_t kMaxFrameNumberStep = 60000;
inline constexpr double kMaxFrameGap = 3600;  // seconds; numbers then at most 1,000 a second more
inline constexpr double kMaxFramesPerSecond = 1000;

// The one rule by which a segment after LOADING (Playback) runs, shared by
// the facts and the repair. Frames are judged one by one, each with the whole
// frame after it (`next`: none at the end of what walks, after a type-0
// frame and after a closing frame):
//  - kKeep: it follows the last frame kept (time and number within the steps
//    above; a longer pause when `next` follows it), and does not stand out of
//    a sequence that `next` carries on without it;
//  - kMend: its time or number is damaged (not a number, running backwards,
//    far ahead) but `next` carries on from the last frame kept: it is kept,
//    with that frame's time and number in place of its own, so that the game
//    plays it at once after it;
//  - kEnd: neither; Playback ends before it. So a garbage tail ends it.
// A frame with nothing whole after it (`next` none) has no frame to vouch for
// a pause before it: a closing frame is still kept after any pause within the
// bounds, as a frame the next one carries on from is, and the last whole frame
// of a cut demo when its number carries on within a step.
// The segment is taken to start at time 0, number 0, as every real one does;
// its first frame may start anywhere else (a non-negative time and number)
// when `next` follows it.
class PlaybackRun {
 public:
  enum class Verdict : std::uint8_t { kKeep, kMend, kEnd };
  Verdict Judge(const Frame& frame, const std::optional<Frame>& next);
  // Keeps the frame as it is, unjudged: the directory vouches for it.
  void Keep(const Frame& frame);
  // The last frame kept, as kept: a mended frame takes this stamp.
  const FrameStamp& last() const { return last_; }

 private:
  FrameStamp last_;
  bool started_ = false;  // a frame was kept or mended
};

// A run of frames: LOADING, Playback or a later segment.
struct Segment {
  std::size_t begin = 0;
  std::size_t end = 0;              // after its last frame, and the closing frames right after that
  bool closed = false;              // it ends with its own closing frame
  std::uint64_t frames = 0;         // walked, its closing frame included, those right after it not
  std::uint64_t networkFrames = 0;  // of type 1
  std::uint64_t mendedFrames = 0;
  FrameStamp last;  // of its last frame (the closing frame of a closed one), as kept
};

struct DemoWalk {
  std::optional<Directory> directory;
  // In file order: LOADING (the frames from the end of the header to its
  // closing frame), then Playback, then any later segment; each after the
  // closing frames that end the one before.
  std::vector<Segment> segments;
  // The game finished writing the demo: the directory describes exactly the
  // segments walked (AgreesWithDirectory).
  bool finished = false;

  // The segment after LOADING, when one walked.
  const Segment* playback() const { return segments.size() > 1 ? &segments[1] : nullptr; }
  std::uint64_t frames() const;
  std::uint64_t mendedFrames() const;
};

// Walks the whole demo once, calling visit(segment, frame) for every frame
// kept, where `segment` indexes the walk's segments; a mended frame comes
// with its mended time and number. LOADING is walked from the end of the
// header to its closing frame, every later segment by PlaybackRun's rule, and
// a new segment starts after a closing frame while it starts before the
// directory (or before the file's end when there is none), up to
// kMaxDirectoryEntries segments. The directory only vouches: where the rule
// would mend or end a segment whose directory entry starts where it does,
// and the frames from there on run whole to a closing frame exactly as the
// entry describes the segment (EntryDescribes), they are kept as they are,
// whatever pauses they hold. The rule's bounds judge only what the directory
// does not vouch for: an unfinished demo's tail. Each frame is read once, and
// those after the first the rule would not keep at most once more (once per
// segment): the cost is linear in the file's size, whatever the directory
// holds.
// The same through a source, which is read front to back but for the
// directory and those frames read once more.
template <class Visit>
DemoWalk WalkDemo(ByteView image, Visit&& visit);
template <FrameSource Source, class Visit>
DemoWalk WalkDemo(Source& source, Visit&& visit);

// The whole frame at `pos` that Playback may hold: none for a type-0 frame.
std::optional<Frame> ReadPlaybackFrame(ByteView image, std::size_t pos);
template <FrameSource Source>
std::optional<Frame> ReadPlaybackFrame(Source& source, std::size_t pos);

// The end of the closing frames that stand from `pos` on, within `limit`.
std::size_t ClosingFramesEnd(ByteView image, std::size_t pos, std::size_t limit);
template <FrameSource Source>
std::size_t ClosingFramesEnd(Source& source, std::size_t pos, std::size_t limit);

// Whether the directory entry at `index` describes the segment exactly: at
// its offset and of its length, the segment closed and not mended; from
// Playback on, with its network frames and its closing frame's time.
bool EntryDescribes(const DirectoryEntry& entry, std::size_t index, const Segment& segment);

// Whether `entry` (at `index`) vouches for the frames from `frame` on: they
// run whole to a closing frame, and `sofar` (the segment before `frame`) with
// them is the segment the entry describes, ending before `limit`.
bool EntryVouches(ByteView image, const DirectoryEntry& entry, std::size_t index, const Segment& sofar,
                  const Frame& frame, std::size_t limit);
template <FrameSource Source>
bool EntryVouches(Source& source, const DirectoryEntry& entry, std::size_t index, const Segment& sofar,
                  const Frame& frame, std::size_t limit);

// Whether the directory describes exactly what was walked: one entry for each
// segment, in order, each at its segment's offset and of its length, every
// segment closed and none mended, the last one ending where the directory
// begins; the second entry titled Playback, with its network frames and its
// closing frame's time. Anything else is damage, whatever the game can play.
bool AgreesWithDirectory(const DemoWalk& walk);

template <FrameSource Source>
std::optional<Directory> ReadDirectory(Source& source) {
  const std::size_t size = source.size();
  if (size < kHeaderSize) return std::nullopt;
  const ByteView header = source.Bytes(0, kHeaderSize);
  if (header.size() != kHeaderSize) return std::nullopt;
  const std::int64_t offset = ByteReader(header, kDirectoryOffsetOffset).I32();
  if (offset < static_cast<std::int64_t>(kHeaderSize) || offset >= static_cast<std::int64_t>(size) ||
      size - static_cast<std::size_t>(offset) < 4) {
    return std::nullopt;
  }
  const auto at = static_cast<std::size_t>(offset);
  const ByteView countBytes = source.Aside(at, 4);
  if (countBytes.size() != 4) return std::nullopt;
  const std::int32_t count = ByteReader(countBytes).I32();
  if (count < 1 || count > kMaxDirectoryEntries ||
      size - at - 4 < static_cast<std::uint64_t>(count) * kDirectoryEntrySize) {
    return std::nullopt;
  }
  const std::size_t length = static_cast<std::size_t>(count) * kDirectoryEntrySize;
  const ByteView entries = source.Aside(at + 4, length);
  if (entries.size() != length) return std::nullopt;
  return DirectoryAt(at, count, entries);
}

template <FrameSource Source>
std::optional<Frame> ReadFrame(Source& source, std::size_t pos, std::size_t end) {
  if (end > source.size() || pos >= end) return std::nullopt;
  return FrameFromHead(source.Bytes(pos, std::min(end - pos, kMaxFrameHead)), pos, end);
}

template <FrameSource Source>
std::optional<Frame> ReadPlaybackFrame(Source& source, std::size_t pos) {
  std::optional<Frame> f = ReadFrame(source, pos, source.size());
  if (f && f->type == kFrameNetMsgStart) return std::nullopt;
  return f;
}

template <FrameSource Source>
std::size_t ClosingFramesEnd(Source& source, std::size_t pos, std::size_t limit) {
  for (std::optional<Frame> f = ReadFrame(source, pos, limit); f && f->type == kFrameNextSection;
       f = ReadFrame(source, pos, limit)) {
    pos = f->end();
  }
  return pos;
}

template <FrameSource Source>
bool EntryVouches(Source& source, const DirectoryEntry& entry, std::size_t index, const Segment& sofar,
                  const Frame& frame, std::size_t limit) {
  // Both are 32-bit in the file: their sum cannot overflow.
  const std::int64_t end = entry.offset + entry.length;
  if (entry.length <= 0 || end > static_cast<std::int64_t>(limit)) return false;
  Segment s = sofar;
  for (std::optional<Frame> f = frame; f; f = ReadPlaybackFrame(source, f->end())) {
    if (static_cast<std::int64_t>(f->end()) > end) return false;
    ++s.frames;
    s.networkFrames += f->type == kFrameNetMsg;
    s.last = {f->time, f->number};
    if (f->type == kFrameNextSection) {
      s.closed = true;
      s.end = ClosingFramesEnd(source, f->end(), limit);
      return EntryDescribes(entry, index, s);
    }
  }
  return false;
}

// Gives a network frame its bytes for the visit; false when the source cannot
// (it failed to read them), which ends the walk.
template <FrameSource Source>
bool ShowFrame(Source& source, Frame& frame) {
  if (!frame.IsNetwork()) return true;
  frame.bytes = source.Bytes(frame.offset, frame.size);
  return frame.bytes.size() == frame.size;
}

template <FrameSource Source, class Visit>
Segment WalkLoading(Source& source, std::size_t limit, Visit&& visit) {
  Segment s;
  s.begin = s.end = kHeaderSize;
  for (std::optional<Frame> f = ReadFrame(source, s.end, source.size()); f && ShowFrame(source, *f);
       f = ReadFrame(source, s.end, source.size())) {
    visit(*f);
    ++s.frames;
    s.networkFrames += f->type == kFrameNetMsg;
    s.end = f->end();
    s.last = {f->time, f->number};
    if (f->type == kFrameNextSection) {
      s.closed = true;
      s.end = ClosingFramesEnd(source, s.end, limit);
      break;
    }
  }
  return s;
}

// The segment from `begin`, the `index`th of the demo; `entry` the directory's
// entry for it when one starts at `begin`.
template <FrameSource Source, class Visit>
Segment WalkPlayback(Source& source, std::size_t begin, std::size_t limit, std::size_t index,
                     const DirectoryEntry* entry, Visit&& visit) {
  Segment s;
  s.begin = s.end = begin;
  PlaybackRun run;
  bool vouched = false;  // the entry vouches for every frame from here to the segment's end
  for (std::optional<Frame> frame = ReadPlaybackFrame(source, begin); frame;) {
    source.Hold(frame->IsNetwork() ? frame->offset : frame->end());
    std::optional<Frame> next =
        frame->type == kFrameNextSection ? std::nullopt : ReadPlaybackFrame(source, frame->end());
    PlaybackRun::Verdict verdict = vouched ? PlaybackRun::Verdict::kKeep : run.Judge(*frame, next);
    if (verdict != PlaybackRun::Verdict::kKeep && entry) {
      vouched = EntryVouches(source, *entry, index, s, *frame, limit);
      entry = nullptr;  // asked once
      if (vouched) verdict = PlaybackRun::Verdict::kKeep;
    }
    if (vouched) run.Keep(*frame);
    if (verdict == PlaybackRun::Verdict::kEnd || !ShowFrame(source, *frame)) break;
    if (verdict == PlaybackRun::Verdict::kMend) {
      frame->time = run.last().time;
      frame->number = run.last().number;
      frame->mended = true;
      ++s.mendedFrames;
    }
    visit(*frame);
    ++s.frames;
    s.networkFrames += frame->type == kFrameNetMsg;
    s.end = frame->end();
    if (frame->type == kFrameNextSection) {
      s.closed = true;
      s.end = ClosingFramesEnd(source, s.end, limit);
      break;
    }
    frame = next;
  }
  s.last = run.last();
  return s;
}

template <FrameSource Source, class Visit>
DemoWalk WalkDemo(Source& source, Visit&& visit) {
  DemoWalk walk;
  if (source.size() <= kHeaderSize) return walk;
  walk.directory = ReadDirectory(source);
  const std::size_t limit = walk.directory ? walk.directory->offset : source.size();
  Segment loading = WalkLoading(source, limit, [&](const Frame& f) { visit(std::size_t{0}, f); });
  if (loading.frames == 0) return walk;
  walk.segments.push_back(loading);
  // The game plays no directory of more entries than kMaxDirectoryEntries.
  while (walk.segments.size() < static_cast<std::size_t>(kMaxDirectoryEntries) && walk.segments.back().closed &&
         walk.segments.back().end < limit) {
    const std::size_t index = walk.segments.size();
    const std::size_t begin = walk.segments.back().end;
    const DirectoryEntry* entry = nullptr;
    if (walk.directory && index < walk.directory->entries.size() &&
        walk.directory->entries[index].offset == static_cast<std::int64_t>(begin)) {
      entry = &walk.directory->entries[index];
    }
    Segment s = WalkPlayback(source, begin, limit, index, entry, [&](const Frame& f) { visit(index, f); });
    if (s.frames == 0) break;
    walk.segments.push_back(s);
  }
  walk.finished = AgreesWithDirectory(walk);
  return walk;
}

template <class Visit>
DemoWalk WalkDemo(ByteView image, Visit&& visit) {
  ImageSource source(image);
  return WalkDemo(source, std::forward<Visit>(visit));
}

}  // namespace rewindor
