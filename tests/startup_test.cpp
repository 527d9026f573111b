// Start-up's portable pieces: the command-line argument, the long path (the
// system service and the component-by-component fallback) and the file
// association.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>
#endif

#include "demo/utf8.h"

#include "tests/support/fake_registry.h"

namespace rewindor {
namespace {

TEST(ArgumentTest, TheDemoPathBehindTheProgramName) {
  struct Case {
    const char* commandLine;
    const char* argument;
    const char* path;
  } cases[] = {
      // As the shell starts us for a demo in a folder with blanks.
      {"\"C:\\Program Files\\Rewindor\\rewindor.exe\" \"D:\\My Demos\\a b.dem\"", "\"D:\\My Demos\\a b.dem\"",
       "D:\\My Demos\\a b.dem"},
      {"rewindor.exe D:\\demos\\x.dem  ", "D:\\demos\\x.dem  ", "D:\\demos\\x.dem"},
      {"rewindor.exe\t \"D:\\x.dem\"\t", "\"D:\\x.dem\"\t", "D:\\x.dem"},
      {"\"C:\\R\\rewindor.exe\"\"D:\\x.dem", "\"D:\\x.dem", "D:\\x.dem"},  // unclosed quote
      {"rewindor.exe", "", ""},
      {"\"C:\\R b\\rewindor.exe", "", ""},  // the name's quote never closes
      {"rewindor.exe \"\"", "\"\"", ""},
      {"rewindor.exe a.dem b.dem", "a.dem b.dem", "a.dem b.dem"},  // taken whole: it names nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ArgumentText(c.commandLine), c.argument) << c.commandLine;
    EXPECT_EQ(ArgumentPath(ArgumentText(c.commandLine)), c.path) << c.commandLine;
  }
}

// A directory that knows a few short names, and a long-path service that is
// present, failing or absent.
class FakeLookup : public PathLookup {
 public:
  Service service = Service::kUnavailable;
  std::string serviceResult;
  std::map<std::string, std::string> entries = {
      {"C:\\PROGRA~1", "Program Files"},
      {"C:\\PROGRA~1\\MATCH~1.DEM", "match one.dem"},
      {"\\PROGRA~1", "Program Files"},
      {"PROGRA~1", "Program Files"},
      {"C:\\a\\..\\PROGRA~1", "Program Files"},
  };
  std::vector<std::string> searched;

