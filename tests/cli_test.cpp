// The command-line tool: its JSON, its folder walk, and whole command lines
// run against demos on the disk.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "cli/demo_paths.h"
#include "cli/game_command.h"
#include "cli/json.h"
#include "demo/demo_format.h"
#include "demo/messages.h"
#include "demo/utf8.h"
#include "tests/support/fake_game_sources.h"
#include "tests/support/scratch.h"
#include "tools/demo_builder.h"

namespace rewindor::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct JsonCase {
  std::string text, json;
};
class JsonStrings : public ::testing::TestWithParam<JsonCase> {};
TEST_P(JsonStrings, AreEscapedAndAlwaysUtf8) { EXPECT_EQ(JsonString(GetParam().text), GetParam().json); }
INSTANTIATE_TEST_SUITE_P(
    Cases, JsonStrings,
    ::testing::Values(JsonCase{"say \"hi\" C:\\x", "\"say \\\"hi\\\" C:\\\\x\""},
                      JsonCase{"a\nb\tc\r\x01\x1f\x7f", "\"a\\nb\\tc\\r\\u0001\\u001f\\u007f\""},
                      JsonCase{"a\0b"s, "\"a\\u0000b\""},
                      JsonCase{"Игрок", "\"Игрок\""},                // valid UTF-8 stays
                      JsonCase{"\xC8\xE3\xF0\xEE\xEA", "\"Èãðîê\""},  // Windows-1251 bytes: U+00XX
                      JsonCase{"caf\xC3", "\"cafÃ\""}));             // a cut UTF-8 sequence

std::string ReadFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FolderWalk, DemoFilesByNameSortedAndRecursiveOnRequest) {
  ScratchFolder dir("rewindor-cli");
  for (const char* name : {"b.dem", "A.DEM", "c.Dem", "notes.txt", "x.dem.bak", "sub/d.dem", "sub/deeper/e.DEM",
                           "Демки/f.dem", "sub-x.dem", "empty/readme.txt", "nested/inner/g.dem"}) {
    dir.Write(name, "x");
  }
  fs::create_directories(PathFromUtf8(dir.Path("folder.dem")));  // a folder is no demo
  PathExpansion top = ExpandPath(dir.Path(), false);
  EXPECT_EQ(top.demos, (std::vector<std::string>{dir.Path("A.DEM"), dir.Path("b.dem"), dir.Path("c.Dem"),
                                                 dir.Path("sub-x.dem")}));
  EXPECT_EQ(top.problem, "");
  // Folder by folder, the same order with either separator: "sub/..." before "sub-x.dem".
  std::vector<std::string> all = ExpandPath(dir.Path(), true).demos;
  EXPECT_EQ(all, (std::vector<std::string>{dir.Path("A.DEM"), dir.Path("b.dem"), dir.Path("c.Dem"),
                                           dir.Path("nested/inner/g.dem"), dir.Path("sub/d.dem"),
                                           dir.Path("sub/deeper/e.DEM"), dir.Path("sub-x.dem"),
                                           dir.Path("Демки/f.dem")}));
  // A file named on the command line is taken whatever its name, a missing
  // one too (the reader reports it); a folder without demos is a problem.
  for (std::string file : {dir.Path("notes.txt"), dir.Path("missing.dem")}) {
    EXPECT_EQ(ExpandPath(file, false).demos, std::vector<std::string>{file});
  }
  EXPECT_NE(ExpandPath(dir.Path("empty"), true).problem, "");
  EXPECT_NE(ExpandPath(dir.Path("nested"), false).problem, "");
  EXPECT_EQ(ExpandPath(dir.Path("nested"), true).problem, "");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; at < text.size(); at = nl + 1) {
    nl = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, nl - at));
  }
  return lines;
}

std::string Summary(std::string_view engine, std::string_view map, std::string_view mod, bool hltv) {
  return "Half-Life Version: " + std::string(engine) + "\nDemo Version: 5\nNetwork Version: 48\nMap: " +
         std::string(map) + "\nMod: " + std::string(mod) + "\nHLTV: " + (hltv ? "Yes" : "No");
}

// The lines after the players for a demo without frames.
std::string NoDetails(bool hltv = false) {
  return "Playing time: unknown\nFrames: unknown\nServer: unknown\nMax players: unknown\nRecorded by: " +
         std::string(hltv ? "none (HLTV)" : "unknown") + "\nFinished: No\nRoster:\n";
}
constexpr char kNoDetailsJson[] =
    ", \"duration\": null, \"frames\": null, \"server\": null, \"maxPlayers\": null, \"recorder\": null, "
    "\"roster\": [], \"rosterNotListed\": 0, \"demo\": true, \"finished\": false, \"steamIds\": []}\n";

