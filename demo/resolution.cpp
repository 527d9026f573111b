#include "demo/resolution.h"

#include <algorithm>
#include <map>
#include <utility>

#include "demo/demo_format.h"
#include "demo/frames.h"

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

void ViewportTally::Count(ByteView image, const Frame& frame) {
  if (!frame.IsNetwork()) return;
  const std::uint8_t* viewport = NetworkFixedPart(image, frame).data() + kRefParamsOffset + kViewportInRefParams;
  const std::int32_t x = LoadI32LE(viewport), y = LoadI32LE(viewport + 4);
  const std::int32_t w = LoadI32LE(viewport + 8), h = LoadI32LE(viewport + 12);
  if (x == 0 && y == 0 && w > 0 && h > 0) {
    ++viewports_[{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)}];
  }
}

std::optional<Resolution> ViewportTally::Result(ByteView image, const DemoWalk& walk) const {
  if (walk.frames() > 0) return MostFrequent(viewports_);
  return FromSizeRecords(image);
}

std::optional<Resolution> DetectResolution(ByteView image) {
  ViewportTally tally;
  const DemoWalk walk = WalkDemo(image, [&](std::size_t, const Frame& frame) { tally.Count(image, frame); });
  return tally.Result(image, walk);
}

}  // namespace rewindor