  Service SystemLongPath(const std::string&, std::string& longPath) override {
    if (service == Service::kDone) longPath = serviceResult;
    return service;
  }
  std::optional<std::string> FirstEntryName(const std::string& path) override {
    searched.push_back(path);
    auto it = entries.find(path);
    if (it == entries.end()) return std::nullopt;
    return it->second;
  }
};

TEST(LongPathTest, SystemServiceDecidesWhenPresent) {
  FakeLookup lookup;
  lookup.service = PathLookup::Service::kDone;
  lookup.serviceResult = "C:\\Program Files\\match one.dem";
  EXPECT_EQ(ExpandToLongPath("C:\\PROGRA~1\\MATCH~1.DEM", lookup), "C:\\Program Files\\match one.dem");

  lookup.serviceResult = "C:\\" + std::string(257, 'x');  // 260 characters: does not fit
  EXPECT_EQ(ExpandToLongPath("C:\\X", lookup), "");

  lookup.service = PathLookup::Service::kFailed;  // names nothing: no guessing
  EXPECT_EQ(ExpandToLongPath("C:\\PROGRA~1\\MATCH~1.DEM", lookup), "");
  EXPECT_TRUE(lookup.searched.empty());

  lookup.service = PathLookup::Service::kUnavailable;
  EXPECT_EQ(ExpandToLongPath("C:\\PROGRA~1\\MATCH~1.DEM", lookup), "C:\\Program Files\\match one.dem");
  EXPECT_EQ(ExpandToLongPath("", lookup), "");
}

TEST(LongPathTest, FallbackComponentByComponent) {
  struct Case {
    const char* source;
    const char* expected;
  } cases[] = {
      {"C:\\PROGRA~1\\MATCH~1.DEM", "C:\\Program Files\\match one.dem"},
      {"C:\\PROGRA~1\\", "C:\\Program Files"},                   // trailing backslash dropped
      {"C:\\PROGRA~1\\nothing.dem", "C:\\Program Files\\nothing.dem"},  // unknown: as written
      {"C:\\", "C:"},
      {"\\PROGRA~1", "\\Program Files"},                         // rooted stays rooted
      {"PROGRA~1\\x.dem", "Program Files\\x.dem"},               // relative stays relative
      {"\\\\server\\share\\x.dem", "\\\\server\\share\\x.dem"},  // network path keeps its form
      {"C:\\a\\..\\PROGRA~1", "C:\\a\\..\\Program Files"},
      {"C:\\PROGRA~1\\*.dem", "C:\\Program Files\\*.dem"},      // a wildcard finds no other file
  };
  for (const Case& c : cases) {
    FakeLookup lookup;
    EXPECT_EQ(LongPathFallback(c.source, lookup), c.expected) << c.source;
  }

  FakeLookup lookup;
  LongPathFallback("C:\\a\\..\\PROGRA~1\\*.dem", lookup);
  EXPECT_EQ(lookup.searched, (std::vector<std::string>{"C:\\a", "C:\\a\\..\\PROGRA~1"}));

  lookup.entries["C:\\L"] = std::string(257, 'l');  // the long form no longer fits
  EXPECT_EQ(LongPathFallback("C:\\L", lookup), "");
  lookup.entries["C:\\L"] = std::string(256, 'l');
  EXPECT_EQ(LongPathFallback("C:\\L", lookup), "C:\\" + std::string(256, 'l'));
}

struct Reports {
  std::vector<std::string> lines;
  void Take(const std::vector<AssociationFailure>& failures) {
    for (const AssociationFailure& f : failures) lines.push_back(std::string(f.text) + ": " + f.why.text);
  }
};

const std::string kCommandKey = "Software\\Classes\\rewindor\\shell\\open\\command";
const std::string kIconKey = "Software\\Classes\\rewindor\\DefaultIcon";
const std::string kExtensionKey = "Software\\Classes\\.DEM";

TEST(AssociationTest, ThreeKeysPerUserInOrder) {
  FakeRegistry registry;
  Reports reports;
  reports.Take(RegisterShellAssociation("C:\\Program Files\\Rewindor\\rewindor.exe", registry));
  EXPECT_TRUE(reports.lines.empty());
  EXPECT_EQ(registry.log, (std::vector<std::string>{"create " + kCommandKey, "set " + kCommandKey + "|", "close",
                                                    "create " + kIconKey, "set " + kIconKey + "|", "close",
                                                    "create " + kExtensionKey, "set " + kExtensionKey + "|",
                                                    "close"}));
  EXPECT_EQ(registry.TextAt(kCommandKey, ""), "\"C:\\Program Files\\Rewindor\\rewindor.exe\" \"%1\"");
  EXPECT_EQ(registry.TextAt(kIconKey, ""), "C:\\Program Files\\Rewindor\\rewindor.exe,0");
  EXPECT_EQ(registry.TextAt(kExtensionKey, ""), "rewindor");

  std::string longPath = "C:\\" + std::string(400, 'd') + "\\rewindor.exe";  // no buffer to outgrow
  reports.Take(RegisterShellAssociation(longPath, registry));
  EXPECT_EQ(registry.TextAt(kCommandKey, ""), "\"" + longPath + "\" \"%1\"");
}

TEST(AssociationTest, EachFailureReportedAndTheNextKeyStillDone) {
  FakeRegistry registry;
  registry.createFailures[kCommandKey] = FakeRegistry::kAccessDenied;
  registry.setFailures[kIconKey + "|"] = FakeRegistry::kAccessDenied;
  registry.createFailures[kExtensionKey] = FakeRegistry::kAccessDenied;
  Reports reports;
  reports.Take(RegisterShellAssociation("C:\\R\\rewindor.exe", registry));
  EXPECT_EQ(reports.lines, (std::vector<std::string>{"Could not create the rewindor registry key: status 5",
                                                     "Could not set the defaulticon key value: status 5",
                                                     "Could not create the .dem registry key: status 5"}));
  EXPECT_EQ(registry.log, (std::vector<std::string>{"create " + kCommandKey, "create " + kIconKey,
                                                    "set " + kIconKey + "|", "close", "create " + kExtensionKey}));

  FakeRegistry second;  // a value that cannot be written: the key is still closed, the next still done
  second.setFailures[kCommandKey + "|"] = FakeRegistry::kAccessDenied;
  reports.lines.clear();
  reports.Take(RegisterShellAssociation("C:\\R\\rewindor.exe", second));
  EXPECT_EQ(reports.lines, std::vector<std::string>{"Could not set the shellcommand key value: status 5"});
  EXPECT_EQ(second.log[2], "close");
  EXPECT_EQ(second.TextAt(kExtensionKey, ""), "rewindor");
}

// The shell fills in every %-sequence of the command, the program's own path
// too: such a path goes in its short form, or not at all, with a note.
TEST(AssociationTest, PathWithPercentWrittenShortOrNotAtAll) {
  const std::string exe = "C:\\x%1y\\rewindor.exe";
  struct Case {
    const char* shortPath;
    const char* command;  // nothing: no key written
  };
  const Case cases[] = {
      {"C:\\X1Y~1\\REWIND~1.EXE", "\"C:\\X1Y~1\\REWIND~1.EXE\" \"%1\""},
      {"", nullptr},                              // the volume gives no short names
      {"C:\\x%1y\\REWIND~1.EXE", nullptr},  // the short form holds % too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shortPath);
    FakeRegistry registry;
    Reports reports;
    reports.Take(RegisterShellAssociation(exe, registry, c.shortPath));
    if (c.command) {
      EXPECT_TRUE(reports.lines.empty());
      EXPECT_EQ(registry.TextAt(kCommandKey, ""), c.command);
      EXPECT_EQ(registry.TextAt(kIconKey, ""), std::string(c.shortPath) + ",0");
      EXPECT_EQ(registry.TextAt(kExtensionKey, ""), "rewindor");
    } else {
      EXPECT_TRUE(registry.log.empty());
      EXPECT_EQ(reports.lines,
                std::vector<std::string>{"The .dem files were not associated with Rewindor: The program's path holds "
                                         "a % sign, which the shell would fill in when it opens a demo. Move the "
                                         "program to a folder without one."});
    }
  }
}

#ifdef _WIN32
std::string Utf8Path(const std::filesystem::path& p) {
  std::wstring w = p.wstring();
  return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

TEST(NativeLongPathTest, ShortNamesComeBackLong) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / (L"Rewindor Long Folder " + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(folder);
  fs::path file = folder / L"A Long Demo Name.dem";
  std::ofstream(file) << "x";
  // The temp folder itself may be given in short form; compare with its long form.
  std::string longPath;
  ASSERT_EQ(NativePathLookup().SystemLongPath(Utf8Path(file), longPath), PathLookup::Service::kDone);
  wchar_t shortName[MAX_PATH];
  DWORD n = GetShortPathNameW(file.c_str(), shortName, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || file.wstring().compare(shortName) == 0) {
    fs::remove_all(folder);
    GTEST_SKIP() << "this volume gives no short names";
  }
  std::string shortPath = Utf8Path(shortName);
  EXPECT_EQ(ExpandToLongPath(shortPath, NativePathLookup()), longPath);
  EXPECT_EQ(LongPathFallback(shortPath + "\\", NativePathLookup()), longPath);
  EXPECT_EQ(ExpandToLongPath(Utf8Path(folder / L"missing.dem"), NativePathLookup()), "");
  fs::remove_all(folder);
}

TEST(InstanceGuardTest, OnlyTheFirstHolderOpensAWindow) {
  std::string name = "RewindorTest-" + std::to_string(GetCurrentProcessId());
  {
    InstanceGuard first, second;
    EXPECT_TRUE(first.BecomeFirstInstance(name));
    EXPECT_FALSE(second.BecomeFirstInstance(name));
    first.Release();
    InstanceGuard third;  // released but still open: still an instance running
    EXPECT_FALSE(third.BecomeFirstInstance(name));
  }
  InstanceGuard after;  // every holder gone: a new first instance
  EXPECT_TRUE(after.BecomeFirstInstance(name));
}
#endif

}  // namespace
}  // namespace rewindor
