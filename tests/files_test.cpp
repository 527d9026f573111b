// The platform's file system against the real disk, in a temporary folder:
// natively on POSIX, and the Win32 one under Wine.
#include "demo/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "demo/messages.h"
#include "demo/patch_run.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

#ifndef _WIN32
// Whether the file system in `dir` grants read leases.
bool LeasesWork(const fs::path& dir) {
  const fs::path probe = dir / "lease-probe";
  std::ofstream(probe) << "x";
  const int fd = ::open(probe.c_str(), O_RDONLY);
  const bool works = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  if (fd >= 0) ::close(fd);
  fs::remove(probe);
  return works;
}
#endif

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

// The window words a failed read in Russian: our own reasons as they are, the
// system's commonest by their code, any other by its number.
TEST(UnreadableReason, OursAsTheyAreTheSystemsInRussianOthersByNumber) {
  struct Case {
    std::uint32_t code;
    const char* text;
    const char* shown;
  };
  const Case cases[] = {{0, text::kReasonEmptyFile, text::kReasonEmptyFile},
                        {32, text::kReasonBeingWritten, text::kReasonBeingWritten},
                        {2, "No such file or directory", text::kReasonFileNotFound},  // ENOENT, FILE_NOT_FOUND
                        {987654, "Unknown error", "ошибка системы 987654"}};
  for (const Case& c : cases) {
    EXPECT_EQ(UnreadableReason({c.code, c.text}), c.shown) << c.text;
  }
  EXPECT_EQ(UnreadableDemoText({0, text::kReasonEmptyFile}), "Демку не прочесть: Файл пуст.");
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
#ifdef _WIN32
  EXPECT_EQ(Listing().size(), 2u) << "the temp file lies beside the demo";
#else
  EXPECT_LE(Listing().size(), 2u) << "nameless where the file system allows";
#endif
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
// the refusals are what keep two edits apart. On Windows a read lets others
// write (the game recording), so our own reads and edits may meet there too.
TEST_F(FilesTest, EditingHoldsTheDemo) {
  const std::string p = Utf8(Put("a.dem", "demo"));
#ifdef _WIN32
  constexpr bool kReadsMeetEdits = true;
#else
  constexpr bool kReadsMeetEdits = false;
#endif
  {
    auto editor = files_.OpenForEditing(p);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(files_.OpenForEditing(p), nullptr);
    EXPECT_NE(files_.LastError().code, 0u);
    EXPECT_EQ(files_.OpenForReading(p) != nullptr, kReadsMeetEdits);
  }
  {
    auto reader = files_.OpenForReading(p);
    ASSERT_NE(reader, nullptr);
    EXPECT_NE(files_.OpenForReading(p), nullptr) << "readers share";
    EXPECT_EQ(files_.OpenForEditing(p) != nullptr, kReadsMeetEdits);
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

// The game records without a lock: an edit of the demo it writes to would
// replace the file under it, and all it wrote later would be lost. The edit
// is refused and the demo left byte for byte; once the writer is gone it runs.
TEST_F(FilesTest, DemoThatAnotherProgramWritesIsNotEdited) {
  const std::string old("HLDEMO\0\0old bytes", 17);
  const fs::path p = Put("a.dem", old);
  const EditStep step = [](MutableByteView image) {
    image[8] = 'N';
    EditResult r;
    r.changes = 1;
    r.writeLength = image.size();
    return r;
  };
#ifdef _WIN32
  // As the C runtime's fopen(..., "wb") opens it: others may read and write.
  HANDLE writer = CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const EditOutcome refused = EditDemo(files_, Utf8(p), step, false);
  // Meanwhile it is read as it is, and known to be written.
  auto reading = files_.OpenForReading(Utf8(p));
  Bytes snapshot;
  EXPECT_TRUE(reading != nullptr && ReadWhole(*reading, snapshot) == ReadOutcome::kOk);
  EXPECT_EQ(snapshot, B(old));
  reading.reset();
  EXPECT_TRUE(files_.BeingWritten(Utf8(p)));
  CloseHandle(writer);
#else
  if (!LeasesWork(dir_)) GTEST_SKIP() << "no file leases on this file system";
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // the recording game: the demo open for writing, no lock
    ::close(release[1]);
    const int fd = ::open(p.c_str(), O_WRONLY);
    char c = fd >= 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  const EditOutcome refused = EditDemo(files_, Utf8(p), step, false);
  ::close(release[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  for (int fd : {ready[0], ready[1], release[0]}) ::close(fd);
#endif
  EXPECT_EQ(refused.failure, EditFailure::kRefused);
  EXPECT_EQ(refused.result.refusal, text::kReasonBeingWritten);
  EXPECT_FALSE(files_.BeingWritten(Utf8(p)));
  EXPECT_EQ(Get(p), old);
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
  EXPECT_TRUE(EditDemo(files_, Utf8(p), step, false).ok());
  EXPECT_EQ(Get(p), std::string("HLDEMO\0\0Nld bytes", 17));
}

// Writes `content` as the demo's new self through our own temp file.
bool EditTo(DemoFile& demo, std::string_view content) {
  auto temp = demo.CreateTemp();
  return temp && temp->Write(B(content)) && temp->Flush() && demo.ReplaceWith(*temp);
}

// Another edit replaces the demo between our open and our hold: what we edit
// is then its result, never the file it replaced (which would lose its edit).
TEST_F(FilesTest, DemoReplacedWhileTakenIsTakenAgain) {
  const fs::path p = Put("a.dem", "old");
  int replaced = 0;
  auto files = NativeFileSystemWithHook([&](const std::string&) {
    if (replaced++ > 0) return;
    Put("theirs.tmp", "their edit");
    fs::rename(dir_ / "theirs.tmp", p);
  });
  auto demo = files->OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr) << files->LastError().text;
  Bytes image;
  ASSERT_EQ(ReadWhole(*demo, image), ReadOutcome::kOk);
  EXPECT_EQ(image, B("their edit"));
  ASSERT_TRUE(EditTo(*demo, "their edit, then ours"));
  demo.reset();
  EXPECT_EQ(Get(p), "their edit, then ours");

#ifndef _WIN32  // on Windows the open itself holds the demo: there is no moment between
  // A demo that never holds still is given up with our own reason.
  auto restless = NativeFileSystemWithHook([&](const std::string&) {
    Put("theirs.tmp", "again");
    fs::rename(dir_ / "theirs.tmp", p);
  });
  EXPECT_EQ(restless->OpenForEditing(Utf8(p)), nullptr);
  EXPECT_EQ(restless->LastError().text, text::kReasonReplacedMeanwhile);
#endif
}

// Replacing a demo with another name would leave the other name on the old bytes.
TEST_F(FilesTest, HardLinkedDemoIsRefusedForEditingOnly) {
  const fs::path p = Put("a.dem", "demo");
  fs::create_hard_link(p, dir_ / "b.dem");
  EXPECT_EQ(files_.OpenForEditing(Utf8(p)), nullptr);
  EXPECT_EQ(files_.LastError().text, text::kReasonHardLinks);
  EXPECT_NE(files_.OpenForReading(Utf8(p)), nullptr);
  EXPECT_EQ(Get(p), "demo");
}

TEST_F(FilesTest, EditedDemoKeepsItsModificationTime) {
  const fs::path p = Put("a.dem", "old");
  const auto then = fs::last_write_time(p) - std::chrono::hours(24 * 365 * 3);
  fs::last_write_time(p, then);
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  ASSERT_TRUE(EditTo(*demo, "new"));
  demo.reset();
  EXPECT_EQ(Get(p), "new");
  EXPECT_EQ(fs::last_write_time(p), then);
}

// Temp files of killed edits of this demo go; a running edit's (held) and
// other demos' stay.
TEST_F(FilesTest, TempFilesThatKilledEditsLeftAreRemoved) {
  const fs::path p = Put("a.dem", "old");
#ifdef _WIN32
  const std::string left = "~a.dem.rewindor-77-1.tmp", running = "~a.dem.rewindor-77-2.tmp",
                    other = "~b.dem.rewindor-77-3.tmp";
#else
  const std::string left = ".a.dem.rewindor-Ab12Cd", running = ".a.dem.rewindor-xYz789",
                    other = ".b.dem.rewindor-Ab12Cd";
#endif
  Put(left, "stale");
  Put(other, "someone else's");
  Put(running, "being written");
  OtherWriter holder(dir_ / running);
  ASSERT_TRUE(holder.ok());
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  ASSERT_TRUE(EditTo(*demo, "new"));
  demo.reset();
  std::vector<std::string> kept = {other, running, "a.dem"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Listing(), kept);
}

#ifndef _WIN32
// A pipe would make the read wait forever, a device never ends: neither is
// ever waited on or read.
TEST_F(FilesTest, OnlyRegularFilesAreOpened) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe.dem").c_str(), 0600), 0);
  fs::create_directories(dir_ / "folder.dem");
  for (const std::string& path : {Utf8(dir_ / "pipe.dem"), std::string("/dev/zero"), Utf8(dir_ / "folder.dem")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(files_.OpenForReading(path), nullptr);
    EXPECT_EQ(files_.LastError().text, text::kReasonNotRegularFile);
    EXPECT_EQ(files_.OpenForEditing(path), nullptr);
    EXPECT_NE(files_.LastError().code, 0u);
  }
}

// The link stays a link and the demo it names is edited, keeping its mode.
TEST_F(FilesTest, EditThroughASymbolicLinkEditsItsDemo) {
  const fs::path target = Put("real/a.dem", "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real/a.dem", dir_ / "link.dem");
  auto demo = files_.OpenForEditing(Utf8(dir_ / "link.dem"));
  ASSERT_NE(demo, nullptr);
  ASSERT_TRUE(EditTo(*demo, "new"));
  demo.reset();
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.dem"));
  EXPECT_EQ(Get(target), "new");
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Listing("real"), std::vector<std::string>{"a.dem"});
}

// Where we may (as root), the new file keeps the demo's owner and group.
TEST_F(FilesTest, EditedDemoKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  const fs::path p = Put("a.dem", "old");
  ASSERT_EQ(::chown(p.c_str(), 4321, 4322), 0);
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  ASSERT_TRUE(EditTo(*demo, "new"));
  demo.reset();
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
}

// An edit killed while it writes leaves no file once the next edit has run.
TEST_F(FilesTest, KilledEditLeavesNoTempFile) {
  const fs::path p = Put("a.dem", "old");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto demo = NativeFileSystem().OpenForEditing(Utf8(p));
    auto temp = demo ? demo->CreateTemp() : nullptr;
    if (temp) temp->Write(B("half of the new"));
    ::_exit(temp ? 0 : 1);  // no destructor runs, as after a kill
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Get(p), "old");
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  ASSERT_TRUE(EditTo(*demo, "new"));
  demo.reset();
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
}

// A program that opens the demo for writing while an edit runs breaks the
// edit's lease: the edit then leaves the demo as it was.
TEST_F(FilesTest, WriterThatComesDuringAnEditKeepsTheDemo) {
  if (!LeasesWork(dir_)) GTEST_SKIP() << "no file leases on this file system";
  const fs::path p = Put("a.dem", "old");
  auto demo = files_.OpenForEditing(Utf8(p));
  ASSERT_NE(demo, nullptr);
  // Without O_NONBLOCK the open would wait until the edit lets go.
  const int writer = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_EQ(writer, -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  EXPECT_FALSE(EditTo(*demo, "new"));
  EXPECT_EQ(files_.LastError().text, text::kReasonBeingWritten);
  demo.reset();
  EXPECT_EQ(Get(p), "old");
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
}

// The game starts recording into the demo while an edit runs: its open()
// goes through at once (the edit lets its lease go as soon as the writer
// breaks it, not when it is done), the edit refuses in the same words as when
// the writer was there first, and the demo keeps what the writer wrote.
TEST_F(FilesTest, WriterThatComesDuringAnEditIsNotKeptWaiting) {
  if (!LeasesWork(dir_)) GTEST_SKIP() << "no file leases on this file system";
  const std::string old("HLDEMO\0\0old bytes", 17);
  const fs::path p = Put("a.dem", old);
  bool writerOpened = false;
  int opened[2];
  ASSERT_EQ(::pipe(opened), 0);
  pid_t child = -1;
  const EditStep step = [&](MutableByteView image) {
    child = ::fork();
    if (child == 0) {  // the game: opens for writing, no lock, and writes
      const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
      (void)!::write(fd, "+game", 5);
      (void)!::write(opened[1], "y", 1);
      ::_exit(0);
    }
    // The edit is held up here (as by a long write); the writer must not be.
    pollfd wait{opened[0], POLLIN, 0};
    writerOpened = ::poll(&wait, 1, 10000) == 1;
    image[8] = 'N';
    EditResult r;
    r.changes = 1;
    r.writeLength = image.size();
    return r;
  };
  const EditOutcome out = EditDemo(files_, Utf8(p), step, false);
  ASSERT_GT(child, 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(opened[0]);
  ::close(opened[1]);
  EXPECT_TRUE(writerOpened) << "the writer waited for the edit";
  EXPECT_EQ(out.failure, EditFailure::kRefused);
  EXPECT_EQ(out.result.refusal, text::kReasonBeingWritten);
  EXPECT_EQ(Get(p), old + "+game");
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
}

// Another program reading the demo holds a shared lock: the edit waits for
// it a little, then refuses in words that say so.
TEST_F(FilesTest, ReadersLockIsWaitedForBrieflyThenRefused) {
  const fs::path p = Put("a.dem", "demo");
  int locked[2], release[2];
  ASSERT_EQ(::pipe(locked), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(p.c_str(), O_RDONLY);
    char c = fd >= 0 && ::flock(fd, LOCK_SH) == 0 ? 'y' : 'n';
    (void)!::write(locked[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(locked[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_EQ(files_.OpenForEditing(Utf8(p)), nullptr);
  EXPECT_EQ(files_.LastError().text, text::kReasonInUse);
  // A reader that lets go while the edit waits lets the edit through.
  std::thread letGo([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    (void)!::write(release[1], "x", 1);
  });
  EXPECT_NE(files_.OpenForEditing(Utf8(p)), nullptr);
  letGo.join();
  ::waitpid(child, nullptr, 0);
  for (int fd : {locked[0], locked[1], release[0], release[1]}) ::close(fd);
}
#else
// An edit killed while it writes leaves nothing: the temp file goes with the
// killed process's handle. The test runs itself as the process it kills.
TEST_F(FilesTest, KilledEditLeavesNoTempFile) {
  if (const char* demoPath = std::getenv("REWINDOR_KILLED_EDIT")) {
    auto demo = NativeFileSystem().OpenForEditing(demoPath);
    auto temp = demo ? demo->CreateTemp() : nullptr;
    if (temp && temp->Write(B("half of the new"))) TerminateProcess(GetCurrentProcess(), 7);
    FAIL() << "the edit could not start";
  }
  const fs::path p = Put("a.dem", "old");
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  std::wstring command = L"\"" + self + L"\" --gtest_filter=FilesTest.KilledEditLeavesNoTempFile";
  ASSERT_TRUE(SetEnvironmentVariableW(L"REWINDOR_KILLED_EDIT", p.c_str()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableW(L"REWINDOR_KILLED_EDIT", nullptr);
  ASSERT_TRUE(started);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  ASSERT_EQ(code, 7u) << "killed while it wrote";
  EXPECT_EQ(Get(p), "old");
  EXPECT_EQ(Listing(), std::vector<std::string>{"a.dem"});
}
#endif

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
