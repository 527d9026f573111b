// LaunchGame on a request and a fake platform: the command lines of the four
// modes, the order of the refusals, what is copied, started and deleted, what
// the window is told, and the mod names a demo must not smuggle in.
#include "launch/launcher.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "demo/utf8.h"
#endif

namespace rewindor {
namespace {

// What the window shows of an outcome: nothing, the box's text, or the error report.
std::string Shown(const LaunchOutcome& outcome) {
  switch (outcome.kind) {
    case LaunchOutcome::Kind::kPlayed: return "";
    case LaunchOutcome::Kind::kRefused: return "box " + outcome.text;
    case LaunchOutcome::Kind::kFailed: return "error " + outcome.text + ": " + outcome.why.text;
  }
  return "?";
}

class FakePlatform : public GamePlatform {
 public:
  std::vector<std::string> log;
  bool copyFails = false, runFails = false;

  void SetNormalAttributes(const std::string& p) override { log.push_back("attributes " + p); }
  bool CopyReplacing(const std::string& from, const std::string& to) override {
    log.push_back("copy " + from + " > " + to);
    return !copyFails;
  }
  bool RunToEnd(const std::string& app, const std::string& line) override {
    log.push_back("run " + app + " | " + line);
    return !runFails;
  }
  void RemoveFile(const std::string& p) override { log.push_back("remove " + p); }
  SystemError LastError() override { return {5, "Access is denied."}; }
};

constexpr char kTail[] = " -console -toconsole +exec config.cfg ";

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request.demoPath = "D:\\demos\\match.dem";
    request.gamePath = "C:\\Games\\HL\\hl.exe";
    request.demoSpeed = "1";
  }
  // The window's text for what came of it; empty when the game was played.
  std::string Launch(std::string_view mod = "cstrike") {
    request.mod = mod;
    return Shown(LaunchGame(request, platform));
  }

  LaunchRequest request;
  FakePlatform platform;
};

TEST_F(LaunchTest, CopiesStartsWaitsAndDeletesInThatOrder) {
  EXPECT_EQ(Launch(), "");
  EXPECT_EQ(platform.log,
            (std::vector<std::string>{
                "attributes C:\\Games\\HL\\cstrike\\rewindor.dem",
                "copy D:\\demos\\match.dem > C:\\Games\\HL\\cstrike\\rewindor.dem",
                std::string("run C:\\Games\\HL\\hl.exe | C:\\Games\\HL\\hl.exe  -game cstrike -fullscreen") + kTail +
                    "+playdemo rewindor.dem 1",
                "remove C:\\Games\\HL\\cstrike\\rewindor.dem",
            }));
}

