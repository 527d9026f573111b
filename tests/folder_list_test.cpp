// The folder list's logic through a fake window and a fake file system.
#include "ui/folder_list.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace rewindor {
namespace {

// Each folder's entries as the system gives them, "." and ".." where it has them.
class FakeFolders : public Folders {
 public:
  struct Listed {
    std::string name;
    bool folder;
  };
  std::map<std::string, std::vector<Listed>> folders;
  std::set<std::string> files;
  std::set<std::string> cutShort;  // listed, then the listing failed
  std::vector<std::string> enumerated;

  FolderListing List(const std::string& folder) override {
    enumerated.push_back(folder);
    FolderListing listing;
    auto it = folders.find(folder);
    if (it == folders.end()) {
      listing.error = SystemError{3, "The system cannot find the path specified."};
      return listing;
    }
    listing.opened = true;
    for (const Listed& e : it->second) {
      if (e.name == "..") listing.parent = true;
      if (e.name == "." || e.name == "..") continue;
      listing.entries.push_back({e.name, e.folder ? EntryKind::kFolder : EntryKind::kFile});
    }
    if (cutShort.count(folder)) listing.error = SystemError{59, "An unexpected network error occurred."};
    return listing;
  }
  bool IsFile(const std::string& path) override { return files.count(path) != 0; }
};

class FakeList : public FolderListWindow {
 public:
  std::vector<std::string> list{"stale"};
  std::optional<std::string> selected;
  std::string folderField, demoPath;
  std::vector<std::string> messages;
  int reloads = 0;

  void ClearList() override { list.clear(); }
  void AddEntry(std::string_view t) override { list.emplace_back(t); }
  std::optional<std::string> SelectedEntry() override { return selected; }
  std::string FolderField() override { return folderField; }
  void SetFolderField(std::string_view t) override { folderField = t; }
  void SetDemoPath(std::string_view p) override { demoPath = p; }
  void ReloadDemo() override { ++reloads; }
  struct Boxes : ui::MessageBoxes {
    std::vector<std::string>& shown;
    explicit Boxes(std::vector<std::string>& s) : shown(s) {}
    bool Show(std::string_view, std::string_view t, ui::MessageIcon, ui::MessageButtons) override {
      shown.emplace_back(t);
      return true;
    }
  } boxes{messages};
  ui::MessageBoxes& Boxes() override { return boxes; }
  std::string ShownDemo() override { return demoPath; }
  void SelectEntry(std::string_view t) override { selected = t.empty() ? std::nullopt : std::optional<std::string>(t); }
};

class FolderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.folders["C:\\Games\\cstrike"] = {{".", true},         {"..", true},         {"a.dem", false},
                                        {"b.DEM", false},    {"readme.txt", false}, {"maps", true},
                                        {"old.dem", true},   {"notes.dem.txt", false}, {"x.demo", false}};
    fs.folders["C:\\Games"] = {{".", true}, {"..", true}, {"cstrike", true}};
    fs.folders["C:"] = {{"Games", true}, {"first.dem", false}};  // a root has no "." or ".."
    fs.files = {"C:\\Games\\cstrike\\a.dem", "C:\\Games\\cstrike\\notes.dem.txt"};
  }
  FakeFolders fs;
  FakeList window;
};