TEST(InfoCommand, PlainBlocksAndJsonLines) {
  ScratchFolder dir("rewindor-cli");
  const std::string players = "\x08\x02\nBUILD 2056 SERVER\n\tfullserverinfo \"\\*gamedir\\cstrike\"\n"
                              "\\model\\x\\name\\Zed\0\\name\\alpha\0\\name\\ALPHA\0\\name\\Bob\0"s;
  std::string first = dir.Write("Демки/a.dem", HandMadeDemo("de_rewind", "cstrike", players));
  std::string second = dir.Write("Демки/b.DEM", HandMadeDemo("de_b", "valve", "\0\x08HLTV\0"s));
  ToolOutput run = RunTool({"info", dir.Path("Демки")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Players in the order the demo names them (the window's list sorts them);
  // "ALPHA" repeats "alpha" but for letter case.
  EXPECT_EQ(run.out, first + "\n" + Summary("1.1.1.0", "de_rewind", "cstrike", false) +
                         "\nPlayers:\nZed\nalpha\nBob\n" + NoDetails() + "\n" + second + "\n" +
                         Summary("N/A", "de_b", "valve", true) + "\nPlayers:\n" + NoDetails(true));

  ToolOutput json = RunTool({"info", "--json", first});
  EXPECT_EQ(json.out, "{\"path\": " + JsonString(first) +
                          ", \"engineVersion\": \"1.1.1.0\", \"demoVersion\": \"5\", \"networkVersion\": \"48\", "
                          "\"map\": \"de_rewind\", \"mod\": \"cstrike\", \"hltv\": false, \"build\": 2056, "
                          "\"players\": [\"Zed\", \"alpha\", \"Bob\"], \"playersNotListed\": 0, \"summary\": " +
                          JsonString(Summary("1.1.1.0", "de_rewind", "cstrike", false)) + ", \"resolution\": null" +
                          kNoDetailsJson);
}

// A file without the demo signature, or with a header of another demo
// protocol, is no demo: it is summarised as specified, but never finished or
// unfinished.
TEST(InfoCommand, AFileThatIsNoDemoSaysSo) {
  ScratchFolder dir("rewindor-cli");
  std::string otherProtocol = HandMadeDemo("m", "cstrike", "");
  otherProtocol[8] = 4;  // demo protocol 4
  const char* noDemo = "\"demo\": false, \"finished\": null, \"steamIds\": []}\n";
  for (const auto& [name, bytes, tail] : {std::tuple<const char*, std::string, const char*>{
                                              "text.dem", "just some notes, renamed", noDemo},
                                          {"protocol4.dem", otherProtocol, noDemo},
                                          {"header.dem", HandMadeDemo("m", "cstrike", ""),
                                           "\"demo\": true, \"finished\": false, \"steamIds\": []}\n"}}) {
    const std::string json = RunTool({"info", "--json", dir.Write(name, bytes)}).out;
    EXPECT_TRUE(json.ends_with(tail)) << name << ": " << json;
  }
}

// Demo texts are shown as UTF-8 when they are, and byte for byte as
// U+0080-U+00FF when not; each text by itself, so one odd text does not turn
// a good one next to it into nonsense.
TEST(InfoCommand, DemoTextsBecomeUtf8EachByItself) {
  ScratchFolder dir("rewindor-cli");
  std::string body = "\tfulls\\name\\\xC8\xE3\xF0\xEE\xEA\\name\\Игрок\0"s;
  std::string demo = dir.Write("a.dem", HandMadeDemo("карта", "\xE9t\xE9", body));
  EXPECT_EQ(RunTool({"info", demo}).out, demo + "\n" + Summary("N/A", "карта", "été", false) + "\nPlayers:\nÈãðîê\nИгрок\n" +
                                              NoDetails());
  std::string json = RunTool({"info", "--json", demo}).out;
  EXPECT_NE(json.find("\"map\": \"карта\", \"mod\": \"été\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"players\": [\"Èãðîê\", \"Игрок\"]"), std::string::npos) << json;
}

// A demo that cannot be read is reported with the window's text and the
// system's reason; the batch goes on and the status tells that one failed.
TEST(InfoCommand, FailuresInABatch) {
  ScratchFolder dir("rewindor-cli");
  std::string good = dir.Write("good.dem", HandMadeDemo("m", "cstrike", ""));
  std::string empty = dir.Write("empty.dem", "");
  std::string missing = dir.Path("missing.dem");
  std::string noDemos = dir.Path("nothing");
  dir.Write("nothing/readme.txt", "x");

  ToolOutput plain = RunTool({"info", missing, empty, noDemos, good});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, good + "\n" + Summary("N/A", "m", "cstrike", false) + "\nPlayers:\n" + NoDetails());
  std::vector<std::string> errors = Lines(plain.err);
  ASSERT_EQ(errors.size(), 3u) << plain.err;
  EXPECT_TRUE(errors[0].starts_with(missing + ": Нельзя открыть demo-файл: ")) << errors[0];
  EXPECT_EQ(errors[1], empty + ": Could not open demofile (reason 2): Файл пуст.");
  EXPECT_EQ(errors[2], noDemos + ": No demo (.dem) in this folder.");

  ToolOutput json = RunTool({"info", "--json", empty, good});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.err, "");
  std::vector<std::string> lines = Lines(json.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "{\"path\": " + JsonString(empty) +
                          ", \"error\": \"Could not open demofile (reason 2): Файл пуст.\"}");
  EXPECT_TRUE(lines[1].starts_with("{\"path\": " + JsonString(good) + ", \"engineVersion\""));
}

TEST(CommandLine, UsageErrorsAndHelp) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"info"}, {"--json", "-r"}, {"show", "a.dem"}, {"info", "--bogus", "a.dem"},
           {"info", "--dry-run", "a.dem"}, {"info", "--to", "800x600", "a.dem"},
           {"strip-chat", "--from=640x480", "a.dem"}, {"convert-resolution", "a.dem"},
           {"convert-resolution", "--to", "800", "a.dem"}, {"convert-resolution", "--to", "-1x2", "a.dem"},
           {"convert-resolution", "--to", "4294967296x1", "a.dem"}, {"convert-resolution", "a.dem", "--to"},
           {"info", "a.dem", "--find"}, {"convert-resolution", "--toy=800x600", "a.dem"}}) {
    ToolOutput run = RunTool(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("rewindor-cli: ")) << run.err;
  }
  EXPECT_EQ(RunTool({"info", "a.dem", "--help"}).out, kUsage);
  ToolOutput version = RunTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("rewindor-cli [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
  // After "--" a name that looks like an option is a path.
  EXPECT_TRUE(RunTool({"info", "--", "--json"}).err.starts_with("--json: Нельзя открыть demo-файл: "));
}

