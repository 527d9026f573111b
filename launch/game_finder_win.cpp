// The game finder's sources on Win32, through the wide API. Finding must never
// show anything: while it asks, a drive without its disk (a library on a
// removable drive) answers as missing instead of opening the system's box.
#include <windows.h>

#include "demo/demo_format.h"
#include "demo/registry.h"
#include "demo/utf8.h"
#include "launch/game_finder.h"

namespace rewindor {

namespace {

class QuietErrors {
 public:
  QuietErrors() { quiet_ = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
  ~QuietErrors() {
    if (quiet_) SetThreadErrorMode(previous_, nullptr);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD previous_ = 0;
  BOOL quiet_ = FALSE;
};

// The wide API reads a path up to its first NUL: one with a NUL names another file.
bool Nameable(const std::string& path) { return path.find('\0') == std::string::npos; }

class Win32GameSources final : public GameSources {
 public:
  std::optional<std::string> RegistryText(RegistryHive hive, std::string_view key, std::string_view name) override {
    return ReadRegistryText(*MakeNativeRegistry(), hive, key, name, kMaxPathChars);
  }

  std::string HomeFolder() override { return {}; }  // Windows' Steam is found through the registry

  std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override {
    if (!Nameable(path)) return std::nullopt;
    QuietErrors quiet;
    // Steam may hold its file open; it never keeps us out of it.
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> text;
    LARGE_INTEGER size{};
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
        static_cast<std::uint64_t>(size.QuadPart) <= maxBytes) {
      text.emplace(static_cast<std::size_t>(size.QuadPart), '\0');
      DWORD got = 0;
      if (!ReadFile(file, text->data(), static_cast<DWORD>(text->size()), &got, nullptr)) {
        text.reset();
      } else {
        text->resize(got);  // a file that shrank meanwhile gives what it holds now
      }
    }
    CloseHandle(file);
    return text;
  }

  bool IsFile(const std::string& path) override {
    if (!Nameable(path)) return false;
    QuietErrors quiet;
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  FolderListing List(const std::string& path) override {
    QuietErrors quiet;
    return NativeFolders().List(path);
  }
};

}  // namespace

GameSources& NativeGameSources() {
  static Win32GameSources sources;
  return sources;
}

GameSystem NativeGameSystem() { return GameSystem::kWindows; }

}  // namespace rewindor
