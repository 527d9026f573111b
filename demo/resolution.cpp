#include "demo/resolution.h"

#include <algorithm>
#include <map>
#include <utility>

#include "demo/demo_format.h"

namespace rewindor {

namespace {

using Counts = std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t>;

// The fallback believes a size only when it is this frequent and makes up
// this share of all plausible size records.
constexpr std::uint64_t kMinDominantRecords = 8;
constexpr std::uint64_t kDominantShareNumerator = 3;  // three quarters
constexpr std::uint64_t kDominantShareDenominator = 4;

std::optional<Resolution> MostFrequent(const Counts& counts) {
  auto best = std::max_element(counts.begin(), counts.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  if (best == counts.end()) return std::nullopt;
  return Resolution{best->first.first, best->first.second};
}

// Walks one segment's frames from `begin` up to `end`, counting the non-zero
// viewports of its network message frames. Stops at a next-section frame, at
// the end, or at the first frame that does not fit; returns the frames walked.
std::uint64_t WalkSegment(ByteView image, std::size_t begin, std::size_t end, Counts& viewports) {
  ByteReader r(image.first(end), begin);
  std::uint64_t frames = 0;
  while (r.ok() && r.remaining() >= kFrameHeaderSize) {
    const std::uint8_t type = r.U8();
    r.Skip(kFrameHeaderSize - 1);  // time and frame number
    switch (type) {
      case kFrameNetMsgStart:
      case kFrameNetMsg: {
        ByteView fixed = r.Take(kNetMsgFixedSize);
        const std::uint32_t length = r.U32();
        if (!r.ok() || length > kMaxNetMsgLength || !r.Skip(length)) return frames;
        const std::uint8_t* viewport = fixed.data() + kRefParamsOffset + kViewportInRefParams;
        const std::int32_t x = LoadI32LE(viewport), y = LoadI32LE(viewport + 4);
        const std::int32_t w = LoadI32LE(viewport + 8), h = LoadI32LE(viewport + 12);
        if (x == 0 && y == 0 && w > 0 && h > 0) {
          ++viewports[{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)}];
        }
        break;
      }
      case kFrameDemoStart:
        break;
      case kFrameConsoleCommand:
        r.Skip(kConsoleCommandSize);
        break;
      case kFrameClientData:
        r.Skip(kClientDataSize);
        break;
      case kFrameNextSection:
        return frames + 1;
      case kFrameEvent:
        r.Skip(kEventSize);
        break;
      case kFrameWeaponAnim:
        r.Skip(kWeaponAnimSize);
        break;
      case kFrameSound: {
        r.Skip(4);  // channel
        const std::int32_t sample = r.I32();
        if (sample < 0 || !r.Skip(static_cast<std::uint64_t>(sample) + kSoundTailSize)) return frames;
        break;
      }
      case kFrameDemoBuffer: {
        const std::int32_t length = r.I32();
        if (length < 0 || !r.Skip(static_cast<std::uint64_t>(length))) return frames;
        break;
      }
      default:
        return frames;  // not a frame: give up on the rest of the segment
    }
    if (r.ok()) ++frames;
  }
  return frames;
}

// Walks the directory's segments. False when there is no directory to walk or
// not a single frame could be walked.
bool WalkDirectory(ByteView image, Counts& viewports) {
  if (image.size() < kHeaderSize) return false;
  const std::int64_t directory = LoadI32LE(image.data() + kDirectoryOffsetOffset);
  if (directory < static_cast<std::int64_t>(kHeaderSize)) return false;
  ByteReader dir(image, static_cast<std::size_t>(std::min<std::int64_t>(directory, image.size())));
  const std::int32_t count = dir.I32();
  if (!dir.ok() || count < 1 || count > kMaxDirectoryEntries ||
      dir.remaining() < static_cast<std::uint64_t>(count) * kDirectoryEntrySize) {
    return false;
  }
  std::uint64_t frames = 0;
  for (std::int32_t e = 0; e < count; ++e) {
    ByteView entry = dir.Take(kDirectoryEntrySize);
    const std::int64_t offset = LoadI32LE(entry.data() + kEntrySegmentOffsetOffset);
    const std::int64_t length = LoadI32LE(entry.data() + kEntrySegmentLengthOffset);
    if (offset < static_cast<std::int64_t>(kHeaderSize) || offset >= directory || length <= 0) continue;
    // A segment that claims to run past the directory ends there.
    const std::int64_t end = std::min(offset + length, directory);
    frames += WalkSegment(image, static_cast<std::size_t>(offset), static_cast<std::size_t>(end), viewports);
  }
  return frames > 0;
}

// Positions where 8 zero bytes, a 16-bit width, 2 zero bytes, a 16-bit height
// and 2 zero bytes hold a plausible screen size.
std::optional<Resolution> FromSizeRecords(ByteView image) {
  constexpr std::size_t kRecord = 16;  // the 14-byte size record and the height's upper half
  if (image.size() < kRecord) return std::nullopt;
  Counts counts;
  std::uint64_t plausible = 0;
  const std::uint8_t* data = image.data();
  for (std::size_t k = 0; k + kRecord <= image.size(); ++k) {
    const std::uint16_t w = LoadU16LE(data + k + 8);
    if (w < kMinPlausibleWidth || w > kMaxPlausibleWidth) continue;
    const std::uint16_t h = LoadU16LE(data + k + 12);
    if (h < kMinPlausibleHeight || h > kMaxPlausibleHeight) continue;
    if (LoadU32LE(data + k) != 0 || LoadU32LE(data + k + 4) != 0 || LoadU16LE(data + k + 10) != 0 ||
        LoadU16LE(data + k + 14) != 0) {
      continue;
    }
    ++counts[{w, h}];
    ++plausible;
  }
  std::optional<Resolution> best = MostFrequent(counts);
  if (!best) return std::nullopt;
  const std::uint64_t n = counts[{best->width, best->height}];
  if (n < kMinDominantRecords || n * kDominantShareDenominator < plausible * kDominantShareNumerator) {
    return std::nullopt;
  }
  return best;
}

}  // namespace

std::optional<Resolution> DetectResolution(ByteView image) {
  Counts viewports;
  if (WalkDirectory(image, viewports)) return MostFrequent(viewports);
  return FromSizeRecords(image);
}

}  // namespace rewindor