// The real recordings: every one is summarised, in valid UTF-8, with what
// the recordings are known to hold.
TEST(InfoCommand, CorpusRecordings) {
  const fs::path corpus = PathFromUtf8(REWINDOR_CORPUS_DIR);
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  ToolOutput run = RunTool({"info", "--json", PathToUtf8(corpus)});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(lines.size(), 11u);
  for (const std::string& l : lines) EXPECT_TRUE(IsValidUtf8(l)) << l;
  auto has = [&](const std::string& file, std::string_view part) {
    std::string key = "{\"path\": " + JsonString(PathToUtf8(corpus / file)) + ", ";
    for (const std::string& l : lines) {
      if (l.starts_with(key)) return l.find(part) != std::string::npos;
    }
    return false;
  };
  EXPECT_TRUE(has("cs-client-cs_assault.dem", "\"map\": \"cs_assault\", \"mod\": \"cstrike\", \"hltv\": false, "
                                              "\"build\": 4554, \"players\": [\""));
  EXPECT_TRUE(has("cs-client-cs_assault.dem", "\"resolution\": \"1440x900\", "));
  EXPECT_TRUE(has("cs-hltv-cs_assault.dem", "\"hltv\": true, \"build\": 0, \"players\": [], "));
  EXPECT_TRUE(has("cs-hltv-cs_assault.dem", "\"resolution\": null, "));
  EXPECT_TRUE(has("hl-old-protocol4.dem", "\"demoVersion\": \"4\", \"networkVersion\": \"35\""));
}

// ---------------------------------------------------------------------------
// The edit commands.

// Two fades to black, a team chat and an all-chat message, one 640x480 size record.
const std::string kEditBody = "\x62\x00\x30\x00\x30\x05\x00\x00\x00\x00\xFF"
                              "\x62\x00\x30\x00\x30\x05\x00\x00\x00\x00\xFF"
                              "\x4B\x17\x05\x02(Terrorist) Bob : go\0"
                              "\x4B\x0B\x05\x02" "Bob : hi\0"
                              "\x01\x02\x03\x00\x00\x00\x00\x00\x00\x00\x00\x80\x02\x00\x00\xE0\x01\x00\x00"s;

struct EditCase {
  std::vector<std::string> command;
  std::string result;
  int replacements;
};
class EditCommands : public ::testing::TestWithParam<EditCase> {};

// A dry run reports what the edit would do and leaves the file alone; the
// real run then does exactly that.
TEST_P(EditCommands, DryRunThenRealRun) {
  ScratchFolder dir("rewindor-cli");
  const std::string original = HandMadeDemo("m", "cstrike", kEditBody);
  const std::string demo = dir.Write("a.dem", original);
  auto run = [&](std::vector<std::string> options) {
    std::vector<std::string> args = GetParam().command;
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(demo);
    return RunTool(args);
  };
  auto json = [&](bool dryRun) {
    return "{\"path\": " + JsonString(demo) + ", \"command\": " + JsonString(GetParam().command[0]) +
           ", \"replacements\": " + std::to_string(GetParam().replacements) + ", \"bytesRemoved\": 0, " +
           (GetParam().command[0] == "convert-resolution" ? "" : "\"framesNotDecoded\": 0, ") + "\"dryRun\": " +
           (dryRun ? "true" : "false") + ", \"result\": " + JsonString(GetParam().result) + "}\n";
  };
  EXPECT_EQ(run({"--dry-run", "--json"}).out, json(true));
  EXPECT_EQ(run({"--dry-run"}).out, demo + ": " + GetParam().result + " (dry run: nothing written)\n");
  EXPECT_EQ(ReadFile(demo), original);

  ToolOutput real = run({"--json"});
  EXPECT_EQ(real.status, 0);
  EXPECT_EQ(real.out, json(false));
  const std::string edited = ReadFile(demo);
  EXPECT_NE(edited, original);
  EXPECT_EQ(edited.size(), original.size());
}
INSTANTIATE_TEST_SUITE_P(
    Each, EditCommands,
    ::testing::Values(EditCase{{"remove-fades"}, "Fade to black удалено!", 2},
                      EditCase{{"strip-chat"}, "1 messages stripped.", 1},
                      EditCase{{"convert-resolution", "--from", "640x480", "--to=800x600"}, "Demo конверт.!.", 1}));

