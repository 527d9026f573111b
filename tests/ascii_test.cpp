// The shared text rules: ASCII letter case only, and the folder of a Windows path.
#include "demo/ascii.h"

#include <gtest/gtest.h>

namespace rewindor {
namespace {

TEST(AsciiCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(EqualIgnoringCase("De_Dust2.DEM", "de_dust2.dem"));
  EXPECT_FALSE(EqualIgnoringCase("Вася", "ВАСЯ"));  // Cyrillic bytes match only themselves
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));        // 0x5B and 0x7B are no letters
  EXPECT_EQ(FoldAsciiCase("GHOST\xC0Z"), "ghost\xC0z");
  EXPECT_TRUE(ContainsIgnoringCase("match1.DeM.bak", ".dem"));
  EXPECT_FALSE(ContainsIgnoringCase("match1.de", ".dem"));
}

TEST(BeforeLastBackslash, TheFolderOfAPath) {
  EXPECT_EQ(BeforeLastBackslash("C:\\Tools\\Rewindor\\rewindor.exe"), "C:\\Tools\\Rewindor");
  EXPECT_EQ(BeforeLastBackslash("C:\\rewindor.exe"), "C:");
  EXPECT_EQ(BeforeLastBackslash("rewindor.exe"), "rewindor.exe");
  EXPECT_EQ(BeforeLastBackslash("C:/Games/hl.exe"), "C:/Games/hl.exe");  // only the backslash separates
}

}  // namespace
}  // namespace rewindor
