// The game finder's sources on POSIX systems: no registry, the home folder
// from $HOME, and the files read without ever waiting on one (a pipe or a
// device named like Steam's file is passed over).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "launch/game_finder.h"

namespace rewindor {

namespace {

// The system reads a path up to its first NUL: one with a NUL names another file.
bool Nameable(const std::string& path) { return path.find('\0') == std::string::npos; }

class PosixGameSources final : public GameSources {
 public:
  std::optional<std::string> RegistryText(RegistryHive, std::string_view, std::string_view) override {
    return std::nullopt;
  }

  std::string HomeFolder() override {
    const char* home = std::getenv("HOME");
    return home ? home : "";
  }

  std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override {
    if (!Nameable(path)) return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= maxBytes) {
      text.emplace(static_cast<std::size_t>(info.st_size), '\0');
      std::size_t got = 0;
      while (text && got < text->size()) {
        ssize_t n = ::read(fd, text->data() + got, text->size() - got);
        if (n < 0) text.reset();
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      // A file that shrank meanwhile gives what it holds now.
      if (text) text->resize(got);
    }
    ::close(fd);
    return text;
  }

  bool IsFile(const std::string& path) override {
    struct stat info {};
    return Nameable(path) && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }

  // Links are followed: a linked mod folder or demo counts as what it names.
  FolderListing List(const std::string& path) override { return NativeFolders().List(path); }
};

}  // namespace

GameSources& NativeGameSources() {
  static PosixGameSources sources;
  return sources;
}

GameSystem NativeGameSystem() { return GameSystem::kLinux; }

}  // namespace rewindor
