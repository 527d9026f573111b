// The platform's file system against the real disk, in a temporary folder:
// natively on POSIX, and the Win32 one under Wine.
#include "demo/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace rewindor {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}
fs::path PathOf(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Another program's open of the demo with write access, one that keeps
// editors off as ours does (on POSIX: it takes the advisory lock).
class OtherWriter {
 public:
  explicit OtherWriter(const fs::path& p) {
#ifdef _WIN32
    h_ = CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ok_ = h_ != INVALID_HANDLE_VALUE;
#else
    fd_ = ::open(p.c_str(), O_RDWR);
    ok_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
#endif
  }
  ~OtherWriter() {
#ifdef _WIN32
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  bool ok() const { return ok_; }

 private:
#ifdef _WIN32
  HANDLE h_;
#else
  int fd_;
#endif
  bool ok_;
};

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Unique even when ctest runs test processes side by side.
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("rewindor-files-" + std::to_string(random()) + std::to_string(random()));
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path Put(const fs::path& name, std::string_view bytes) {
    fs::path p = dir_ / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  static std::string Get(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The names in a folder of the test's, hidden files included.
  std::vector<std::string> Listing(const fs::path& sub = {}) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / sub)) names.push_back(Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

  FileSystem& files_ = NativeFileSystem();
  fs::path dir_;
};

TEST_F(FilesTest, ReadsWholeFiles) {
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
  for (const std::string& content : {std::string("x"), std::string("HLDEMO\0\0\x05", 9), big}) {
    fs::path p = Put("a.dem", content);
    auto demo = files_.OpenForReading(Utf8(p));
    ASSERT_NE(demo, nullptr);
    Bytes image;
    ASSERT_EQ(ReadWhole(*demo, image), ReadOutcome::kOk);
    EXPECT_EQ(image, B(content));
  }
}

TEST_F(FilesTest, EmptyFileIsReportedAsEmpty) {
  auto demo = files_.OpenForReading(Utf8(Put("empty.dem", "")));
  ASSERT_NE(demo, nullptr);
  Bytes image = B("before");
  EXPECT_EQ(ReadWhole(*demo, image), ReadOutcome::kEmpty);
  EXPECT_EQ(image, B("before"));
}

// A missing file, an empty path and a folder never read as a demo, and the
// system's reason comes as one line.
TEST_F(FilesTest, WhatIsNoFileIsRefusedWithTheSystemsReason) {
  const std::string missing = Utf8(dir_ / "missing.dem");
  EXPECT_EQ(files_.OpenForReading(missing), nullptr);
  SystemError e = files_.LastError();
  EXPECT_EQ(e.code, 2u);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  ASSERT_FALSE(e.text.empty());
  EXPECT_NE(e.text.back(), '\n');
  EXPECT_NE(e.text.back(), '\r');
  EXPECT_EQ(files_.OpenForEditing(missing), nullptr);
  EXPECT_EQ(files_.LastError().code, 2u);

  EXPECT_EQ(files_.OpenForReading(""), nullptr);
  EXPECT_NE(files_.LastError().code, 0u);

  fs::create_directories(dir_ / "folder.dem");
  auto demo = files_.OpenForReading(Utf8(dir_ / "folder.dem"));
  Bytes image;
  if (demo != nullptr) {
    EXPECT_NE(ReadWhole(*demo, image), ReadOutcome::kOk);
  }
  EXPECT_NE(files_.LastError().code, 0u);
}

struct ReplaceCase {
  const char* name;
  std::string content;
};
class Replace : public FilesTest, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(Replace, TempFileTakesTheDemosPlace) {
  fs::path p = Put("round 1.dem", "0123456789");
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  auto temp = demo->CreateTemp();
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(Listing().size(), 2u) << "the temp file lies beside the demo";
  ASSERT_TRUE(temp->Write(B(GetParam().content)));
  ASSERT_TRUE(temp->Flush());
  ASSERT_TRUE(demo->ReplaceWith(*temp));

  // The handle now holds the new content.
  std::uint64_t size = 0;
  ASSERT_TRUE(demo->Size(size));
  EXPECT_EQ(size, GetParam().content.size());
  Bytes image;
  ASSERT_EQ(ReadWhole(*demo, image), ReadOutcome::kOk);
  EXPECT_EQ(image, B(GetParam().content));
  // ...and the demo stays held until the command ends.
  EXPECT_EQ(files_.OpenForEditing(Utf8(p)), nullptr);

  temp.reset();
  demo.reset();
  EXPECT_EQ(Get(p), GetParam().content);
  EXPECT_EQ(Listing(), std::vector<std::string>{"round 1.dem"});
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(p.c_str());
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, 0u) << "the temp file's hidden flag stays with it";
#endif
}

INSTANTIATE_TEST_SUITE_P(Lengths, Replace,
                         ::testing::Values(ReplaceCase{"Shorter", "abc"}, ReplaceCase{"Same", "ABCDEFGHIJ"},
                                           ReplaceCase{"Longer", std::string(70000, 'z')}),
                         [](const ::testing::TestParamInfo<ReplaceCase>& c) { return std::string(c.param.name); });

TEST_F(FilesTest, UnusedTempFileIsRemovedAndTheDemoKept) {
  fs::path p = Put("a.dem", "keep me");
  {
    auto demo = files_.OpenForEditing(Utf8(p));
    ASSERT_NE(demo, nullptr);
    auto temp = demo->CreateTemp();
    ASSERT_NE(temp, nullptr);
    ASSERT_TRUE(temp->Write(B("never used")));
  }
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
  EXPECT_EQ(Get(p), "keep me");
}

// An edit keeps everyone else off the demo but readers of the bytes on disk;
// the refusals are what keep two edits (or an edit and a read) apart.
TEST_F(FilesTest, EditingHoldsTheDemo) {
  const std::string p = Utf8(Put("a.dem", "demo"));
  {
    auto editor = files_.OpenForEditing(p);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(files_.OpenForEditing(p), nullptr);
    EXPECT_NE(files_.LastError().code, 0u);
    EXPECT_EQ(files_.OpenForReading(p), nullptr);
  }
  {
    auto reader = files_.OpenForReading(p);
    ASSERT_NE(reader, nullptr);
    EXPECT_NE(files_.OpenForReading(p), nullptr) << "readers share";
    EXPECT_EQ(files_.OpenForEditing(p), nullptr);
  }
  EXPECT_NE(files_.OpenForEditing(p), nullptr) << "free again once closed";
}

TEST_F(FilesTest, LockedDemoIsRefused) {
  fs::path p = Put("a.dem", "demo");
  OtherWriter other(p);
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(files_.OpenForEditing(Utf8(p)), nullptr);
  SystemError e = files_.LastError();
  EXPECT_NE(e.code, 0u);
  EXPECT_FALSE(e.text.empty());
}

TEST_F(FilesTest, PathsWithCyrillicLettersAndBlanks) {
  const fs::path name = PathOf("Демки с турнира/финал — карта 2.dem");
  fs::path p = Put(name, "старые байты");
  const std::string utf8 = Utf8(p);
  {
    auto reader = files_.OpenForReading(utf8);
    ASSERT_NE(reader, nullptr);
    Bytes image;
    ASSERT_EQ(ReadWhole(*reader, image), ReadOutcome::kOk);
    EXPECT_EQ(image, B("старые байты"));
  }
  {
    auto demo = files_.OpenForEditing(utf8);
    ASSERT_NE(demo, nullptr);
    auto temp = demo->CreateTemp();
    ASSERT_NE(temp, nullptr);
    ASSERT_TRUE(temp->Write(B("новые")));
    ASSERT_TRUE(demo->ReplaceWith(*temp));
  }
  EXPECT_EQ(Get(p), "новые");
  EXPECT_EQ(Listing(name.parent_path()), std::vector<std::string>{"финал — карта 2.dem"});
}

#ifdef _WIN32
// A program that has the demo open without letting it be deleted (a scanner,
// an explorer preview) makes the replacement fail: the demo must then be left
// as it was, and still held.
TEST_F(FilesTest, FailedReplacementLeavesTheDemoAsItWas) {
  fs::path p = Put("a.dem", "old bytes");
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  HANDLE watcher = CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(watcher, INVALID_HANDLE_VALUE);
  auto temp = demo->CreateTemp();
  ASSERT_NE(temp, nullptr);
  ASSERT_TRUE(temp->Write(B("new")));
  EXPECT_FALSE(demo->ReplaceWith(*temp));
  EXPECT_NE(files_.LastError().code, 0u);
  CloseHandle(watcher);

  EXPECT_EQ(files_.OpenForEditing(Utf8(p)), nullptr) << "still held";
  Bytes image;
  ASSERT_EQ(ReadWhole(*demo, image), ReadOutcome::kOk);
  EXPECT_EQ(image, B("old bytes"));
  temp.reset();
  demo.reset();
  EXPECT_EQ(Get(p), "old bytes");
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
}
#endif

}  // namespace
}  // namespace rewindor
