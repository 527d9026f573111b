#include "demo/info.h"

#include <gtest/gtest.h>

namespace rewindor {
namespace {

TEST(EngineVersion, BuildFirstThenNetwork) {
  EXPECT_EQ(EngineVersionText(2056, "44"), "1.1.1.0");
  EXPECT_EQ(EngineVersionText(0, "45"), "1.1.0.8");
  EXPECT_EQ(EngineVersionText(0, "48"), "N/A");
}

}  // namespace
}  // namespace rewindor