TEST_F(LaunchTest, EachModesCommandLineAndCopyPath) {
  struct Case {
    std::set<int> boxes;  // 1041 view, 1042 time, 1046 movie
    const char *exe, *options, *speed, *mod;
    const char* run;   // the application name | the command line, up to the mode's part
    const char* mode;  // the command line's end
    const char* copy;
  } cases[] = {
      {{}, "C:\\HL\\hl.exe", "-dev", "0.5", "cstrike", "C:\\HL\\hl.exe | C:\\HL\\hl.exe -dev -game cstrike",
       "+playdemo rewindor.dem 0.5", "C:\\HL\\cstrike\\rewindor.dem"},
      {{1041, 1042, 1046}, "C:\\HL\\hl.exe", "", "1", "valve", "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game valve",
       "+viewdemo rewindor.dem", "C:\\HL\\valve\\rewindor.dem"},
      {{1042, 1046}, "C:\\HL\\hl.exe", "", "1", "cstrike", "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game cstrike",
       "+timedemo rewindor.dem", "C:\\HL\\cstrike\\rewindor.dem"},
      {{1046}, "C:\\HL\\hl.exe", "-w 800", "1", "cstrike", "C:\\HL\\hl.exe | C:\\HL\\hl.exe -w 800 -game cstrike",
       "+playdemo rewindor.dem 3 +startmovie rewindmovie 90", "C:\\HL\\cstrike\\rewindor.dem"},
      // An empty speed leaves the space before it.
      {{}, "C:\\HL\\hl.exe", "", "", "cstrike", "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game cstrike",
       "+playdemo rewindor.dem ", "C:\\HL\\cstrike\\rewindor.dem"},
      // The application name is never quoted; the command line's first word is when it holds a blank.
      {{}, "C:\\Program Files\\HL\\hl.exe", "", "2", "czero",
       "C:\\Program Files\\HL\\hl.exe | \"C:\\Program Files\\HL\\hl.exe\"  -game czero", "+playdemo rewindor.dem 2",
       "C:\\Program Files\\HL\\czero\\rewindor.dem"},
      // No demo read yet: the empty mod leaves two spaces and two backslashes.
      {{}, "C:\\HL\\hl.exe", "", "1", "", "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game ", "+playdemo rewindor.dem 1",
       "C:\\HL\\\\rewindor.dem"},
      // No folder in the executable's path: the copy then fails.
      {{}, "hl.exe", "", "1", "cstrike", "hl.exe | hl.exe  -game cstrike", "+playdemo rewindor.dem 1",
       "hl.exe\\cstrike\\rewindor.dem"},
      // The speed's first 19 characters, as its field gives them.
      {{}, "C:\\HL\\hl.exe", "", "0123456789abcdefghiXYZ", "cstrike", "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game cstrike",
       "+playdemo rewindor.dem 0123456789abcdefghi", "C:\\HL\\cstrike\\rewindor.dem"},
      {{}, "C:\\HL\\hl.exe", "", "скорость-в-19-знаков-и-больше", "cstrike",
       "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game cstrike", "+playdemo rewindor.dem скорость-в-19-знако",
       "C:\\HL\\cstrike\\rewindor.dem"},
      // A pair of UTF-16 units cut in two, as the field gives it: U+FFFD.
      {{}, "C:\\HL\\hl.exe", "", "123456789012345678\U0001F600", "cstrike",
       "C:\\HL\\hl.exe | C:\\HL\\hl.exe  -game cstrike", "+playdemo rewindor.dem 123456789012345678\xEF\xBF\xBD",
       "C:\\HL\\cstrike\\rewindor.dem"},
      {{}, "C:\\Игры\\hl.exe", "", "1", "mod_1.v-2", "C:\\Игры\\hl.exe | C:\\Игры\\hl.exe  -game mod_1.v-2",
       "+playdemo rewindor.dem 1", "C:\\Игры\\mod_1.v-2\\rewindor.dem"},
  };
  for (const Case& c : cases) {
    platform.log.clear();
    request.gamePath = c.exe;
    request.gameOptions = c.options;
    request.demoSpeed = c.speed;
    request.viewDemo = c.boxes.count(1041) > 0;
    request.timeDemo = c.boxes.count(1042) > 0;
    request.startMovie = c.boxes.count(1046) > 0;
    ASSERT_EQ(Launch(c.mod), "") << c.run;
    ASSERT_EQ(platform.log.size(), 4u);
    EXPECT_EQ(platform.log[0], std::string("attributes ") + c.copy);
    EXPECT_EQ(platform.log[2], std::string("run ") + c.run + " -fullscreen" + kTail + c.mode);
  }
}

struct RefusalCase {
  const char* name;
  std::string demo, exe, mod;
  const char* message;
};

class RefusalTest : public LaunchTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusesBeforeCopyingOrStarting) {
  const RefusalCase& c = GetParam();
  request.demoPath = c.demo;
  request.gamePath = c.exe;
  EXPECT_EQ(Launch(c.mod), std::string("box ") + c.message);
  EXPECT_TRUE(platform.log.empty());
}

const std::string kDemo = "D:\\d.dem", kExe = "C:\\HL\\hl.exe", kLongFolder = "C:\\" + std::string(240, 'g');

