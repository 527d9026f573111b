// Listing folders on Windows, through the wide API.
#include <windows.h>

#include "demo/folders.h"
#include "demo/report.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ull;
constexpr std::uint64_t kFileTimeSecond = 10000000ull;

std::int64_t UnixSeconds(const FILETIME& time) {
  const std::uint64_t t = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (static_cast<std::int64_t>(t) - static_cast<std::int64_t>(kFileTimeUnixEpoch)) /
         static_cast<std::int64_t>(kFileTimeSecond);
}

FolderEntry Described(const WIN32_FIND_DATAW& found, std::string name, const std::string& prefix) {
  FolderEntry entry{std::move(name)};
  entry.path = prefix + entry.name;
  entry.kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::kFolder : EntryKind::kFile;
  entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;  // junctions too
  entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  entry.modified = UnixSeconds(found.ftLastWriteTime);
  return entry;
}

// The wide API reads a path up to its first NUL: one with a NUL names another file.
bool Nameable(const std::string& path) { return path.find('\0') == std::string::npos; }

class WinFolders final : public Folders {
 public:
  FolderListing List(const std::string& folder) override {
    FolderListing listing;
    if (!Nameable(folder)) {
      listing.error = SystemErrorFromCode(ERROR_INVALID_NAME);
      return listing;
    }
    const std::string prefix = folder.ends_with('\\') || folder.ends_with('/') ? folder : folder + "\\";
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      listing.error = SystemErrorFromCode(GetLastError());
      return listing;
    }
    listing.opened = true;
    do {
      std::string name = Narrow(found.cFileName);
      if (name == "..") listing.parent = true;
      if (name == "." || name == "..") continue;
      listing.entries.push_back(Described(found, std::move(name), prefix));
    } while (FindNextFileW(find, &found));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) listing.error = SystemErrorFromCode(error);
    return listing;
  }

  bool IsFile(const std::string& path) override {
    if (!Nameable(path)) return false;
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
};

}  // namespace

Folders& NativeFolders() {
  static WinFolders folders;
  return folders;
}

}  // namespace rewindor
