// The one place that knows how a demo's frames are laid out: the directory at
// the end of the file, the frames of each segment, and a walk over the whole
// demo that reads every byte at most once, whatever the directory claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
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
  float trackTime = 0;
  std::int32_t frameCount = 0;
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

struct Directory {
  std::size_t offset = 0;  // of the entry count
  std::vector<DirectoryEntry> entries;
};

// The directory named at byte 540, when it stands whole in the file after the
// header: 1 to 1,024 entries, the last one ending at or before the file's end.
// None for a demo the game never finished (0 there) or a damaged one.
std::optional<Directory> ReadDirectory(ByteView image);

// One whole frame.
struct Frame {
  std::size_t offset = 0;  // of its 9-byte header
  std::size_t size = 0;    // header and body
  std::uint8_t type = 0;
  float time = 0;
  std::int32_t number = 0;

  std::size_t end() const { return offset + size; }
  bool IsNetwork() const { return type == kFrameNetMsgStart || type == kFrameNetMsg; }
};

// The frame at `pos`, when a whole frame of a known type stands there before
// `end`: a network frame's messages within the engine's limit, a sound's
// sample and a demo buffer's bytes of a non-negative length that fits.
std::optional<Frame> ReadFrame(ByteView image, std::size_t pos, std::size_t end);

// A network frame's fixed part (after the frame header, before the length)
// and its message bytes.
ByteView NetworkFixedPart(ByteView image, const Frame& frame);
ByteView NetworkMessages(ByteView image, const Frame& frame);

// How a run of frames ended.
enum class SegmentEnd : std::uint8_t {
  kClosingFrame,  // its type-5 frame, included in the run
  kEnd,           // exactly at its end
  kBroken,        // at bytes that are not a whole frame
};

struct Segment {
  std::size_t begin = 0;
  std::size_t end = 0;  // after the last whole frame walked
  SegmentEnd how = SegmentEnd::kEnd;
  std::uint64_t frames = 0;
  std::uint64_t networkFrames = 0;  // of type 1
  float lastTime = 0;               // of the last frame walked
  // The directory entry it was walked for; -1 when walked without a directory.
  int entry = -1;
};

// Walks the frames from `begin` up to `limit`, calling visit(frame) for each,
// and stops after the closing frame, at `limit`, or before bytes that are not
// a whole frame.
template <class Visit>
Segment WalkSegment(ByteView image, std::size_t begin, std::size_t limit, Visit&& visit) {
  Segment s;
  s.begin = s.end = begin;
  for (;;) {
    if (s.end >= limit) {
      s.how = SegmentEnd::kEnd;
      return s;
    }
    std::optional<Frame> frame = ReadFrame(image, s.end, limit);
    if (!frame) {
      s.how = SegmentEnd::kBroken;
      return s;
    }
    visit(*frame);
    s.end = frame->end();
    ++s.frames;
    if (frame->type == kFrameNetMsg) ++s.networkFrames;
    s.lastTime = frame->time;
    if (frame->type == kFrameNextSection) {
      s.how = SegmentEnd::kClosingFrame;
      return s;
    }
  }
}

struct DemoWalk {
  std::optional<Directory> directory;
  std::vector<Segment> segments;  // in file order
};

// Walks the whole demo, calling visit(segment, frame) for every frame, where
// `segment` is the index into the walk's segments. With a directory, each
// entry's segment is walked in file order up to the directory, and bytes an
// earlier segment already covered are not walked again. Without one, frames
// are walked from the end of the header on, a new segment after each closing
// frame, until bytes that are not a whole frame. Either way no byte is read
// twice: the cost is linear in the file's size.
template <class Visit>
DemoWalk WalkDemo(ByteView image, Visit&& visit);

// The segment order of a directory walk: entry indices by segment offset.
std::vector<int> DirectoryWalkOrder(const Directory& directory);

// The end of the closing frames that stand from `pos` on, before `end`.
std::size_t SkipClosingFrames(ByteView image, std::size_t pos, std::size_t end);

// Whether the game finished writing the demo: it has a directory with a
// Playback entry, and every entry's segment was walked from its offset to its
// closing frame, which (with the closing frames the game at times writes
// right after it) ends exactly where the entry says.
bool IsFinished(ByteView image, const DemoWalk& walk);

template <class Visit>
DemoWalk WalkDemo(ByteView image, Visit&& visit) {
  DemoWalk walk;
  if (image.size() <= kHeaderSize) return walk;
  walk.directory = ReadDirectory(image);
  if (walk.directory) {
    const std::size_t limit = walk.directory->offset;
    std::size_t walked = kHeaderSize;
    for (int e : DirectoryWalkOrder(*walk.directory)) {
      const DirectoryEntry& entry = walk.directory->entries[static_cast<std::size_t>(e)];
      if (entry.offset < static_cast<std::int64_t>(kHeaderSize) || entry.length <= 0 ||
          entry.offset >= static_cast<std::int64_t>(limit)) {
        continue;
      }
      const std::size_t begin = std::max(static_cast<std::size_t>(entry.offset), walked);
      const std::size_t end =
          static_cast<std::size_t>(std::min<std::int64_t>(entry.offset + entry.length, static_cast<std::int64_t>(limit)));
      if (begin >= end) continue;
      const std::size_t index = walk.segments.size();
      Segment s = WalkSegment(image, begin, end, [&](const Frame& f) { visit(index, f); });
      s.entry = e;
      walked = std::max(walked, s.end);
      walk.segments.push_back(s);
    }
    return walk;
  }
  std::size_t pos = kHeaderSize;
  while (pos < image.size()) {
    const std::size_t index = walk.segments.size();
    Segment s = WalkSegment(image, pos, image.size(), [&](const Frame& f) { visit(index, f); });
    if (s.frames == 0) break;
    walk.segments.push_back(s);
    if (s.how != SegmentEnd::kClosingFrame) break;
    pos = s.end;
  }
  return walk;
}

}  // namespace rewindor
