// The command-line tool: its JSON, its folder walk, and whole command lines
// run against demos on the disk.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/demo_paths.h"
#include "cli/json.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct JsonCase {
  std::string text;
  std::string json;
};
class JsonStrings : public ::testing::TestWithParam<JsonCase> {};
TEST_P(JsonStrings, AreEscapedAndAlwaysUtf8) { EXPECT_EQ(JsonString(GetParam().text), GetParam().json); }
INSTANTIATE_TEST_SUITE_P(
    Cases, JsonStrings,
    ::testing::Values(JsonCase{"de_dust2", "\"de_dust2\""},
                      JsonCase{"say \"hi\" C:\\x", "\"say \\\"hi\\\" C:\\\\x\""},
                      JsonCase{"a\nb\tc\x01\x1f\x7f", "\"a\\u000ab\\u0009c\\u0001\\u001f\\u007f\""},
                      JsonCase{"a\0b"s, "\"a\\u0000b\""},
                      JsonCase{"Игрок", "\"Игрок\""},                // valid UTF-8 stays
                      JsonCase{"\xC8\xE3\xF0\xEE\xEA", "\"Èãðîê\""},  // Windows-1251 bytes: U+00XX
                      JsonCase{"caf\xC3", "\"cafÃ\""}));             // a cut UTF-8 sequence

TEST(JsonObject, KeysInOrderOneLine) {
  JsonObject json;
  json.Add("path", "a.dem").AddBool("hltv", false).AddInt("build", -1).Add("players", std::vector<std::string>{})
      .Add("names", std::vector<std::string>{"A", "\"B\""}).AddNull("resolution");
  EXPECT_EQ(json.Line(),
            "{\"path\": \"a.dem\", \"hltv\": false, \"build\": -1, \"players\": [], "
            "\"names\": [\"A\", \"\\\"B\\\"\"], \"resolution\": null}\n");
}

TEST(ScreenSize, Parsing) {
  auto parsed = [](std::string_view s) {
    auto size = ParseScreenSize(s);
    return size ? std::to_string(size->width) + "," + std::to_string(size->height) : "none";
  };
  EXPECT_EQ(parsed("640x480"), "640,480");
  EXPECT_EQ(parsed("1280X960"), "1280,960");
  EXPECT_EQ(parsed("0x0"), "0,0");
  EXPECT_EQ(parsed("4294967295x1"), "4294967295,1");
  for (std::string_view bad : {"", "640", "x480", "640x", "640x480x", "-1x2", "+1x2", " 1x2", "1x2 ",
                               "4294967296x1", "1,2", "1x0x2"}) {
    EXPECT_EQ(parsed(bad), "none") << bad;
  }
}

// ---------------------------------------------------------------------------
// Against the disk.

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() /
            ("rewindor-cli-" + std::to_string(stamp) + "-" + std::to_string(random()));
    fs::create_directories(root_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  // Writes a file (folders on the way are made) and returns its path in UTF-8.
  std::string Write(const std::string& relative, std::string_view bytes) const {
    fs::path p = root_ / PathFromUtf8(relative);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return PathToUtf8(p);
  }
  std::string Path(const std::string& relative = "") const {
    return PathToUtf8(relative.empty() ? root_ : root_ / PathFromUtf8(relative));
  }

 private:
  fs::path root_;
};

TEST(FolderWalk, DemoFilesByNameSortedAndRecursiveOnRequest) {
  TempFolder dir;
  for (const char* name : {"b.dem", "A.DEM", "c.Dem", "notes.txt", "dem", "x.dem.bak", "sub/d.dem",
                           "sub/deeper/e.DEM", "Zsub/f.dem"}) {
    dir.Write(name, "x");
  }
  fs::create_directories(PathFromUtf8(dir.Path("folder.dem")));  // a folder is no demo
  std::vector<std::string> flat = {dir.Path("A.DEM"), dir.Path("b.dem"), dir.Path("c.Dem")};
  PathExpansion top = ExpandPath(dir.Path(), false);
  EXPECT_EQ(top.demos, flat);
  EXPECT_EQ(top.problem, "");

  std::vector<std::string> deep = {dir.Path("A.DEM"),         dir.Path("Zsub/f.dem"), dir.Path("b.dem"),
                                   dir.Path("c.Dem"),         dir.Path("sub/d.dem"),
                                   dir.Path("sub/deeper/e.DEM")};
  EXPECT_EQ(ExpandPath(dir.Path(), true).demos, deep);

  // A file named on the command line is taken whatever its name; a missing
  // one too, for the reader to report.
  for (std::string file : {dir.Path("notes.txt"), dir.Path("missing.dem")}) {
    PathExpansion one = ExpandPath(file, false);
    EXPECT_EQ(one.demos, std::vector<std::string>{file});
    EXPECT_EQ(one.problem, "");
  }
}