// Refusals leave every file as it was. A size that no demo may be given ends
// the command before any file is opened, with the window's own text.
TEST(EditRefusals, LeaveTheFilesAlone) {
  ScratchFolder dir("rewindor-cli");
  const std::string original = HandMadeDemo("m", "cstrike", kEditBody);
  const std::string demo = dir.Write("a.dem", original);
  const std::string missing = dir.Path("missing.dem");
  const std::string wrong = text::kWrongResolution + "\n"s, zero = text::kZeroCurrentResolution + "\n"s;
  for (const auto& [sizes, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--to", "1366x768"}, wrong}, {{"--to", "1280x1024", "--from", "640x480"}, wrong},
           {{"--to", "800x600", "--from", "640x0"}, zero}, {{"--to", "800x600", "--from", "65536x480"}, zero}}) {
    std::vector<std::string> args = {"convert-resolution", "--json", demo, missing};
    args.insert(args.end(), sizes.begin(), sizes.end());
    ToolOutput run = RunTool(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, err);
  }
  // Any allowed width goes with any allowed height. Without --from the size
  // is the demo's own; this one records none that can be stood behind (no
  // frames, one lone size record).
  EXPECT_EQ(RunTool({"convert-resolution", "--to", "1280X300", demo}).err,
            demo + ": " + kNoResolutionFound + "\n");
  ToolOutput trim = RunTool({"trim-loading", missing, demo});
  EXPECT_EQ(trim.status, 1);
  std::vector<std::string> errors = Lines(trim.err);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_TRUE(errors[0].starts_with(missing + ": Нельзя открыть demo-файл: ")) << errors[0];
  EXPECT_EQ(errors[1], demo + ": " + text::kTrimNoBuildAnnouncement);
  EXPECT_EQ(ReadFile(demo), original);
}

// Demos with frames and a directory, from the builder.
std::string ClientDemo(const builder::Built& built) { return AsString(built.bytes); }
builder::Built BuildClient() {
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame({{builder::Print("loading\n")}}));
  demo.loading().items.push_back(builder::LoadingFrame({{builder::BuildAnnouncement(4554), "build"}}));
  demo.playback().items.push_back(builder::Gameplay{.seconds = 2});
  return builder::Build(demo);
}

// What a demo holds beyond the information box: in JSON after the other keys,
// in plain text after the players, texts as UTF-8 (a Windows-1251 name as U+00XX).
TEST(BuiltDemos, InfoTellsPlayingTimeServerAndPlayers) {
  ScratchFolder dir("rewindor-cli");
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage({.maxPlayers = 12, .slot = 1, .hostName = "Сервер \"1\""}),
       builder::UpdateUserInfoRaw(1, 2, "\\name\\\xC8\xE3\xF0\xEE\xEA"), builder::UpdateUserInfoRaw(0, 1, "\\name\\Ann")}));
  demo.playback().items.push_back(builder::Gameplay{.seconds = 75.5});
  const std::string path = dir.Write("a.dem", ClientDemo(builder::Build(demo)));
  const std::string json = RunTool({"info", "--json", path}).out;
  EXPECT_NE(json.find(
                "\"resolution\": \"640x480\", \"duration\": 75.484375, \"frames\": 4832, \"server\": \"Сервер \\\"1\\\"\", "
                "\"maxPlayers\": 12, \"recorder\": \"Èãðîê\", \"roster\": [\"Èãðîê\", \"Ann\"], \"rosterNotListed\": 0, \"demo\": true, \"finished\": true, "
                "\"steamIds\": []}\n"),
            std::string::npos)
      << json;
  EXPECT_TRUE(RunTool({"info", path}).out.ends_with(
      "Playing time: 1:15\nFrames: 4832\nServer: Сервер \"1\"\nMax players: 12\nRecorded by: Èãðîê\nFinished: Yes\n"
      "Roster:\nÈãðîê\nAnn\n"));
}