TEST_F(FolderListTest, ListsFoldersInBracketsAndDemosInAnyCase) {
  ListFolder(window, fs, "C:\\Games\\cstrike");
  EXPECT_EQ(window.list, (std::vector<std::string>{"[..]", "a.dem", "b.DEM", "[maps]", "[old.dem]",
                                                   "notes.dem.txt", "x.demo"}));
  EXPECT_EQ(window.folderField, "C:\\Games\\cstrike\\");
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(FolderListTest, RootFolderKeepsItsFirstEntry) {
  ListFolder(window, fs, "C:");
  EXPECT_EQ(window.list, (std::vector<std::string>{"[Games]", "first.dem"}));
  EXPECT_EQ(window.folderField, "C:\\");
}

TEST_F(FolderListTest, UnreadableFolderIsReportedAndStillShown) {
  ListFolder(window, fs, "C:\\Nowhere");
  EXPECT_EQ(window.messages, std::vector<std::string>{"Could not read dir: The system cannot find the path specified."});
  EXPECT_TRUE(window.list.empty());
  EXPECT_EQ(window.folderField, "C:\\Nowhere\\");

  // A listing that failed part way shows what it found, as the system's own enumeration did.
  window.messages.clear();
  fs.cutShort.insert("C:");
  ListFolder(window, fs, "C:");
  EXPECT_EQ(window.list, (std::vector<std::string>{"[Games]", "first.dem"}));
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(FolderListTest, DoubleClickWalksFoldersAndOpensDemos) {
  window.folderField = "C:\\Games\\cstrike\\";
  window.selected = "[..]";
  OpenListEntry(window, fs);
  EXPECT_EQ(window.folderField, "C:\\Games\\");
  EXPECT_EQ(window.list, (std::vector<std::string>{"[..]", "[cstrike]"}));

  window.selected = "[cstrike]";
  OpenListEntry(window, fs);
  EXPECT_EQ(window.folderField, "C:\\Games\\cstrike\\");

  window.selected = "a.dem";
  OpenListEntry(window, fs);
  EXPECT_EQ(window.demoPath, "C:\\Games\\cstrike\\a.dem");
  EXPECT_EQ(window.reloads, 1);
  EXPECT_EQ(window.folderField, "C:\\Games\\cstrike\\");  // the list keeps its folder
}

TEST_F(FolderListTest, ParentOfARootIsTheRootAgain) {
  window.folderField = "C:\\";
  window.selected = "[..]";
  OpenListEntry(window, fs);
  EXPECT_EQ(fs.enumerated.back(), "C:");
  EXPECT_EQ(window.folderField, "C:\\");
}

TEST_F(FolderListTest, TypedFolderIsJoinedAndAVanishedDemoTakesTheFolderRoad) {
  window.folderField = "C:\\Games\\cstrike\\";
  window.selected = "gone.dem";  // listed once, deleted since
  OpenListEntry(window, fs);
  EXPECT_EQ(fs.enumerated.back(), "C:\\Games\\cstrike\\one.de");
  EXPECT_EQ(window.reloads, 0);
  EXPECT_TRUE(window.list.empty());
}

TEST_F(FolderListTest, NoSelectionDoesNothing) {
  window.folderField = "C:\\Games\\";
  OpenListEntry(window, fs);
  EXPECT_TRUE(fs.enumerated.empty());
  EXPECT_EQ(window.list, std::vector<std::string>{"stale"});
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(FolderListTest, PathsThatDoNotFitAreRefusedClearly) {
  ListFolder(window, fs, std::string(258, 'f'));
  EXPECT_EQ(window.messages, std::vector<std::string>{text::kFolderPathTooLong});
  EXPECT_TRUE(fs.enumerated.empty());

  window.messages.clear();
  window.folderField = std::string(250, 'f') + "\\";
  window.selected = "a-long-demo-name.dem";
  OpenListEntry(window, fs);
  EXPECT_EQ(window.messages, std::vector<std::string>{text::kFolderPathTooLong});
  EXPECT_EQ(window.reloads, 0);
}

// A right-click opens only what a double-click would open as a demo.
TEST_F(FolderListTest, OnlyAnEntryThatOpensAsADemoCountsAsOne) {
  window.folderField = "C:\\Games\\cstrike\\";
  const struct {
    std::optional<std::string> selected;
    bool demo;
  } cases[] = {
      {"a.dem", true},            {"notes.dem.txt", true}, {"[maps]", false}, {"[..]", false},
      {"vanished.dem", false},    {std::nullopt, false},
  };
  for (const auto& c : cases) {
    window.selected = c.selected;
    EXPECT_EQ(SelectedEntryIsDemo(window, fs), c.demo) << c.selected.value_or("(no selection)");
  }
  // Too long to open, as OpenListEntry refuses it.
  window.folderField = "C:\\" + std::string(252, 'x') + "\\";
  fs.files.insert(window.folderField + "a.dem");
  window.selected = "a.dem";
  EXPECT_FALSE(SelectedEntryIsDemo(window, fs));
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(window.reloads, 0);
}

// The list highlights the demo shown whenever it lists that demo's folder, and
// nothing when it lists another folder.
TEST_F(FolderListTest, ListingSelectsTheDemoShownInItsFolderOnly) {
  struct Case {
    const char* shown;
    const char* folder;
    std::optional<std::string> selected;
  };
  for (const Case& c : {Case{"C:\\Games\\cstrike\\a.dem", "C:\\Games\\cstrike", "a.dem"},
                        Case{"c:\\games\\CSTRIKE\\a.dem", "C:\\Games\\cstrike", "a.dem"},  // paths ignore case
                        Case{"C:\\Games\\cstrike\\a.dem", "C:\\Games", std::nullopt},
                        Case{"C:\\first.dem", "C:", "first.dem"},
                        Case{"", "C:\\Games", std::nullopt},
                        Case{"C:\\Games\\", "C:\\Games", std::nullopt}}) {
    window.demoPath = c.shown;
    window.selected = "stale";
    ListFolder(window, fs, c.folder);
    EXPECT_EQ(window.selected, c.selected) << c.shown << " in " << c.folder;
  }
}

// Enter in the folder field lists what is typed there, with or without its
// trailing backslash; an empty field lists nothing.
TEST_F(FolderListTest, TypedFolderIsListedOnEnter) {
  for (const char* typed : {"C:\\Games\\", "C:\\Games"}) {
    window.folderField = typed;
    ListTypedFolder(window, fs);
    EXPECT_EQ(window.list, (std::vector<std::string>{"[..]", "[cstrike]"})) << typed;
    EXPECT_EQ(window.folderField, "C:\\Games\\");
  }
  window.folderField = "";
  fs.enumerated.clear();
  ListTypedFolder(window, fs);
  EXPECT_TRUE(fs.enumerated.empty());
  EXPECT_EQ(window.reloads, 0);
}

}  // namespace
}  // namespace rewindor
