// Where a picture goes when it is shown whole in a box: as large as fits,
// its aspect kept, centred. Portable, so it is tested natively.
#pragma once

#include <algorithm>
#include <cstdint>

namespace rewindor {

struct PictureRect {
  int x = 0, y = 0, width = 0, height = 0;

  friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

// The rectangle inside a box of `boxWidth` x `boxHeight` (from its top left)
// for a picture of `width` x `height`: a side of at least one pixel, rounded
// to the nearest. Nothing (all 0) for a picture or box without area.
constexpr PictureRect FitWhole(std::int64_t width, std::int64_t height, int boxWidth, int boxHeight) {
  if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return {};
  std::int64_t w = boxWidth, h = boxHeight;
  if (width * boxHeight > height * boxWidth) {
    h = std::max<std::int64_t>(1, (2 * height * boxWidth + width) / (2 * width));
  } else {
    w = std::max<std::int64_t>(1, (2 * width * boxHeight + height) / (2 * height));
  }
  return {static_cast<int>((boxWidth - w) / 2), static_cast<int>((boxHeight - h) / 2), static_cast<int>(w),
          static_cast<int>(h)};
}

}  // namespace rewindor