// Steam IDs: in JSON one object per player who has one, in plain text after
// the roster, and found by --find.
TEST(BuiltDemos, SteamIdsShownAndFound) {
  ScratchFolder dir("rewindor-cli");
  builder::Demo demo;
  demo.loading().items.push_back(
      builder::LoadingFrame({builder::ServerInfoMessage(),
                             builder::UpdateUserInfoRaw(0, 1, "\\name\\Ann\\*sid\\76561198053761909"),
                             builder::UpdateUserInfoRaw(1, 2, "\\name\\Bot\\*bot\\1\\*sid\\0")}));
  demo.playback().items.push_back(builder::Gameplay{.seconds = 1});
  const std::string path = dir.Write("a.dem", ClientDemo(builder::Build(demo)));
  const std::string other = dir.Write("b.dem", HandMadeDemo("m", "cstrike", ""));
  const std::string json = RunTool({"info", "--json", path}).out;
  EXPECT_TRUE(json.ends_with(
      "\"finished\": true, \"steamIds\": [{\"name\": \"Ann\", \"steamId\": \"76561198053761909\"}]}\n"))
      << json;
  const std::string plain = RunTool({"info", path}).out;
  EXPECT_TRUE(plain.ends_with("Roster:\nAnn\nBot\nSteam IDs:\n76561198053761909  Ann\n")) << plain;
  EXPECT_EQ(RunTool({"info", "--find", "8053761909", path, other}).out, plain);
  EXPECT_EQ(RunTool({"info", "--find=8053761909", path, other}).out, plain);  // the value after '=' alone
}

// events: one JSON object per event in file order and a summary object, or
// one line per event and the summary lines; --find keeps the events that
// name a player or hold a chat text.
TEST(EventsCommand, JsonPlainAndFind) {
  ScratchFolder dir("rewindor-cli");
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage(), builder::RegisterGameMessages(),
       builder::UpdateUserInfoRaw(0, 1, "\\name\\Ann\\*sid\\76561198053761909"),
       builder::UpdateUserInfoRaw(1, 2, "\\name\\\xC8\xE3\xF0\xEE\xEA\\*bot\\1")}));
  for (int t = 50; t <= 750; t += 50) {  // the play gets to 12:34, a step at a time
    demo.playback().items.push_back(builder::NetFrame({}));
    std::get<builder::Frame>(demo.playback().items.back()).time = static_cast<float>(t);
  }
  builder::Frame play = builder::NetFrame({{builder::DeathMessage(2, 1, true, "ak47"), "kill"},
                                           {builder::KeyedChat(1, "#Cstrike_Chat_T", "", "ns"), "chat"},
                                           {builder::TextMessage("#CTs_Win"), "round"},
                                           {builder::TeamScoreMessage("CT", 7), "score"}});
  play.time = 754.25f;
  demo.playback().items.push_back(play);
  const builder::Built built = builder::Build(demo);
  const std::string path = dir.Write("a.dem", ClientDemo(built));
  auto head = [&](std::string_view tag) {
    return "{\"path\": " + JsonString(path) + ", \"time\": 754.25, \"segment\": 1, \"frame\": 16, \"offset\": " +
           std::to_string(built.layout.Tagged(tag).at(0).offset) + ", \"kind\": ";
  };
  const std::string kill = head("kill") + "\"kill\", \"killer\": \"Èãðîê\", \"victim\": \"Ann\", "
                                          "\"weapon\": \"ak47\", \"headshot\": true}\n";
  const std::string chat =
      head("chat") + "\"chat\", \"sender\": \"Ann\", \"scope\": \"team\", \"dead\": false, \"text\": \"ns\"}\n";
  const std::string round = head("round") + "\"round\", \"result\": \"#CTs_Win\", \"winner\": \"CT\", \"round\": 1}\n";
  const std::string score = head("score") + "\"score\", \"team\": \"CT\", \"score\": 7}\n";
  const std::string summary =
      "{\"command\": \"events\", \"path\": " + JsonString(path) +
      ", \"rounds\": 1, \"score\": {\"T\": 0, \"CT\": 7}, \"players\": [{\"name\": \"Ann\", \"steamId\": "
      "\"76561198053761909\", \"kills\": 0, \"deaths\": 1, \"headshots\": 0}, {\"name\": \"Èãðîê\", \"steamId\": "
      "null, \"kills\": 1, \"deaths\": 0, \"headshots\": 1}], \"framesNotDecoded\": 0}\n";
  const ToolOutput json = RunTool({"events", "--json", path});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out, kill + chat + round + score + summary);
  EXPECT_EQ(RunTool({"events", "--json", "--find", "ANN", path}).out, kill + chat + summary);
  EXPECT_EQ(RunTool({"events", "--json", "--find", "èã", path}).out, kill + summary);

  const std::string lines = "Раундов: 1, счёт T 0 : CT 7\nAnn (76561198053761909): убийств 0, смертей 1, в голову 0\n"
                            "Èãðîê: убийств 1, смертей 0, в голову 1\n";
  EXPECT_EQ(RunTool({"events", path}).out, path + "\n"
                                                  "12:34  раунд 1  Èãðîê убил Ann (ak47, в голову)\n"
                                                  "12:34  раунд 1  [T] Ann: ns\n"
                                                  "12:34  раунд 1  конец раунда: победа CT (#CTs_Win)\n"
                                                  "12:34  раунд 2  счёт CT: 7\n" +
                                                  lines);
  // A demo whose messages are not decoded is a failure with the decoder's reason.
  builder::Demo older;
  older.networkProtocol = 46;
  const std::string old = dir.Write("old.dem", ClientDemo(builder::Build(older)));
  const ToolOutput failed = RunTool({"events", old});
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.err.starts_with(old + ": ")) << failed.err;
}