TEST(FolderWalk, AFolderWithoutDemosIsAProblem) {
  TempFolder dir;
  dir.Write("empty/readme.txt", "x");
  dir.Write("nested/inner/a.dem", "x");
  EXPECT_TRUE(ExpandPath(dir.Path("empty"), false).demos.empty());
  EXPECT_NE(ExpandPath(dir.Path("empty"), true).problem, "");
  EXPECT_NE(ExpandPath(dir.Path("nested"), false).problem, "");
  EXPECT_EQ(ExpandPath(dir.Path("nested"), true).problem, "");
}

// A demo made by hand: the header, then `body`, then two bytes so that no
// marker ends at the file's last byte.
std::string HandMadeDemo(std::string_view map, std::string_view mod, std::string_view body) {
  std::string demo(kHeaderSize, '\0');
  demo.replace(0, 6, "HLDEMO");
  demo[kDemoProtocolOffset] = 5;
  demo[kNetworkProtocolOffset] = 48;
  demo.replace(kMapNameOffset, map.size(), map);
  demo.replace(kGameDirOffset, mod.size(), mod);
  return demo.append(body).append("..");
}

const std::string kPlayersBody = "\x08\x02\nBUILD 2056 SERVER\n\tfullserverinfo \"\\*gamedir\\cstrike\"\n"
                                 "\\model\\x\\name\\Zed\0\\name\\alpha\0\\name\\ALPHA\0\\name\\Bob\0"s;

struct RecordingConsole : Console {
  void Out(std::string_view text) override { out += text; }
  void Err(std::string_view text) override { err += text; }
  std::string out, err;
};

struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun RunTool(std::vector<std::string> args) {
  RecordingConsole console;
  int status = RunCli(args, NativeFileSystem(), console);
  return {status, console.out, console.err};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; at < text.size(); at = nl + 1) {
    nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(at, nl - at));
  }
  return lines;
}

std::string Summary(std::string_view engine, std::string_view map, std::string_view mod, bool hltv) {
  return "Half-Life Version: " + std::string(engine) + "\nDemo Version: 5\nNetwork Version: 48\nMap: " +
         std::string(map) + "\nMod: " + std::string(mod) + "\nHLTV: " + (hltv ? "Yes" : "No");
}

