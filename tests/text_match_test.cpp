// Finding demos by a text: simple case folding over every script, the
// demo's fields each by itself, names that are not UTF-8 as the caller shows
// them, and the tool's `info --find`.
#include "demo/text_match.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

using namespace std::string_literals;

TEST(CaseFolding, LatinCyrillicGreekAndMoreFoldAlike) {
  EXPECT_EQ(FoldCase("ÀÉÎÕÜ Ÿ Straße ẞ KELVIN K"), "àéîõü ÿ straße ß kelvin k");
  EXPECT_EQ(FoldCase("ЁЖИК ЇЄҐ Адский Дэмопёc"), "ёжик їєґ адский дэмопёc");
  EXPECT_EQ(FoldCase("ΣΑΣ σας ΐ"), "σασ σασ ΐ");  // final sigma too; no full (multi-letter) folding
  EXPECT_EQ(FoldCase("Ꭰ ꭰ 𐐀"), "Ꭰ Ꭰ 𐐨");       // Cherokee folds to its capitals; Deseret beyond 16 bits
  EXPECT_EQ(FoldCase("İ"), "İ");                // Turkic dotted I has no simple folding
  // Bytes that are not UTF-8 stay as they are, so such a text finds itself.
  EXPECT_EQ(FoldCase("AB\xC8\xE3\xFF"s + "\xD0"), "ab\xC8\xE3\xFF"s + "\xD0");
}

TEST(CaseFolding, EveryCodePointFoldsOnceForGoodAndBothCyrillicCasesMeet) {
  for (char32_t c = 0; c < 0x110000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const char32_t once = FoldCodePoint(c);
    ASSERT_EQ(FoldCodePoint(once), once) << std::hex << static_cast<std::uint32_t>(c);
  }
  for (char32_t c = 0x400; c < 0x410; ++c) EXPECT_EQ(FoldCodePoint(c), c + 0x50);  // Ѐ..Џ
  for (char32_t c = 0x410; c < 0x430; ++c) EXPECT_EQ(FoldCodePoint(c), c + 0x20);  // А..Я
  for (char32_t c = 0x430; c < 0x460; ++c) EXPECT_EQ(FoldCodePoint(c), c);
  for (char32_t c = 'A'; c <= 'Z'; ++c) EXPECT_EQ(FoldCodePoint(c), c + 32);
}

TEST(DemoMatches, EachFieldByItselfInAnyCaseAndNamesAsShown) {
  const std::vector<std::string> players = {"Bob", "\xC8\xE3\xF0\xEE\xEA"};  // "Игрок" in Windows-1251
  const std::vector<std::string> roster = {"Адский Дэмопёc"};
  const DemoSearchTexts texts{"Финал_Match.DEM", "de_dust2", "РУССКИЕ ПЕРЦЫ", "Karaul0v", players, roster, {}};
  auto finds = [&](std::string_view needle, const DemoTextDecoder& decode = DemoTextToUtf8) {
    return DemoMatches(texts, TextFinder(needle), decode);
  };
  for (const char* needle : {"", "финал_match", "DE_DUST", "перцы", "KARAUL", "bob", "адский дэмопёC"}) {
    EXPECT_TRUE(finds(needle)) << needle;
  }
  EXPECT_FALSE(finds("alice"));
  EXPECT_FALSE(finds("dem\0de_"s));  // no text runs from one field into the next
  EXPECT_FALSE(finds("match.demde_dust2"));
  // A name that is not UTF-8 is found as the caller shows it: the window in
  // its code page, the tool with each byte a Latin-1 letter.
  EXPECT_TRUE(finds("ИГРОК", AsCyrillicCodePage));
  EXPECT_FALSE(finds("игрок"));
  EXPECT_TRUE(finds("ÈÃÐÎÊ"));
  EXPECT_FALSE(finds("ÈÃÐÎÊ", AsCyrillicCodePage));
}

