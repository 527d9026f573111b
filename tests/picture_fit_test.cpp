// A picture shown whole in a box: as large as fits, its aspect kept, centred.
#include "ui/picture_fit.h"

#include <gtest/gtest.h>

namespace rewindor {
namespace {

TEST(FitWhole, KeepsTheAspectAndCentres) {
  struct Case {
    std::int64_t w, h;
    PictureRect fit;
  } cases[] = {
      {1024, 768, {0, 0, 240, 180}},   // the game's overviews fill the map box
      {800, 800, {30, 0, 180, 180}},   // square: margins left and right
      {2000, 100, {0, 84, 240, 12}},   // wide: margins above and below
      {120, 90, {0, 0, 240, 180}},     // small ones are enlarged
      {1, 100000, {119, 0, 1, 180}},   // never thinner than a pixel
      {0, 768, {}},
      {1024, -1, {}},
  };
  for (const Case& c : cases) {
    PictureRect r = FitWhole(c.w, c.h, 240, 180);
    EXPECT_EQ(r, c.fit) << c.w << "x" << c.h << " gave " << r.x << "," << r.y << " " << r.width << "x" << r.height;
  }
  EXPECT_EQ(FitWhole(std::int64_t{4} << 40, std::int64_t{3} << 40, 240, 180), (PictureRect{0, 0, 240, 180}));
}

}  // namespace
}  // namespace rewindor
