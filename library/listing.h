// The library's listing: the demos of a folder, and with the subfolders those
// of every folder below it, through the folder-listing interface (demo/folders.h).
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "demo/files.h"
#include "demo/folders.h"
#include "library/rows.h"

namespace rewindor {

struct UnreadableFolder {
  std::string path;
  SystemError why;
};

struct LibraryListing {
  std::vector<LibraryFile> demos;  // sorted by path
  std::vector<UnreadableFolder> unreadable;
};

// The folder of a demo at `path` below the `listed` folder, as the "Папка"
// column shows it: "" for the listed folder itself, "sub\\deeper" below it.
std::string FolderBelow(std::string_view listed, std::string_view path);

// Folders below the library's folder deeper than this are not entered.
inline constexpr int kMaxLibraryDepth = 64;

// The .dem files (any letter case; a link to a file counts, a link that leads
// nowhere does not) of `folder`, and with `subfolders` those of every folder
// below it. A folder reached through a link is never entered, so no link loop
// is walked; a folder that cannot be listed, or not wholly, is noted and the
// rest is still listed. Checks `stop` between folders.
LibraryListing ListLibrary(Folders& folders, const std::string& folder, bool subfolders,
                           const std::atomic<bool>* stop = nullptr);

}  // namespace rewindor