// A search matches whole letters: a lone byte of a letter's UTF-8 finds
// nothing inside it. A text that is not UTF-8, looked for or looked in, is
// read as the tool shows it (each byte U+0080-U+00FF), and ё is е.
TEST(DemoMatches, WholeLettersYoAsYeAndBytesAsShown) {
  const std::vector<std::string> roster = {"Адский Дэмопёc"};
  const DemoSearchTexts texts{"caf\xE9 \xC0.dem", "", "", "", {}, roster, {}};
  struct Case {
    std::string needle;
    bool found;
  };
  const Case cases[] = {
      {"\x91", false},          // the second byte of ё
      {"\xD1", false},          // its first
      {"\xD1\x91", true},      // ё whole
      {"дэмопеc", true},         // ё typed as е (and a Latin c, as the name has)
      {"ДЭМОПЕC", true},
      {"ДЭМОПЁC", true},
      {"дэмопе\xCC\x88" "c", true},  // е with a combining diaeresis
      {"café", true},           // the file name's lone byte E9, as shown
      {"CAFÉ", true},
      {"caf\xE9", true},        // the same byte typed
      {"\xC3", false},          // the first byte of é found in no é
      {"CAF\xC9 \xE0", true},  // a needle of such bytes: É and à, which À folds to
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DemoMatches(texts, TextFinder(c.needle), DemoTextToUtf8), c.found) << c.needle;
  }
  EXPECT_EQ(SearchText("ЁЛКА Ёж"), "елка еж");
}

// ---------------------------------------------------------------------------
// info --find

// Only the demos that match are printed, each exactly as `info` prints it;
// a demo that cannot be read was not searched and is still reported.
TEST(InfoFind, PrintsOnlyMatchesAsInfoDoesAndStillReportsFailures) {
  ScratchFolder dir("rewindor-find");
  const std::string cyrillic =
      dir.Write("a.dem", HandMadeDemo("de_dust2", "", "\tfulls\\name\\\xC8\xE3\xF0\xEE\xEA\\name\\Игрок\0"s));
  const std::string other = dir.Write("b.dem", HandMadeDemo("cs_assault", "", "\tfulls\\name\\Bob\0"s));
  const std::string deeper = dir.Write("sub/ИГРОК.dem", HandMadeDemo("de_inferno", "", ""));
  for (const std::vector<std::string>& form : {std::vector<std::string>{"--json"}, std::vector<std::string>{}}) {
    auto with = [&](std::vector<std::string> args) {
      args.insert(args.begin() + 1, form.begin(), form.end());
      return RunTool(args);
    };
    // The file name and a player's name: the first and the third demo.
    const ToolOutput found = with({"info", "-r", "--find", "игрок", dir.Path()});
    EXPECT_EQ(found.status, 0);
    const std::string first = with({"info", cyrillic}).out, third = with({"info", deeper}).out;
    EXPECT_EQ(found.out, form.empty() ? first + "\n" + third : first + third);
    EXPECT_EQ(with({"info", "--find=BOB", dir.Path()}).out, with({"info", other}).out);
    EXPECT_EQ(with({"info", "--find", "", dir.Path()}).out, with({"info", dir.Path()}).out);
    EXPECT_EQ(with({"info", "--find", "nobody", dir.Path()}).out, "");
  }
  // The server and the recorder, which only the frames tell.
  builder::Demo built;
  built.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage({.maxPlayers = 8, .slot = 0, .hostName = "Сервер Ромашка"}),
       builder::UpdateUserInfoRaw(0, 1, "\\name\\Вася")}));
  built.playback().items.push_back(builder::Gameplay{.seconds = 1});
  const std::string framed = dir.Write("sub/c.dem", builder::Build(built).bytes);
  for (const char* needle : {"РОМАШКА", "вася"}) {
    EXPECT_EQ(RunTool({"info", "-r", "--find", needle, dir.Path()}).out, RunTool({"info", framed}).out) << needle;
  }

  // A real demo with ё in its recorder's name: a lone byte of it finds nothing.
  const std::string real = REWINDOR_CORPUS_DIR "/public-servers/cs-client-de_dust2-cyrillic-server.dem";
  if (std::ifstream(real).good()) {
    EXPECT_EQ(RunTool({"info", "--find", "\x91", real}).out, "");
    EXPECT_EQ(RunTool({"info", "--find", "дэмопеc", real}).out, RunTool({"info", real}).out);
  }

  const ToolOutput missing = RunTool({"info", "--find", "bob", other, dir.Path() + "/missing.dem"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.starts_with(dir.Path() + "/missing.dem: ")) << missing.err;
  EXPECT_EQ(missing.out, RunTool({"info", other}).out);
  EXPECT_EQ(RunTool({"info", "--find"}).status, 2);
  EXPECT_EQ(RunTool({"strip-chat", "--find", "x", other}).status, 2);
}

}  // namespace
}  // namespace rewindor
