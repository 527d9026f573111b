// The file system on POSIX systems (the command-line tool and the tests on Linux).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <thread>

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
// How long an edit waits for another program's lock on the demo.
constexpr std::chrono::milliseconds kHoldWait{1000};
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
// it would without them.
//
// A writer that comes later breaks the lease, and its open() waits until the
// lease is let go. The system tells the holder by a signal (SIGURG, ignored by
// default, so that the program is never ended by it), sent to one thread of
// ours that does nothing else: it lets the lease go at once, whatever the edit
// is doing (an fsync of a large demo takes seconds), and marks the edit
// refused. Only while the edit puts its file in the demo's place (a rename,
// microseconds) is the lease kept: the writer then opens the new demo.
class LeaseWatch {
 public:
  enum class State : std::uint8_t { kHeld, kBroken, kCommitting };

  static LeaseWatch& Instance() {
    static std::mutex made;
    static LeaseWatch* watch = nullptr;  // its thread runs as long as the program
    std::lock_guard<std::mutex> lock(made);
    // A forked child has no copy of the thread: it gets a watch of its own.
    if (watch == nullptr || watch->pid_ != ::getpid()) watch = new LeaseWatch();
    return *watch;
  }

  // Takes a read lease on `fd`, which is then watched until Forget.
  bool Take(int fd) {
    ::fcntl(fd, F_SETSIG, kSignal);
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    leases_[fd] = State::kHeld;
    if (tid_ > 0) {
      // Taking the lease made the whole process its owner: the signal goes to the watcher instead.
      const f_owner_ex owner{F_OWNER_TID, tid_};
      ::fcntl(fd, F_SETOWN_EX, &owner);
    }
    ReleaseBroken();  // a writer that came before the owner was set
    return true;
  }
  void Forget(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    leases_.erase(fd);
  }
  // Whether a writer has come since the lease was taken.
  bool Broken(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = leases_.find(fd);
    return it != leases_.end() && it->second == State::kBroken;
  }
  // Keeps the lease while the edit puts its file in place; false when a writer came first.
  bool BeginCommit(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = leases_.find(fd);
    if (it == leases_.end()) return true;
    if (it->second == State::kBroken || ::fcntl(fd, F_GETLEASE) != F_RDLCK) return false;
    it->second = State::kCommitting;
    return true;
  }
  // After a commit that failed: a writer that came meanwhile gets the file.
  void EndCommit(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = leases_.find(fd);
    if (it != leases_.end() && it->second == State::kCommitting) it->second = State::kHeld;
    ReleaseBroken();
  }

 private:
  static constexpr int kSignal = SIGURG;

  LeaseWatch() {
    std::thread([this] { Run(); }).detach();
    std::unique_lock<std::mutex> lock(mutex_);
    started_.wait(lock, [this] { return tid_ != 0; });
  }

  [[noreturn]] void Run() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, kSignal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tid_ = static_cast<pid_t>(::syscall(SYS_gettid));
    }
    started_.notify_one();
    for (;;) {
      siginfo_t info;
      if (::sigwaitinfo(&set, &info) != kSignal) continue;
      // Signals of one kind merge: every lease is looked at.
      std::lock_guard<std::mutex> lock(mutex_);
      ReleaseBroken();
    }
  }

  // Lets go every lease a writer is breaking, but one being committed. Under mutex_.
  void ReleaseBroken() {
    for (auto& [fd, state] : leases_) {
      if (state != State::kHeld || ::fcntl(fd, F_GETLEASE) == F_RDLCK) continue;
      ::fcntl(fd, F_SETLEASE, F_UNLCK);
      state = State::kBroken;
    }
  }

  std::mutex mutex_;
  std::condition_variable started_;
  std::map<int, State> leases_;
  pid_t pid_ = ::getpid();
  pid_t tid_ = 0;
};

