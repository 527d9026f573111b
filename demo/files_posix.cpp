// The file system on POSIX systems (the command-line tool and the tests on Linux).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "demo/files.h"
#include "demo/messages.h"

namespace rewindor {

namespace {

// The reason for the last failure: errno, or a text of our own where the
// system has none that fits.
thread_local int lastErrno = 0;
thread_local const char* lastText = nullptr;

bool Fail() {
  lastErrno = errno;
  lastText = nullptr;
  return false;
}
bool Fail(int code, const char* text) {
  lastErrno = code;
  lastText = text;
  return false;
}

// How often a demo that another program replaces while we take it is looked
// up again before the edit gives up.
constexpr int kHoldTries = 5;
constexpr int kTempNameTries = 100;
// Temp files are ".<demo name>.rewindor-" and six letters or digits.
constexpr char kTempInfix[] = ".rewindor-";
constexpr std::size_t kTempSuffixChars = 6;
constexpr char kTempLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}
std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string TempPrefix(const std::string& demoPath) {
  std::string prefix(1, '.');
  prefix.append(NameOf(demoPath)).append(kTempInfix);
  return prefix;
}

std::string RandomTempPath(const std::string& demoPath) {
  static thread_local std::mt19937 random{std::random_device{}()};
  std::string path = FolderOf(demoPath) + "/" + TempPrefix(demoPath);
  for (std::size_t i = 0; i < kTempSuffixChars; ++i) path += kTempLetters[random() % (sizeof kTempLetters - 1)];
  return path;
}

bool IsTempName(const char* name, const std::string& prefix) {
  const std::size_t length = std::strlen(name);
  if (length != prefix.size() + kTempSuffixChars || prefix.compare(0, prefix.size(), name, prefix.size()) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < length; ++i) {
    if (std::strchr(kTempLetters, name[i]) == nullptr) return false;
  }
  return true;
}

// Removes the temp files that killed edits of the demo left in its folder:
// those that nobody holds (a running edit holds its own).
void RemoveLeftTemps(const std::string& demoPath) {
  DIR* folder = ::opendir(FolderOf(demoPath).c_str());
  if (folder == nullptr) return;
  const std::string prefix = TempPrefix(demoPath);
  while (const dirent* entry = ::readdir(folder)) {
    if (!IsTempName(entry->d_name, prefix)) continue;
    int fd = ::openat(::dirfd(folder), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(folder);
}

#ifdef F_SETLEASE
// A read lease is granted only while no process (this one included) has the
// file open for writing: the game that records a demo keeps writing to the
// file it opened and takes no lock, so whatever it wrote after an edit
// replaced the demo would be lost. Where the system has no leases for the
// file (another file system, a demo of another user) the edit goes ahead as
// it would without them. A writer that comes later breaks the lease; the
// system tells it by a signal, set to SIGURG, which is ignored by default, so
// the program is never ended by it (SIGIO, the default, would end it).
bool Lease(int fd, bool& leased) {
  leased = false;
  ::fcntl(fd, F_SETSIG, SIGURG);
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    leased = true;
    return true;
  }
  if (errno == EAGAIN || errno == EBUSY) return Fail(EBUSY, text::kReasonBeingWritten);
  return true;
}
// Whether a writer has come since the lease was taken.
bool LeaseBroken(int fd) { return ::fcntl(fd, F_GETLEASE) != F_RDLCK; }
#else
bool Lease(int, bool& leased) {
  leased = false;
  return true;
}
bool LeaseBroken(int) { return false; }
#endif

class PosixTemp final : public TempFile {
 public:
  // `path` is empty for a nameless temp file.
  PosixTemp(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixTemp() override {
    if (fd_ >= 0) {
      if (!path_.empty()) ::unlink(path_.c_str());
      ::close(fd_);
    }
  }
  bool Write(ByteView data) override {
    const std::uint8_t* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
      ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = ENOSPC;
        return Fail();
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Flush() override { return ::fsync(fd_) == 0 || Fail(); }

  int fd() const { return fd_; }
  // Hands the descriptor over once the file has taken the demo's place.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Gives a nameless temp file a name of its own beside the demo, the step
  // before that name replaces the demo's.
  bool Name(const std::string& demoPath) {
    if (!path_.empty()) return true;
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
    for (int i = 0; i < kTempNameTries; ++i) {
      std::string path = RandomTempPath(demoPath);
      int done = ::linkat(AT_FDCWD, proc, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
      if (done != 0 && errno == ENOENT) done = ::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
#endif
      if (done == 0) {
        path_ = std::move(path);
        return true;
      }
      if (errno != EEXIST) return Fail();
    }
    return Fail();
  }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// A new temp file in the demo's folder, held as the demo is held: nameless
// where the file system can, otherwise under a name of the temp pattern.
int OpenTemp(const std::string& demoPath, std::string& name) {
#ifdef O_TMPFILE
  int fd = ::open(FolderOf(demoPath).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
#endif
  for (int i = 0; i < kTempNameTries; ++i) {
    std::string path = RandomTempPath(demoPath);
    int named = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (named >= 0) {
      name = std::move(path);
      return named;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

class PosixDemo final : public DemoFile {
 public:
  // `leased`: the descriptor (read-only) holds a read lease (Lease).
  PosixDemo(int fd, std::string path, bool leased = false) : fd_(fd), path_(std::move(path)), leased_(leased) {}
  ~PosixDemo() override { ::close(fd_); }

  bool Size(std::uint64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Fail();
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  bool ReadAt(std::uint64_t offset, MutableByteView into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      ssize_t n = ::pread(fd_, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail();
      if (n == 0) {
        errno = EIO;  // the file became shorter than its size said
        return Fail();
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  std::unique_ptr<TempFile> CreateTemp() override {
    RemoveLeftTemps(path_);
    std::string name;
    int fd = OpenTemp(path_, name);
    if (fd < 0) {
      Fail();
      return nullptr;
    }
    auto temp = std::make_unique<PosixTemp>(fd, std::move(name));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      Fail();
      return nullptr;
    }
    // The owner first: changing it may clear the set-id bits that the mode then sets.
    struct stat st;
    if (::fstat(fd_, &st) == 0) {
      (void)!::fchown(fd, st.st_uid, st.st_gid);  // allowed to fail: then the file is ours
      ::fchmod(fd, st.st_mode & 07777);
    }
    return temp;
  }

  bool ReplaceWith(TempFile& temp) override {
    auto& t = static_cast<PosixTemp&>(temp);
    struct stat st;
    if (::fstat(fd_, &st) == 0) {
      const struct timespec times[2] = {st.st_atim, st.st_mtim};
      ::futimens(t.fd(), times);  // a demo that loses its dates is still whole
    }
    // A program that opened the demo for writing since it was taken would
    // write to the file replaced (the rest of this window is microseconds).
    if (leased_ && LeaseBroken(fd_)) return Fail(EBUSY, text::kReasonBeingWritten);
    if (!t.Name(path_)) return false;
    if (::rename(t.path().c_str(), path_.c_str()) != 0) return Fail();
    int dir = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);  // the rename itself reaches the disk
      ::close(dir);
    }
    ::close(fd_);  // and with it the lease
    fd_ = t.Release();
    leased_ = false;
    return true;
  }

 private:
  int fd_;
  std::string path_;
  bool leased_;
};

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(std::function<void(const std::string&)> beforeHold = nullptr)
      : beforeHold_(std::move(beforeHold)) {}

  std::unique_ptr<DemoFile> OpenForReading(const std::string& path) override {
    if (path.empty()) return Refuse(ENOENT);
    int fd = Open(path, O_RDONLY, LOCK_SH);
    return fd < 0 ? nullptr : std::make_unique<PosixDemo>(fd, path);
  }

  // The demo is looked up through any symbolic links, opened and locked; when
  // by then its path names another file, that one is taken instead.
  std::unique_ptr<DemoFile> OpenForEditing(const std::string& path) override {
    if (path.empty()) return Refuse(ENOENT);
    for (int i = 0; i < kHoldTries; ++i) {
      char resolved[PATH_MAX];
      if (::realpath(path.c_str(), resolved) == nullptr) return Refuse(errno);
      const std::string real = resolved;
      // Read-only: the edit writes a new file and renames it over the demo,
      // and only a read-only descriptor can hold the lease.
      int fd = Open(real, O_RDONLY | O_NOFOLLOW, LOCK_EX);
      if (fd < 0) {
        if (lastErrno == ENOENT || lastErrno == ELOOP) continue;  // replaced before the open
        return nullptr;
      }
      struct stat held, named;
      if (::fstat(fd, &held) != 0) {
        Fail();
        ::close(fd);
        return nullptr;
      }
      if (::lstat(real.c_str(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
        ::close(fd);  // replaced before the lock: what we hold is no longer the demo
        continue;
      }
      if (held.st_nlink > 1) {
        Fail(EMLINK, text::kReasonHardLinks);
        ::close(fd);
        return nullptr;
      }
      // As an open for writing would: a demo we may not write is not edited.
      const bool writable = ::faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) == 0 || Fail();
      bool leased = false;
      if (!writable || !Lease(fd, leased)) {
        ::close(fd);
        return nullptr;
      }
      return std::make_unique<PosixDemo>(fd, real, leased);
    }
    Fail(EAGAIN, text::kReasonReplacedMeanwhile);
    return nullptr;
  }

  SystemError LastError() override {
    return {static_cast<std::uint32_t>(lastErrno), lastText ? lastText : std::strerror(lastErrno)};
  }

 private:
  static std::nullptr_t Refuse(int code) {
    Fail(code, nullptr);
    return nullptr;
  }

  // The descriptor of a regular file, locked; -1 (the reason kept) otherwise.
  // A FIFO or a device is opened without waiting and let go unread.
  int Open(const std::string& path, int flags, int lock) {
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(), -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      Fail();
    } else if (!S_ISREG(st.st_mode)) {
      Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, text::kReasonNotRegularFile);
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      Fail();
    } else {
      if (lock == LOCK_EX && beforeHold_) beforeHold_(path);
      // Advisory locks stand in for the Windows share modes: an edit keeps
      // other edits (and readers that ask) off the file while it runs.
      if (::flock(fd, lock | LOCK_NB) == 0) return fd;
      Fail();
    }
    ::close(fd);
    return -1;
  }

  std::function<void(const std::string&)> beforeHold_;
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

std::unique_ptr<FileSystem> NativeFileSystemWithHook(std::function<void(const std::string&)> beforeHold) {
  return std::make_unique<PosixFileSystem>(std::move(beforeHold));
}

}  // namespace rewindor
