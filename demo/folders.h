// Listing a folder: one interface for every part that walks folders (the
// main window's folder list, the library, the game finder, the command-line
// tool), so that each is tested on a fake and the platform answers in one
// place (folders_posix.cpp, folders_win.cpp). Paths are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo/files.h"

namespace rewindor {

// What an entry names, links followed.
enum class EntryKind : std::uint8_t {
  kFile,     // a regular file
  kFolder,   // a folder
  kOther,    // a device, a pipe or a socket
  kNowhere,  // a link whose target is gone
};

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::kFile;
  bool link = false;  // a symbolic link, junction or other reparse point
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
  std::string path = {};      // the listed folder, a separator (unless it ends in one) and the name
};

struct FolderListing {
  // In the order the system gives them, "." and ".." left out.
  std::vector<FolderEntry> entries;
  // The system listed ".." (a folder that is not a drive's root, on Windows).
  bool parent = false;
  // The folder was opened: `entries` hold what was listed, up to a failure if there was one.
  bool opened = false;
  // Why the folder could not be listed, or not wholly.
  std::optional<SystemError> error;
};

class Folders {
 public:
  virtual ~Folders() = default;
  // One folder's entries. A path with a NUL in it cannot be listed: the
  // system would look at the path cut there, another folder.
  virtual FolderListing List(const std::string& folder) = 0;
  // True when the path names a file that is not a folder (Windows) or a
  // regular file (POSIX), links followed.
  virtual bool IsFile(const std::string& path) = 0;
};

// The platform's.
Folders& NativeFolders();

}  // namespace rewindor