bool Lease(int fd, bool& leased) {
  leased = LeaseWatch::Instance().Take(fd);
  if (!leased && (errno == EAGAIN || errno == EBUSY)) return Fail(EBUSY, text::kReasonBeingWritten);
  return true;
}
void Unlease(int fd) { LeaseWatch::Instance().Forget(fd); }
bool LeaseBroken(int fd) { return LeaseWatch::Instance().Broken(fd); }
bool BeginCommit(int fd) { return LeaseWatch::Instance().BeginCommit(fd); }
void EndCommit(int fd) { LeaseWatch::Instance().EndCommit(fd); }
#else
bool Lease(int, bool& leased) {
  leased = false;
  return true;
}
void Unlease(int) {}
bool LeaseBroken(int) { return false; }
bool BeginCommit(int) { return true; }
void EndCommit(int) {}
#endif

class PosixTemp final : public TempFile {
 public:
  // `path` is empty for a nameless temp file; `leased` the demo's descriptor
  // when it holds a lease (else -1): a writer that breaks it ends the writing.
  PosixTemp(int fd, std::string path, int leased) : fd_(fd), path_(std::move(path)), leased_(leased) {}
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
      if (leased_ >= 0 && LeaseBroken(leased_)) return Fail(EBUSY, text::kReasonBeingWritten);
      ssize_t n = ::write(fd_, p, std::min(left, kWriteChunk));
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
  bool Flush() override {
    if (leased_ >= 0 && LeaseBroken(leased_)) return Fail(EBUSY, text::kReasonBeingWritten);
    return ::fsync(fd_) == 0 || Fail();
  }

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
  // Written a piece at a time, so that a broken lease is noticed between pieces.
  static constexpr std::size_t kWriteChunk = std::size_t{4} << 20;

  int fd_;
  std::string path_;
  int leased_;
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
  ~PosixDemo() override {
    if (leased_) Unlease(fd_);
    ::close(fd_);
  }

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
    auto temp = std::make_unique<PosixTemp>(fd, std::move(name), leased_ ? fd_ : -1);
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
    // write to the file replaced. From here to the rename the lease is kept:
    // a writer that comes meanwhile waits (microseconds) and opens the new demo.
    if (leased_ && !BeginCommit(fd_)) return Fail(EBUSY, text::kReasonBeingWritten);
    if (!t.Name(path_) || ::rename(t.path().c_str(), path_.c_str()) != 0) {
      Fail();
      if (leased_) EndCommit(fd_);
      return false;
    }
    if (leased_) Unlease(fd_);
    ::close(fd_);  // and with it the lease
    fd_ = t.Release();
    leased_ = false;
    int dir = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);  // the rename itself reaches the disk
      ::close(dir);
    }
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
    if (::fstat(fd, &st) != 0) {  // NOLINT(bugprone-branch-clone): the checks run in order
      Fail();
    } else if (!S_ISREG(st.st_mode)) {
      Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, text::kReasonNotRegularFile);
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      Fail();
    } else {
      if (lock == LOCK_EX && beforeHold_) beforeHold_(path);
      if (Hold(fd, lock)) return fd;
    }
    ::close(fd);
    return -1;
  }

  // Advisory locks stand in for the Windows share modes: an edit keeps other
  // edits (and readers that ask) off the file while it runs. An edit waits a
  // little for a reader (or another edit) to let go; a reader never waits.
  static bool Hold(int fd, int lock) {
    const auto until = std::chrono::steady_clock::now() + kHoldWait;
    while (::flock(fd, lock | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK || lock != LOCK_EX) return Fail();
      if (std::chrono::steady_clock::now() >= until) return Fail(EWOULDBLOCK, text::kReasonInUse);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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

const char* RussianSystemReason(std::uint32_t code) {
  switch (static_cast<int>(code)) {
    case ENOENT: return text::kReasonFileNotFound;
    case ENOTDIR: return text::kReasonPathNotFound;
    case EACCES:
    case EPERM: return text::kReasonAccessDenied;
    case EBUSY:
    case ETXTBSY: return text::kReasonSharingViolation;
    case ENAMETOOLONG:
    case EILSEQ: return text::kReasonBadName;
    case EIO: return text::kReasonReadFault;
    default: return nullptr;
  }
}

}  // namespace rewindor
