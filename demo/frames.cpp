#include "demo/frames.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace rewindor {

std::optional<Directory> ReadDirectory(ByteView image) {
  if (image.size() < kHeaderSize) return std::nullopt;
  const std::int64_t offset = LoadI32LE(image.data() + kDirectoryOffsetOffset);
  if (offset < static_cast<std::int64_t>(kHeaderSize) || offset >= static_cast<std::int64_t>(image.size())) {
    return std::nullopt;
  }
  ByteReader r(image, static_cast<std::size_t>(offset));
  const std::int32_t count = r.I32();
  if (!r.ok() || count < 1 || count > kMaxDirectoryEntries ||
      r.remaining() < static_cast<std::uint64_t>(count) * kDirectoryEntrySize) {
    return std::nullopt;
  }
  Directory directory;
  directory.offset = static_cast<std::size_t>(offset);
  directory.entries.reserve(static_cast<std::size_t>(count));
  for (std::int32_t e = 0; e < count; ++e) {
    ByteView raw = r.Take(kDirectoryEntrySize);
    DirectoryEntry entry;
    entry.type = LoadI32LE(raw.data() + kEntryTypeOffset);
    const auto* title = reinterpret_cast<const char*>(raw.data() + kEntryTitleOffset);
    entry.title.assign(title, strnlen(title, kEntryTitleSize));
    std::uint32_t bits = LoadU32LE(raw.data() + kEntryTrackTimeOffset);
    std::memcpy(&entry.trackTime, &bits, sizeof bits);
    entry.frameCount = LoadI32LE(raw.data() + kEntryFrameCountOffset);
    entry.offset = LoadI32LE(raw.data() + kEntrySegmentOffsetOffset);
    entry.length = LoadI32LE(raw.data() + kEntrySegmentLengthOffset);
    directory.entries.push_back(std::move(entry));
  }
  return directory;
}

std::optional<Frame> ReadFrame(ByteView image, std::size_t pos, std::size_t end) {
  if (end > image.size() || pos >= end) return std::nullopt;
  ByteReader r(image.first(end), pos);
  Frame f;
  f.offset = pos;
  f.type = r.U8();
  f.time = r.F32();
  f.number = r.I32();
  switch (f.type) {
    case kFrameNetMsgStart:
    case kFrameNetMsg: {
      r.Skip(kNetMsgFixedSize);
      const std::uint32_t length = r.U32();
      if (length > kMaxNetMsgLength) return std::nullopt;
      r.Skip(length);
      break;
    }
    case kFrameDemoStart:
    case kFrameNextSection:
      break;
    case kFrameConsoleCommand:
      r.Skip(kConsoleCommandSize);
      break;
    case kFrameClientData:
      r.Skip(kClientDataSize);
      break;
    case kFrameEvent:
      r.Skip(kEventSize);
      break;
    case kFrameWeaponAnim:
      r.Skip(kWeaponAnimSize);
      break;
    case kFrameSound: {
      r.Skip(4);  // channel
      const std::int32_t sample = r.I32();
      if (sample < 0) return std::nullopt;
      r.Skip(static_cast<std::uint64_t>(sample) + kSoundTailSize);
      break;
    }
    case kFrameDemoBuffer: {
      const std::int32_t length = r.I32();
      if (length < 0) return std::nullopt;
      r.Skip(static_cast<std::uint64_t>(length));
      break;
    }
    default:
      return std::nullopt;
  }
  if (!r.ok()) return std::nullopt;
  f.size = r.pos() - pos;
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

std::vector<int> DirectoryWalkOrder(const Directory& directory) {
  std::vector<int> order(directory.entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return directory.entries[static_cast<std::size_t>(a)].offset < directory.entries[static_cast<std::size_t>(b)].offset;
  });
  return order;
}

std::size_t SkipClosingFrames(ByteView image, std::size_t pos, std::size_t end) {
  for (std::optional<Frame> f = ReadFrame(image, pos, end); f && f->type == kFrameNextSection;
       f = ReadFrame(image, pos, end)) {
    pos = f->end();
  }
  return pos;
}

bool IsFinished(ByteView image, const DemoWalk& walk) {
  if (!walk.directory || walk.segments.size() != walk.directory->entries.size()) return false;
  bool playback = false;
  for (const Segment& s : walk.segments) {
    const DirectoryEntry& entry = walk.directory->entries[static_cast<std::size_t>(s.entry)];
    const auto entryEnd = static_cast<std::size_t>(entry.offset + entry.length);  // walked, so within the file
    if (s.how != SegmentEnd::kClosingFrame || static_cast<std::int64_t>(s.begin) != entry.offset ||
        SkipClosingFrames(image, s.end, entryEnd) != entryEnd) {
      return false;
    }
    playback = playback || entry.title == kPlaybackTitle;
  }
  return playback;
}

}  // namespace rewindor
