// The hand-over data between instances: the classic form in the ANSI code
// page, the wide form, and reading either within its bounds.
#include "app/hand_over.h"

#include <gtest/gtest.h>

#include <string>

#include "demo/utf8.h"

namespace rewindor {
namespace {

Bytes Utf16(std::u16string_view s) {
  Bytes b;
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

// A stand-in for the ANSI code page: Windows-1252's Latin-1 part, byte for character.
class Latin1CodePage final : public AnsiCodePage {
 public:
  std::optional<std::string> FromUtf8(std::string_view utf8) override {
    std::string out;
    for (char16_t c : Utf8ToUtf16(utf8)) {
      if (c > 0xFF) return std::nullopt;
      out += static_cast<char>(c);
    }
    return out;
  }
  std::string ToUtf8(std::string_view ansi) override {
    std::u16string wide;
    for (char c : ansi) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return Utf16ToUtf8(wide);
  }
};

Bytes Ansi(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(HandOverTest, ClassicFormWheneverTheCodePageHoldsThePath) {
  Latin1CodePage ansi;
  struct Case {
    const char* name;
    std::string path;
    std::uint32_t tag;
    Bytes data;
  } cases[] = {
      {"ASCII", "D:\\a b.dem", 0, Ansi(std::string("D:\\a b.dem\0", 11))},
      {"in the code page", "C:\\Café\\x.dem", 0, Ansi(std::string("C:\\Caf\xE9\\x.dem\0", 14))},
      {"empty", "", 0, Bytes{0}},
      {"259 bytes", std::string(259, 'p'), 0, [] { Bytes b(259, 'p'); b.push_back(0); return b; }()},
      // Not in the code page: UTF-16LE, "D:" then U+0414 ...
      {"outside the code page", "D:\xD0\x94", kWideHandOverTag, Bytes{'D', 0, ':', 0, 0x14, 0x04, 0, 0}},
  };
  for (const Case& c : cases) {
    HandOver message = ComposeHandOver(c.path, ansi);
    EXPECT_EQ(message.tag, c.tag) << c.name;
    EXPECT_EQ(message.data, c.data) << c.name;
    EXPECT_EQ(ReadHandOver(message.tag, message.data, ansi), c.path) << c.name;
  }
}

TEST(HandOverTest, ClassicFormFromAnyTagIsReadWithinItsBounds) {
  Latin1CodePage ansi;
  // Another build leaves dwData as it likes: anything but the wide tag is classic.
  for (std::uintptr_t tag : {std::uintptr_t{0}, std::uintptr_t{1}, std::uintptr_t{0xDEADBEEF}}) {
    EXPECT_EQ(ReadHandOver(tag, Ansi(std::string("C:\\d\xE9mo.dem\0junk", 16)), ansi), "C:\\démo.dem") << tag;
  }
  Bytes path259(259, 'p');
  path259.push_back(0);
  EXPECT_EQ(ReadHandOver(0, path259, ansi), std::string(259, 'p'));
  path259.insert(path259.begin(), 'q');  // 260 bytes before the terminator
  EXPECT_EQ(ReadHandOver(0, path259, ansi), std::nullopt);
  EXPECT_EQ(ReadHandOver(0, Ansi("abc"), ansi), std::nullopt);  // no terminator within cbData
  EXPECT_EQ(ReadHandOver(0, {}, ansi), std::nullopt);
}

TEST(HandOverTest, WideFormReadWithinItsBoundsOnly) {
  Latin1CodePage ansi;
  auto read = [&](ByteView data) { return ReadHandOver(kWideHandOverTag, data, ansi); };
  HandOver wide = ComposeHandOver("D:\\Демки\\a b.dem", ansi);
  EXPECT_EQ(wide.tag, kWideHandOverTag);
  EXPECT_EQ(read(wide.data), "D:\\Демки\\a b.dem");

  std::u16string path259(259, u'p');
  EXPECT_EQ(read(Utf16(path259 + u'\0')), std::string(259, 'p'));
  EXPECT_EQ(read(Utf16(path259 + u"q" + u'\0')), std::nullopt);  // 260 characters

  EXPECT_EQ(read(Utf16(u"abc")), std::nullopt);  // no terminator in the data
  Bytes cut = Utf16(std::u16string(u"abc") + u'\0');
  cut.pop_back();  // the terminator's second byte is beyond cbData
  EXPECT_EQ(read(cut), std::nullopt);
  EXPECT_EQ(read({}), std::nullopt);
  EXPECT_EQ(read(Utf16(std::u16string(u"ab") + u'\0' + u"junk")), "ab");
}

#ifdef _WIN32
TEST(HandOverTest, NativeCodePageSendsClassicOnlyWhatComesBackUnchanged) {
  AnsiCodePage& ansi = NativeAnsiCodePage();
  EXPECT_EQ(ComposeHandOver("C:\\demos\\a.dem", ansi).tag, 0u);
  // No ANSI code page holds these three scripts at once.
  HandOver mixed = ComposeHandOver("C:\\Д\xCE\xA9\xE4\xB8\xAD.dem", ansi);
  EXPECT_EQ(mixed.tag, kWideHandOverTag);
  EXPECT_EQ(ReadHandOver(mixed.tag, mixed.data, ansi), "C:\\Д\xCE\xA9\xE4\xB8\xAD.dem");
}
#endif

}  // namespace
}  // namespace rewindor
