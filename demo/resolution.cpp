#include "demo/resolution.h"

#include <algorithm>
#include <map>
#include <utility>

#include "demo/demo_format.h"
#include "demo/frames.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rewindor {

namespace {

using Counts = std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t>;

// The fallback believes a size only when it is this frequent and makes up
// this share of all plausible size records.
constexpr std::uint64_t kMinDominantRecords = 8;
constexpr std::uint64_t kDominantShareNumerator = 3;  // three quarters
constexpr std::uint64_t kDominantShareDenominator = 4;

std::optional<Resolution> MostFrequent(const Counts& counts) {
  auto best =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  if (best == counts.end()) return std::nullopt;
  return Resolution{best->first.first, best->first.second};
}

// Whether a plausible size record starts at k (k + 16 bytes within the data):
// 8 zero bytes, a 16-bit width, 2 zero bytes, a 16-bit height and 2 zero bytes.
// Raw loads, not a ByteReader: this runs at every candidate position of the
// scan, and ForEachSizeRecord calls it only where k + 16 is within the data
// (its two loops' conditions, the scan's one bounds check).
std::optional<Resolution> SizeRecordAt(const std::uint8_t* data, std::size_t k) {
  const std::uint16_t w = LoadU16LE(data + k + 8);
  if (w < kMinPlausibleWidth || w > kMaxPlausibleWidth) return std::nullopt;
  const std::uint16_t h = LoadU16LE(data + k + 12);
  if (h < kMinPlausibleHeight || h > kMaxPlausibleHeight) return std::nullopt;
  if (LoadU32LE(data + k) != 0 || LoadU32LE(data + k + 4) != 0 || LoadU16LE(data + k + 10) != 0 ||
      LoadU16LE(data + k + 14) != 0) {
    return std::nullopt;
  }
  return Resolution{w, h};
}

// Each position k from `k` up to `to` where a plausible size record starts,
// in increasing order, given `n` bytes from `data` on (a record must end
// within them). Most positions fail on cheap tests: a non-zero byte at k + 7
// rules out the eight positions k .. k + 7 (each needs it zero), and with
// SSE2 sixteen positions are tested at a time on the bytes k + 7, k + 9 (the
// width's upper half: 1 to 30 for 320 to 7680), k + 10 and k + 11 before a
// full check.
template <class Found>
void ForEachSizeRecord(const std::uint8_t* data, std::size_t k, std::size_t to, std::size_t n, Found&& found) {
  constexpr std::size_t kRecord = 16;  // the 14-byte size record and the height's upper half
  static_assert(kMinPlausibleWidth >> 8 >= 1 && kMaxPlausibleWidth >> 8 <= 30, "the width's upper half is 1 to 30");
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1), most = _mm_set1_epi8(29);
  for (; k + 16 <= to && k + kRecord + 16 <= n; k += 16) {
    auto at = [&](std::size_t offset) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + offset)); };
    const __m128i high = _mm_sub_epi8(at(9), one);  // 1 .. 30 becomes 0 .. 29, 0 wraps to 255
    const __m128i widthOk = _mm_cmpeq_epi8(_mm_min_epu8(high, most), high);
    const __m128i zeros =
        _mm_and_si128(_mm_cmpeq_epi8(at(7), zero), _mm_cmpeq_epi8(_mm_or_si128(at(10), at(11)), zero));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(widthOk, zeros)));
    while (mask != 0) {
      const std::size_t at_k = k + static_cast<std::size_t>(__builtin_ctz(mask));
      if (std::optional<Resolution> size = SizeRecordAt(data, at_k)) found(*size);
      mask &= mask - 1;
    }
  }
#endif
  // A skip may pass `to`: the positions it passes cannot hold a record.
  while (k < to && k + kRecord <= n) {
    if (data[k + 7] != 0) {
      k += 8;
      continue;
    }
    if (std::optional<Resolution> size = SizeRecordAt(data, k)) found(*size);
    ++k;
  }
}

// The size records decide only when one plausible size clearly dominates.
std::optional<Resolution> Dominant(const Counts& counts, std::uint64_t plausible) {
  std::optional<Resolution> best = MostFrequent(counts);
  if (!best) return std::nullopt;
  const std::uint64_t n = counts.at({best->width, best->height});
  if (n < kMinDominantRecords || n * kDominantShareDenominator < plausible * kDominantShareNumerator) {
    return std::nullopt;
  }
  return best;
}

std::optional<Resolution> FromSizeRecords(ByteView image) {
  SizeRecordScan scan;
  scan.Scan(image, 0, image.size());
  return scan.Result();
}

}  // namespace

std::string ResolutionText(const Resolution& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void SizeRecordScan::Scan(ByteView piece, std::size_t base, std::size_t to) {
  if (to <= scanned_) return;
  ForEachSizeRecord(piece.data(), scanned_ - base, to - base, piece.size(), [&](const Resolution& size) {
    ++counts_[{size.width, size.height}];
    ++plausible_;
  });
  scanned_ = to;
}

std::optional<Resolution> SizeRecordScan::Result() const { return Dominant(counts_, plausible_); }

void ViewportTally::Count(const Frame& frame) {
  const ByteView fixed = NetworkFixedPart(frame);
  if (fixed.empty()) return;
  ByteReader viewport(fixed, kRefParamsOffset + kViewportInRefParams);
  const std::int32_t x = viewport.I32(), y = viewport.I32();
  const std::int32_t w = viewport.I32(), h = viewport.I32();
  if (x == 0 && y == 0 && w > 0 && h > 0) {
    ++viewports_[{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)}];
  }
}

std::optional<Resolution> ViewportTally::Result(ByteView image, const DemoWalk& walk) const {
  if (walk.frames() > 0) return MostFrequent(viewports_);
  return FromSizeRecords(image);
}

std::optional<Resolution> ViewportTally::Walked() const { return MostFrequent(viewports_); }

std::optional<Resolution> DetectResolution(ByteView image) {
  ViewportTally tally;
  const DemoWalk walk = WalkDemo(image, [&](std::size_t, const Frame& frame) { tally.Count(frame); });
  return tally.Result(image, walk);
}

}  // namespace rewindor
