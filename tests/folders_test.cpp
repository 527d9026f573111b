// The platform's folder listing, on the disk, as every user of it relies on:
// the entries and what each names, the parent, links, and failures in words.
#include "demo/folders.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>

#include "support/scratch.h"

namespace rewindor {
namespace {

namespace fs = std::filesystem;

std::map<std::string, const FolderEntry*> ByName(const FolderListing& listing) {
  std::map<std::string, const FolderEntry*> byName;
  for (const FolderEntry& e : listing.entries) byName[e.name] = &e;
  return byName;
}

TEST(Folders, EntriesWithKindSizeDateAndPathWithoutDotsOrParent) {
  ScratchFolder dir("rewindor-folders");
  dir.Write("a.dem", std::string(1234, 'x'));
  dir.Write("Демки/b.dem", "b");
  Folders& folders = NativeFolders();
  for (const std::string& folder : {dir.Path(), dir.Path() + "/"}) {
    const FolderListing listing = folders.List(folder);
    EXPECT_TRUE(listing.opened);
    EXPECT_FALSE(listing.error);
    EXPECT_TRUE(listing.parent) << "a folder below the root has a parent";
    const auto byName = ByName(listing);
    ASSERT_EQ(byName.size(), 2u) << "no \".\" or \"..\" among the entries";
    const FolderEntry& a = *byName.at("a.dem");
    EXPECT_EQ(a.kind, EntryKind::kFile);
    EXPECT_FALSE(a.link);
    EXPECT_EQ(a.size, 1234u);
    EXPECT_NEAR(static_cast<double>(a.modified), static_cast<double>(std::time(nullptr)), 3600);
    EXPECT_EQ(PathFromUtf8(a.path), PathFromUtf8(dir.Path("a.dem")));
    EXPECT_EQ(byName.at("Демки")->kind, EntryKind::kFolder);
    EXPECT_EQ(folders.List(byName.at("Демки")->path).entries.at(0).name, "b.dem");
  }
  EXPECT_TRUE(folders.IsFile(dir.Path("a.dem")));
  EXPECT_FALSE(folders.IsFile(dir.Path("Демки")));
  EXPECT_FALSE(folders.IsFile(dir.Path("none.dem")));
}

TEST(Folders, FailuresAreValuesWithTheSystemsWords) {
  ScratchFolder dir("rewindor-folders");
  const std::string file = dir.Write("a.dem", "a");
  for (const std::string& path : {dir.Path("none"), file, dir.Path() + std::string(1, '\0') + "x"}) {
    const FolderListing listing = NativeFolders().List(path);
    EXPECT_FALSE(listing.opened) << path;
    EXPECT_TRUE(listing.entries.empty());
    ASSERT_TRUE(listing.error);
    EXPECT_NE(listing.error->text, "");
  }
  EXPECT_FALSE(NativeFolders().IsFile(file + std::string(1, '\0') + "x")) << "a NUL names another file";
}

// Links are told by what they lead to; where the system gives no right to make them, the test stops there.
TEST(Folders, LinksAreWhatTheyLeadTo) {
  ScratchFolder dir("rewindor-folders");
  dir.Write("a.dem", "a");
  dir.Write("sub/b.dem", "b");
  std::error_code ec;
  fs::create_symlink(dir.root() / "a.dem", dir.root() / "to-file.dem", ec);
  if (ec) GTEST_SKIP() << "no links here: " << ec.message();
  fs::create_directory_symlink(dir.root() / "sub", dir.root() / "to-sub", ec);
  fs::create_symlink(dir.root() / "gone.dem", dir.root() / "nowhere.dem", ec);
  const auto listing = NativeFolders().List(dir.Path());
  const auto byName = ByName(listing);
  EXPECT_EQ(byName.at("to-file.dem")->kind, EntryKind::kFile);
  EXPECT_TRUE(byName.at("to-file.dem")->link);
  EXPECT_EQ(byName.at("to-sub")->kind, EntryKind::kFolder);
  EXPECT_TRUE(byName.at("to-sub")->link);
#if !defined(_WIN32)
  EXPECT_EQ(byName.at("nowhere.dem")->kind, EntryKind::kNowhere);
#endif
}

}  // namespace
}  // namespace rewindor