// Past 1,024 distinct names the players and the roster say how many more
// there are: a key of its own in JSON, a line after the names in plain text.
TEST(BuiltDemos, NamesBeyondTheListAreCounted) {
  ScratchFolder dir("rewindor-cli");
  std::vector<std::string> names;
  for (int i = 0; i < 1030; ++i) names.push_back(std::string("n").append(std::to_string(i)));
  builder::Demo demo;
  Bytes updates;
  for (const std::string& name : names) {
    const Bytes u = builder::UpdateUserInfoRaw(1, 2, "\\name\\" + name);
    updates.insert(updates.end(), u.begin(), u.end());
  }
  demo.loading().items.push_back(builder::LoadingFrame({updates}));
  for (std::size_t i = 0; i < names.size(); i += 20) {  // player-info blocks within their windows
    const std::vector<std::string> some(names.begin() + static_cast<std::ptrdiff_t>(i),
                                        names.begin() + static_cast<std::ptrdiff_t>(std::min(i + 20, names.size())));
    demo.playback().items.push_back(builder::NetFrame({builder::PlayerInfoBlock("cstrike", some)}));
  }
  const std::string path = dir.Write("a.dem", ClientDemo(builder::Build(demo)));
  const std::string json = RunTool({"info", "--json", path}).out;
  EXPECT_NE(json.find("\"n1023\"], \"playersNotListed\": 6, "), std::string::npos) << json;
  EXPECT_NE(json.find("\"n1023\"], \"rosterNotListed\": 6, "), std::string::npos) << json;
  const std::string plain = RunTool({"info", path}).out;
  EXPECT_NE(plain.find("n1023\nи ещё 6\nPlaying time: "), std::string::npos);
  // The blocks give twenty Steam IDs (each numbers its players from 1); they
  // follow the roster, each with the last name it had.
  EXPECT_NE(plain.find("n1023\nи ещё 6\nSteam IDs:\n"), std::string::npos);
  EXPECT_TRUE(plain.ends_with("  n1019\n"));
}

// The trim removes the loading data before the announcement's frame: the
// dry run tells how much without writing, the edit takes exactly that much
// away, and the shorter demo still reads and walks.
TEST(BuiltDemos, TrimReportsTheBytesRemoved) {
  ScratchFolder dir("rewindor-cli");
  const builder::Built built = BuildClient();
  const std::uint64_t cut = built.layout.Tagged("build").at(0).offset - 1021;
  ASSERT_GT(cut, 0u);
  const std::string path = dir.Write("a.dem", ClientDemo(built));
  const std::string removed = "\"bytesRemoved\": " + std::to_string(cut) + ", ";

  ToolOutput dry = RunTool({"trim-loading", "--json", "--dry-run", path});
  EXPECT_NE(dry.out.find(removed + "\"dryRun\": true, \"result\": \"Demo фикс.!\"}"), std::string::npos) << dry.out;
  EXPECT_EQ(ReadFile(path), ClientDemo(built));

  ToolOutput real = RunTool({"trim-loading", "--json", path});
  EXPECT_EQ(real.status, 0);
  EXPECT_NE(real.out.find(removed + "\"dryRun\": false"), std::string::npos) << real.out;
  EXPECT_EQ(ReadFile(path).size(), built.bytes.size() - cut);
  ToolOutput info = RunTool({"info", "--json", path});
  EXPECT_NE(info.out.find("\"build\": 4554, "), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"resolution\": \"640x480\", "), std::string::npos) << info.out;
}

// Without --from the conversion replaces the size the demo records, in
// every frame; a demo that records none (HLTV) fails alone.
TEST(BuiltDemos, ConversionFindsTheRecordedSize) {
  ScratchFolder dir("rewindor-cli");
  const builder::Built client = BuildClient();
  const std::string clientPath = dir.Write("client.dem", ClientDemo(client));
  const std::string hltvPath = dir.Write("hltv.dem", ClientDemo(builder::Build(builder::HltvSample())));

  ToolOutput run = RunTool({"convert-resolution", "--to", "1024x768", dir.Path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, clientPath + ": Demo конверт.!.\n");
  EXPECT_EQ(run.err, hltvPath + ": " + kNoResolutionFound + "\n");
  const std::string converted = ReadFile(clientPath);
  ASSERT_EQ(converted.size(), client.bytes.size());
  for (std::uint64_t at : client.layout.viewports) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(converted.data()) + at;
    EXPECT_EQ(LoadU32LE(p + 8), 1024u);
    EXPECT_EQ(LoadU32LE(p + 12), 768u);
  }
  EXPECT_NE(RunTool({"info", "--json", clientPath}).out.find("\"resolution\": \"1024x768\", "), std::string::npos);
}