TEST(InfoCommand, PlainBlocksInFolderOrderWithPlayersAsFirstSeen) {
  TempFolder dir;
  std::string first = dir.Write("a.dem", HandMadeDemo("de_rewind", "cstrike", kPlayersBody));
  std::string second = dir.Write("b.DEM", HandMadeDemo("de_b", "valve", "\0\x08HLTV\0"s));
  ToolRun run = RunTool({"info", dir.Path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Players in the order the demo names them (the window's list sorts them);
  // "ALPHA" repeats "alpha" but for letter case.
  EXPECT_EQ(run.out, first + "\n" + Summary("1.1.1.0", "de_rewind", "cstrike", false) +
                         "\nPlayers:\nZed\nalpha\nBob\n\n" + second + "\n" +
                         Summary("N/A", "de_b", "valve", true) + "\nPlayers:\n");
}

TEST(InfoCommand, JsonKeysAndValues) {
  TempFolder dir;
  std::string demo = dir.Write("a.dem", HandMadeDemo("de_rewind", "cstrike", kPlayersBody));
  ToolRun run = RunTool({"info", "--json", demo});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "{\"path\": " + JsonString(demo) +
                         ", \"engineVersion\": \"1.1.1.0\", \"demoVersion\": \"5\", \"networkVersion\": \"48\", "
                         "\"map\": \"de_rewind\", \"mod\": \"cstrike\", \"hltv\": false, \"build\": 2056, "
                         "\"players\": [\"Zed\", \"alpha\", \"Bob\"], \"summary\": " +
                         JsonString(Summary("1.1.1.0", "de_rewind", "cstrike", false)) +
                         ", \"resolution\": null}\n");
}

// Demo texts are shown as UTF-8 when they are, and byte for byte as
// U+0080-U+00FF when not; each text by itself, so one odd text does not turn
// a good one next to it into nonsense.
TEST(InfoCommand, DemoTextsBecomeUtf8EachByItself) {
  TempFolder dir;
  std::string body = "\tfulls\\name\\\xC8\xE3\xF0\xEE\xEA\\name\\Игрок\0"s;
  std::string demo = dir.Write("a.dem", HandMadeDemo("карта", "\xE9t\xE9", body));
  ToolRun plain = RunTool({"info", demo});
  EXPECT_EQ(plain.out, demo + "\n" + Summary("N/A", "карта", "été", false) + "\nPlayers:\nÈãðîê\nИгрок\n");
  ToolRun json = RunTool({"info", "--json", demo});
  EXPECT_NE(json.out.find("\"map\": \"карта\", \"mod\": \"été\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"players\": [\"Èãðîê\", \"Игрок\"]"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("Map: карта\\u000aMod: été\\u000a"), std::string::npos) << json.out;
}

// A demo that cannot be read is reported with the window's text and the
// system's reason; the batch goes on and the status tells that one failed.
TEST(InfoCommand, FailuresInABatch) {
  TempFolder dir;
  std::string good = dir.Write("good.dem", HandMadeDemo("m", "cstrike", ""));
  std::string empty = dir.Write("empty.dem", "");
  std::string missing = dir.Path("missing.dem");
  std::string noDemos = dir.Path("nothing");
  dir.Write("nothing/readme.txt", "x");

  ToolRun plain = RunTool({"info", missing, empty, noDemos, good});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, good + "\n" + Summary("N/A", "m", "cstrike", false) + "\nPlayers:\n");
  std::vector<std::string> errors = Lines(plain.err);
  ASSERT_EQ(errors.size(), 3u) << plain.err;
  EXPECT_TRUE(errors[0].starts_with(missing + ": Нельзя открыть demo-файл: ")) << errors[0];
  EXPECT_GT(errors[0].size(), missing.size() + std::string(": Нельзя открыть demo-файл: ").size());
  EXPECT_EQ(errors[1], empty + ": Could not open demofile (reason 2): The file is empty.");
  EXPECT_EQ(errors[2], noDemos + ": No demo (.dem) in this folder.");

  ToolRun json = RunTool({"info", "--json", missing, empty, good});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.err, "");
  std::vector<std::string> lines = Lines(json.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("{\"path\": " + JsonString(missing) +
                                   ", \"error\": \"Нельзя открыть demo-файл: "));
  EXPECT_EQ(lines[1], "{\"path\": " + JsonString(empty) +
                          ", \"error\": \"Could not open demofile (reason 2): The file is empty.\"}");
  EXPECT_TRUE(lines[2].starts_with("{\"path\": " + JsonString(good) + ", \"engineVersion\""));
}

TEST(CommandLine, UsageErrorsAndHelp) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {},
           {"info"},
           {"--json", "-r"},
           {"show", "a.dem"},
           {"info", "--bogus", "a.dem"},
           {"info", "--dry-run", "a.dem"},
           {"info", "--to", "800x600", "a.dem"},
           {"strip-chat", "--from=640x480", "a.dem"},
           {"convert-resolution", "a.dem"},
           {"convert-resolution", "--to", "800", "a.dem"},
           {"convert-resolution", "a.dem", "--to"},
       }) {
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("rewindor-cli: ")) << run.err;
  }
  ToolRun help = RunTool({"info", "a.dem", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, kUsage);
  // After "--" a name that looks like an option is a path.
  ToolRun dashed = RunTool({"info", "--", "--json"});
  EXPECT_EQ(dashed.status, 1);
  EXPECT_TRUE(dashed.err.starts_with("--json: Нельзя открыть demo-файл: ")) << dashed.err;
}

// The recordings in the corpus: every one is summarised, in valid UTF-8, with
// what the recordings are known to hold.
TEST(InfoCommand, CorpusRecordings) {
  const fs::path corpus = PathFromUtf8(REWINDOR_CORPUS_DIR);
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  ToolRun run = RunTool({"info", "--json", PathToUtf8(corpus)});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(lines.size(), 11u);
  auto line = [&](const std::string& file) -> std::string {
    std::string key = "{\"path\": " + JsonString(PathToUtf8(corpus / file)) + ", ";
    for (const std::string& l : lines) {
      if (l.starts_with(key)) return l;
    }
    ADD_FAILURE() << "no line for " << file;
    return "";
  };
  for (const std::string& l : lines) {
    EXPECT_TRUE(IsValidUtf8(l));
    EXPECT_EQ(l.find("\"error\""), std::string::npos) << l;
  }
  std::string client = line("cs-client-cs_assault.dem");
  EXPECT_NE(client.find("\"map\": \"cs_assault\", \"mod\": \"cstrike\", \"hltv\": false, \"build\": 4554, "
                        "\"players\": [\""),
            std::string::npos);
  std::string hltv = line("cs-hltv-cs_assault.dem");
  EXPECT_NE(hltv.find("\"hltv\": true, \"build\": 0, \"players\": [], "), std::string::npos);
  EXPECT_NE(line("hl-singleplayer-c1a0.dem").find("\"map\": \"c1a0\", \"mod\": \"valve\""), std::string::npos);
  EXPECT_NE(line("hl-old-protocol4.dem").find("\"demoVersion\": \"4\", \"networkVersion\": \"35\""),
            std::string::npos);
}

}  // namespace
}  // namespace rewindor::cli
