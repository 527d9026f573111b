// Finding demos by a text: simple case folding over every script, the
// demo's fields each by itself, names that are not UTF-8 as the caller shows
// them, and the tool's `info --find`.
#include "demo/text_match.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "demo/utf8_paths.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"
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

// A stand-in for the window's decoding in the Cyrillic code page (Windows-1251):
// the letters А..я at 0xC0..0xFF, the rest as DemoTextToUtf8 has it.
std::string DecodeAs1251(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0xC0 ? 0x410u + (b - 0xC0u) : b);
  }
  return out;
}

TEST(DemoMatches, EachFieldByItselfInAnyCaseAndNamesAsShown) {
  const std::vector<std::string> players = {"Bob", "\xC8\xE3\xF0\xEE\xEA"};  // "Игрок" in Windows-1251
  const std::vector<std::string> roster = {"Адский Дэмопёc"};
  const DemoSearchTexts texts{"Финал_Match.DEM", "de_dust2", "РУССКИЕ ПЕРЦЫ", "Karaul0v", players, roster};
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
  EXPECT_TRUE(finds("ИГРОК", DecodeAs1251));
  EXPECT_FALSE(finds("игрок"));
  EXPECT_TRUE(finds("ÈÃÐÎÊ"));
  EXPECT_FALSE(finds("ÈÃÐÎÊ", DecodeAs1251));
}

// ---------------------------------------------------------------------------
// info --find

class FindFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = std::filesystem::temp_directory_path() / ("rewindor-find-" + std::to_string(random()));
    std::filesystem::create_directories(dir_ / "sub");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A demo of the header alone with its map, then player-info text.
  std::string Demo(const std::string& relative, std::string_view map, std::string_view body) {
    std::string bytes(kHeaderSize, '\0');
    bytes.replace(0, 6, "HLDEMO");
    bytes[kDemoProtocolOffset] = 5;
    bytes[kNetworkProtocolOffset] = 48;
    bytes.replace(kMapNameOffset, map.size(), map);
    bytes.append(body).append("..");
    const std::filesystem::path path = (dir_ / PathFromUtf8(relative)).make_preferred();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return PathToUtf8(path);
  }
  std::string Write(const std::string& relative, const Bytes& bytes) {
    const std::filesystem::path path = (dir_ / PathFromUtf8(relative)).make_preferred();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return PathToUtf8(path);
  }
  std::string Dir() const { return PathToUtf8(dir_); }

  struct Run {
    int status;
    std::string out, err;
  };
  static Run Tool(std::vector<std::string> args) {
    struct Capture : cli::Console {
      void Out(std::string_view text) override { out += text; }
      void Err(std::string_view text) override { err += text; }
      std::string out, err;
    } console;
    const int status = cli::RunCli(args, NativeFileSystem(), console);
    return {status, console.out, console.err};
  }

 private:
  std::filesystem::path dir_;
};

// Only the demos that match are printed, each exactly as `info` prints it;
// a demo that cannot be read was not searched and is still reported.
TEST_F(FindFolder, PrintsOnlyMatchesAsInfoDoesAndStillReportsFailures) {
  const std::string cyrillic = Demo("a.dem", "de_dust2", "\tfulls\\name\\\xC8\xE3\xF0\xEE\xEA\\name\\Игрок\0"s);
  const std::string other = Demo("b.dem", "cs_assault", "\tfulls\\name\\Bob\0"s);
  const std::string deeper = Demo("sub/ИГРОК.dem", "de_inferno", "");
  for (const std::vector<std::string>& form : {std::vector<std::string>{"--json"}, std::vector<std::string>{}}) {
    auto with = [&](std::vector<std::string> args) {
      args.insert(args.begin() + 1, form.begin(), form.end());
      return Tool(args);
    };
    // The file name and a player's name: the first and the third demo.
    const Run found = with({"info", "-r", "--find", "игрок", Dir()});
    EXPECT_EQ(found.status, 0);
    const std::string first = with({"info", cyrillic}).out, third = with({"info", deeper}).out;
    EXPECT_EQ(found.out, form.empty() ? first + "\n" + third : first + third);
    EXPECT_EQ(with({"info", "--find=BOB", Dir()}).out, with({"info", other}).out);
    EXPECT_EQ(with({"info", "--find", "", Dir()}).out, with({"info", Dir()}).out);
    EXPECT_EQ(with({"info", "--find", "nobody", Dir()}).out, "");
  }
  // The server and the recorder, which only the frames tell.
  builder::Demo built;
  built.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage({.maxPlayers = 8, .slot = 0, .hostName = "Сервер Ромашка"}),
       builder::UpdateUserInfoRaw(0, 1, "\\name\\Вася")}));
  built.playback().items.push_back(builder::Gameplay{.seconds = 1});
  const std::string framed = Write("sub/c.dem", builder::Build(built).bytes);
  for (const char* needle : {"РОМАШКА", "вася"}) {
    EXPECT_EQ(Tool({"info", "-r", "--find", needle, Dir()}).out, Tool({"info", framed}).out) << needle;
  }

  const Run missing = Tool({"info", "--find", "bob", other, Dir() + "/missing.dem"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.starts_with(Dir() + "/missing.dem: ")) << missing.err;
  EXPECT_EQ(missing.out, Tool({"info", other}).out);
  EXPECT_EQ(Tool({"info", "--find"}).status, 2);
  EXPECT_EQ(Tool({"strip-chat", "--find", "x", other}).status, 2);
}

}  // namespace
}  // namespace rewindor