// repair: a demo the game never finished is mended once, as the dry run
// said; the mended demo and one cut inside its loading data are left byte for
// byte, the latter with an error.
TEST(BuiltDemos, RepairMendsAnUnfinishedDemoOnce) {
  ScratchFolder dir("rewindor-cli");
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame({{builder::Print("loading\n")}}));
  demo.playback().items.push_back(builder::Gameplay{.seconds = 2});
  demo.damage.noDirectory = true;
  demo.damage.directoryOffset = 0;
  const builder::Built built = builder::Build(demo);
  const builder::SegmentRecord& loading = built.layout.segments[0];
  // Without its closing frame: 2 seconds at 64 frames a second end at 127/64.
  const std::string unfinished = ClientDemo(built).substr(0, built.bytes.size() - kFrameHeaderSize);
  const std::string path = dir.Write("a.dem", unfinished);
  const std::string cut =
      dir.Write("b.dem", unfinished.substr(0, static_cast<std::size_t>(loading.offset + loading.length / 2)));
  auto json = [&](bool repaired, bool dryRun) {
    return "{\"path\": " + JsonString(path) + ", \"command\": \"repair\", \"repaired\": " +
           (repaired ? "true" : "false") + ", \"duration\": 1.984375, \"frames\": 128, \"bytesDropped\": 0, " +
           "\"mendedTimes\": 0, \"dryRun\": " + (dryRun ? "true" : "false") + ", \"result\": " +
           JsonString(repaired ? "Демка починена! Время: 0:01, кадров: 128, отрезано в конце: 0 байт."
                               : text::kDemoNotBroken) +
           "}\n";
  };
  ToolOutput dry = RunTool({"repair", "--json", "--dry-run", path});
  EXPECT_EQ(dry.out, json(true, true));
  EXPECT_EQ(ReadFile(path), unfinished);

  ToolOutput real = RunTool({"repair", "--json", path, cut});
  EXPECT_EQ(real.status, 1);  // the cut one failed
  EXPECT_EQ(real.out, json(true, false) + "{\"path\": " + JsonString(cut) + ", \"error\": " +
                          JsonString(text::kRepairCutInLoading) + "}\n");
  const std::string repaired = ReadFile(path);
  EXPECT_EQ(repaired.size(), unfinished.size() + kFrameHeaderSize + 4 + 2 * kDirectoryEntrySize);
  EXPECT_EQ(repaired.compare(544, unfinished.size() - 544, unfinished, 544), 0);

  const auto stamp = fs::last_write_time(PathFromUtf8(path));
  ToolOutput again = RunTool({"repair", "--json", path});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, json(false, false));
  EXPECT_EQ(ReadFile(path), repaired);
  EXPECT_EQ(fs::last_write_time(PathFromUtf8(path)), stamp);  // not even rewritten
  EXPECT_EQ(RunTool({"repair", path}).out, path + ": " + text::kDemoNotBroken + "\n");
}

// --- game --------------------------------------------------------------------------

TEST(GameCommand, JsonAndPlainLinesAndNothingFound) {
  FakeGameSources m;
  m.SetRegistry(RegistryHive::kCurrentUser, "Software\\Valve\\Steam", "SteamPath", "c:/steam");
  const std::string game = "C:\\steam\\steamapps\\common\\Half-Life";
  for (const char* file : {"\\hl.exe", "\\cstrike\\a.dem", "\\cstrike\\b.DEM", "\\valve\\c.dem", "\\valve\\x.txt"}) {
    m.AddFile(game + file);
  }
  RecordingConsole json, plain;
  EXPECT_EQ(RunGameCommand(true, m, GameSystem::kWindows, json), kExitOk);
  EXPECT_EQ(json.out, "{\"command\": \"game\", \"found\": true, \"folder\": " + JsonString(game) +
                          ", \"exe\": " + JsonString(game + "\\hl.exe") +
                          ", \"source\": \"steam-registry\", \"demoFolders\": [{\"path\": " +
                          JsonString(game + "\\cstrike") + ", \"demos\": 2}, {\"path\": " +
                          JsonString(game + "\\valve") + ", \"demos\": 1}]}\n");
  EXPECT_EQ(RunGameCommand(false, m, GameSystem::kWindows, plain), kExitOk);
  EXPECT_EQ(plain.out, "Game: " + game + "\\hl.exe\nFolder: " + game + "\nSource: steam-registry\nDemos: " + game +
                           "\\cstrike (2)\nDemos: " + game + "\\valve (1)\n");

  FakeGameSources nothing;
  RecordingConsole none, nonePlain;
  EXPECT_EQ(RunGameCommand(true, nothing, GameSystem::kWindows, none), kExitFailed);
  EXPECT_EQ(none.out, "{\"command\": \"game\", \"found\": false}\n");
  EXPECT_EQ(RunGameCommand(false, nothing, GameSystem::kWindows, nonePlain), kExitFailed);
  EXPECT_EQ(nonePlain.out, "Game: not found\n");
}

