// The file system on POSIX systems (the command-line tool and the tests on Linux).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "demo/files.h"

namespace rewindor {

namespace {

thread_local int lastErrno = 0;

bool Fail() {
  lastErrno = errno;
  return false;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

class PosixTemp final : public TempFile {
 public:
  PosixTemp(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixTemp() override {
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(path_.c_str());
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

  // Hands the descriptor over once the file has taken the demo's place.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

class PosixDemo final : public DemoFile {
 public:
  PosixDemo(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixDemo() override { ::close(fd_); }

  bool Size(std::uint64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Fail();
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return Fail();
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  bool Read(MutableByteView into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      ssize_t n = ::pread(fd_, into.data() + done, into.size() - done, static_cast<off_t>(done));
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
    std::string name = path_;
    std::size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string pattern = FolderOf(path_) + "/." + base + ".rewindor-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      Fail();
      return nullptr;
    }
    struct stat st;
    if (::fstat(fd_, &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    return std::make_unique<PosixTemp>(fd, pattern);
  }

  bool ReplaceWith(TempFile& temp) override {
    auto& t = static_cast<PosixTemp&>(temp);
    int newFd = ::open(t.path().c_str(), O_RDWR | O_CLOEXEC);
    if (newFd < 0) return Fail();
    // Hold the new file as the old one was held, before it takes the old one's place.
    if (::flock(newFd, LOCK_EX | LOCK_NB) != 0 || ::rename(t.path().c_str(), path_.c_str()) != 0) {
      Fail();
      ::close(newFd);
      return false;
    }
    ::close(t.Release());
    int dir = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);  // the rename itself reaches the disk
      ::close(dir);
    }
    ::close(fd_);
    fd_ = newFd;
    return true;
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<DemoFile> OpenForReading(const std::string& path) override {
    return Open(path, O_RDONLY, LOCK_SH);
  }
  std::unique_ptr<DemoFile> OpenForEditing(const std::string& path) override {
    return Open(path, O_RDWR, LOCK_EX);
  }
  SystemError LastError() override {
    return {static_cast<std::uint32_t>(lastErrno), std::strerror(lastErrno)};
  }

 private:
  static std::unique_ptr<DemoFile> Open(const std::string& path, int flags, int lock) {
    if (path.empty()) {
      errno = ENOENT;
      Fail();
      return nullptr;
    }
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
      Fail();
      return nullptr;
    }
    // Advisory locks stand in for the Windows share modes: an edit keeps
    // other edits (and readers that ask) off the file while it runs.
    if (::flock(fd, lock | LOCK_NB) != 0) {
      Fail();
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixDemo>(fd, path);
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace rewindor
