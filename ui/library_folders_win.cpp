// The library's folder listing on Windows.
#include <windows.h>

#include "demo/report.h"
#include "demo/utf8.h"
#include "ui/library_reader.h"

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

class WinLibraryFolders final : public LibraryFolders {
 public:
  bool List(const std::string& folder, std::vector<LibraryFolderEntry>& entries, SystemError& why) override {
    const bool separated = folder.ends_with('\\') || folder.ends_with('/');
    const std::string prefix = separated ? folder : folder + "\\";
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      why = SystemErrorFromCode(GetLastError());
      return false;
    }
    do {
      const std::string name = Narrow(found.cFileName);
      if (name == "." || name == "..") continue;
      LibraryFolderEntry entry;
      entry.name = name;
      entry.path = prefix + name;
      entry.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;  // junctions too
      entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      entry.modified = UnixSeconds(found.ftLastWriteTime);
      entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &found));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error == ERROR_NO_MORE_FILES) return true;
    why = SystemErrorFromCode(error);
    return false;
  }
};

}  // namespace

LibraryFolders& NativeLibraryFolders() {
  static WinLibraryFolders folders;
  return folders;
}

}  // namespace rewindor