TEST(GameCommand, TakesNoPathOrOtherOption) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"game", "C:\\x"}, {"game", "-r"}, {"game", "game"}, {"game", "--dry-run"}, {"game", "--find", "x"}}) {
    ToolOutput run = RunTool(args);
    EXPECT_EQ(run.status, kExitUsage) << args.back();
    EXPECT_TRUE(run.err.starts_with("rewindor-cli: ")) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

#ifndef _WIN32
// On Linux through the real file system: Steam in the home folder, hl_linux.
TEST(GameCommand, FindsSteamUnderTheHomeFolder) {
  ScratchFolder home("rewindor-cli");
  const std::string game = home.Path(".local/share/Steam/steamapps/common/Half-Life");
  home.Write(".local/share/Steam/steamapps/common/Half-Life/hl_linux", "");
  home.Write(".local/share/Steam/steamapps/common/Half-Life/cstrike/a.dem", "");
  const char* saved = std::getenv("HOME");
  const std::string before = saved ? saved : "";
  setenv("HOME", home.Path().c_str(), 1);
  ToolOutput run = RunTool({"game"});
  saved ? setenv("HOME", before.c_str(), 1) : unsetenv("HOME");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Game: " + game + "/hl_linux\nFolder: " + game + "\nSource: steam-home\nDemos: " + game +
                         "/cstrike (1)\n");
}
#endif

namespace b = builder;

// A demo whose Playback has a chat message, then a frame with a reserved
// message number after a no-op: each message or failed frame in a JSON line
// or a row of columns, then the summary.
TEST(MessagesCommand, JsonOrColumnsPerMessageAndFailedFrameThenTheSummary) {
  ScratchFolder dir("rewindor-cli");
  b::Demo messages;
  messages.loading().items.push_back(
      b::LoadingFrame({b::ServerInfoMessage(), b::NewUserMessage(76, 255, "SayText")}));
  messages.playback().items.push_back(b::NetFrame({b::Message({76, 2, 'h', 0}, "chat")}));
  messages.playback().items.push_back(b::NetFrame({b::Message({1}, "nop"), b::Message({60}, "reserved")}));
  const b::Built built = b::Build(messages);
  auto at = [&](std::string_view tag) { return built.layout.Tagged(tag).at(0).offset; };
  const struct {
    std::string path;
    std::uint64_t chat, nop, reserved;
  } demo{dir.Write("m.dem", built.bytes), at("chat"), at("nop"), at("reserved")};
  const ToolOutput run = RunTool({"messages", "--json", demo.path});
  EXPECT_EQ(run.status, 1);  // a frame failed
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 6u) << run.out;
  EXPECT_EQ(lines[0].substr(0, 61), "{\"segment\": 0, \"frame\": 0, \"offset\": 1021, \"length\": 94, \"id\"");
  EXPECT_EQ(lines[2], "{\"segment\": 1, \"frame\": 1, \"offset\": " + std::to_string(demo.chat) +
                          ", \"length\": 4, \"id\": 76, \"name\": \"SayText\"}");
  EXPECT_EQ(lines[3], "{\"segment\": 1, \"frame\": 2, \"offset\": " + std::to_string(demo.nop) +
                          ", \"length\": 1, \"id\": 1, \"name\": \"svc_nop\"}");
  EXPECT_EQ(lines[4], "{\"segment\": 1, \"frame\": 2, \"offset\": " + std::to_string(demo.reserved) +
                          ", \"error\": \"message number 60 is not a known message\"}");
  EXPECT_EQ(lines[5], "{\"path\": " + JsonString(demo.path) +
                          ", \"command\": \"messages\", \"frames\": 3, \"decoded\": 2, \"failed\": 1}");

  const ToolOutput plain = RunTool({"messages", demo.path});
  EXPECT_EQ(plain.status, 1);
  const std::string chat = std::to_string(demo.chat);
  for (const std::string& row :
       {demo.path + "\nseg   frame      offset length   id name\n  0       0        1021     94   11 svc_serverinfo\n",
        "\n  1       1 " + std::string(11 - chat.size(), ' ') + chat + "      4   76 SayText\n",
        std::string(" error: message number 60 is not a known message\n3 network frames: 2 decoded, 1 failed\n")}) {
    EXPECT_NE(plain.out.find(row), std::string::npos) << row << "in:\n" << plain.out;
  }

  b::Demo old;
  old.networkProtocol = 46;
  const std::string oldPath = dir.Write("old.dem", b::Build(old).bytes);
  const ToolOutput refused = RunTool({"messages", oldPath});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, oldPath + ": demo protocol 5, network protocol 46: messages are decoded only in demos of "
                                   "demo protocol 5 and network protocol 47 or 48\n");
}

}  // namespace
}  // namespace rewindor::cli