INSTANTIATE_TEST_SUITE_P(
    Order, RefusalTest,
    ::testing::Values(RefusalCase{"BothEmpty", "", "", "cstrike", text::kNoDemoLoaded},
                      RefusalCase{"DemoOfTwo", "ab", kExe, "cstrike", text::kNoDemoLoaded},
                      RefusalCase{"DemoBeforeMod", "", kExe, "..", text::kNoDemoLoaded},
                      RefusalCase{"ExecutableOfTwo", kDemo, "hl", "cstrike", text::kGameNotLocated},
                      RefusalCase{"ExecutableBeforeMod", kDemo, "", "..\\..", text::kGameNotLocated},
                      RefusalCase{"CopyPathOver259", kDemo, kLongFolder + "\\hl.exe", "cstrike_russian",
                                  text::kCopyPathTooLong},
                      RefusalCase{"ModBeforeLength", kDemo, kLongFolder + "\\hl.exe", "a b", text::kBadModName}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ModName, OnlyPlainAsciiFolderNamesOfAtMost64Characters) {
  struct Case {
    std::string mod;
    bool usable;
  } cases[] = {
      {"cstrike", true},
      {"cstrike_russian", true},
      {"Mod-2.1", true},
      {"7", true},
      {std::string(64, 'a'), true},
      {"", true},  // no demo read yet
      {std::string(65, 'a'), false},
      {"cstrike+quit", false},
      {"cstrike\xA0+exec", false},  // a no-break space in Windows-1252
      {"cstrike\xC2\xA0+exec", false},  // the same in UTF-8
      {"мод_1", false},
      {" cstrike", false},
      {"cstrike ", false},
      {".hidden", false},
      {"-dev", false},
      {"cstrike.", false},
      {std::string("cs\0x", 4), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsUsableModName(c.mod), c.usable) << c.mod;
}

TEST_F(LaunchTest, HostileModNamesRefused) {
  // Names a demo may carry that would put the copy elsewhere or add options.
  for (const char* mod : {"..", ".", "cstrike.", "..\\..\\Windows", "valve/maps", "C:", "cs\" +exec evil",
                          "cstrike +exec evil.cfg", "cs\tx", "cs\nx", "-dev", "+quit", "cs*", "a|b", "cs\xFF",
                          "cstrike+quit", "cs\xA0+exec", "мод_1"}) {
    EXPECT_EQ(Launch(mod), std::string("box ") + text::kBadModName) << mod;
  }
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(LaunchTest, OverlongCommandLineRefusedNotCut) {
  request.gameOptions = std::string(kMaxCommandLineChars, 'x');  // only the speed is cut
  EXPECT_EQ(Launch(), std::string("box ") + text::kCommandLineTooLong);
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(LaunchTest, CopyFailureReportedAndNothingStarted) {
  platform.copyFails = true;
  EXPECT_EQ(Launch(), "error Could not copy demo-file: Access is denied.");
  ASSERT_EQ(platform.log.size(), 2u);
  EXPECT_EQ(platform.log[1].substr(0, 5), "copy ");
}

TEST_F(LaunchTest, StartFailureReportedAndTheCopyStays) {
  platform.runFails = true;
  EXPECT_EQ(Launch(), "error Could not start HL.EXE/CSTRIKE.EXE: Access is denied.");
  ASSERT_EQ(platform.log.size(), 3u);
  EXPECT_EQ(platform.log[2].substr(0, 4), "run ");
}

TEST_F(LaunchTest, DemoThatIsTheCopyItselfIsPlayedAndKept) {
  request.demoPath = "c:/games/hl/CSTRIKE/Rewindor.dem";
  EXPECT_EQ(Launch(), "");
  ASSERT_EQ(platform.log.size(), 1u);
  EXPECT_EQ(platform.log[0].substr(0, 4), "run ");
}

#ifdef _WIN32
std::string Utf8Path(const std::filesystem::path& p) {
  std::wstring w = p.wstring();
  return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

// The real file system and process start, in a folder of the test's own.
TEST(NativeGamePlatformTest, CopiesOverAReadOnlyCopyRunsToTheEndAndDeletes) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / (L"rewindor launch тест " + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(folder);
  std::string demo = Utf8Path(folder / L"демо 1.dem"), copy = Utf8Path(folder / L"rewindor.dem");
  std::ofstream(folder / L"демо 1.dem", std::ios::binary) << "HLDEMO new";
  std::ofstream(folder / L"rewindor.dem", std::ios::binary) << "old copy";
  fs::permissions(folder / L"rewindor.dem", fs::perms::owner_write, fs::perm_options::remove);

  GamePlatform& platform = NativeGamePlatform();
  std::wstring copyName = (folder / L"rewindor.dem").wstring();
  ASSERT_NE(GetFileAttributesW(copyName.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  platform.SetNormalAttributes(copy);
  EXPECT_EQ(GetFileAttributesW(copyName.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_TRUE(platform.CopyReplacing(demo, copy));
  std::ifstream in(folder / L"rewindor.dem", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "HLDEMO new");
  in.close();

  EXPECT_FALSE(platform.CopyReplacing(Utf8Path(folder / L"missing.dem"), copy));
  EXPECT_EQ(platform.LastError().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));

  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::string cmd = Utf8Path(fs::path(system) / L"cmd.exe");
  EXPECT_TRUE(platform.RunToEnd(cmd, "cmd.exe /c exit 3"));
  EXPECT_FALSE(platform.RunToEnd(Utf8Path(folder / L"no game.exe"), "\"no game.exe\" -game cstrike"));
  SystemError why = platform.LastError();
  EXPECT_NE(why.code, 0u);
  EXPECT_FALSE(why.text.empty());

  platform.RemoveFile(copy);
  EXPECT_FALSE(fs::exists(folder / L"rewindor.dem"));
  fs::remove_all(folder);
}
#endif

}  // namespace
}  // namespace rewindor
