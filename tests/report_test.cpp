// ReportError's text: whole, and without the line break the system ends its
// texts with.
#include "demo/report.h"

#include <gtest/gtest.h>

#include <string>

namespace rewindor {
namespace {

TEST(ErrorReportTest, FixedTextThenTheWholeReason) {
  EXPECT_EQ(ComposeErrorReport("Could not copy demo-file", {5, "Access is denied.\r\n"}),
            "Could not copy demo-file: Access is denied.");
  std::string longReason(200, 'r');  // longer than a small fixed buffer would hold
  EXPECT_EQ(ComposeErrorReport("Нельзя открыть demo-файл", {1, longReason + "\r\n"}),
            "Нельзя открыть demo-файл: " + longReason);
  EXPECT_EQ(ComposeErrorReport("Text", {0, "Line one.\nLine two."}), "Text: Line one.\nLine two.");
}

#ifdef _WIN32
TEST(ErrorReportTest, SystemTextsForCodes) {
  SystemError known = SystemErrorFromCode(2);
  EXPECT_EQ(known.code, 2u);
  ASSERT_FALSE(known.text.empty());
  EXPECT_NE(known.text.back(), '\n');
  EXPECT_EQ(SystemErrorFromCode(0x2FFFFFFF).text, "Ошибка системы 805306367.");
}
#endif

}  // namespace
}  // namespace rewindor
