#include "cli/demo_paths.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "demo/folders.h"
#include "demo/info.h"

namespace rewindor::cli {

namespace fs = std::filesystem;

namespace {

// Adds the demo files of `folder` (a link to a demo counts) and with
// `recursive` those below it. A folder reached through a link is not entered.
// The `top` folder must be readable; below it, a folder that cannot be opened
// (one we may not enter) is passed over. A listing cut short ends the walk
// with its reason.
void Walk(Folders& folders, const std::string& folder, bool recursive, bool top, std::vector<fs::path>& demos,
          std::optional<SystemError>& failure) {
  const FolderListing listing = folders.List(folder);
  for (const FolderEntry& entry : listing.entries) {
    if (entry.kind == EntryKind::kFile && HasDemoExtension(entry.name)) demos.push_back(PathFromUtf8(entry.path));
  }
  if (listing.error && (listing.opened || top)) failure = listing.error;
  for (const FolderEntry& entry : listing.entries) {
    if (failure || !recursive) return;
    if (entry.kind == EntryKind::kFolder && !entry.link) Walk(folders, entry.path, recursive, false, demos, failure);
  }
}

}  // namespace

PathExpansion ExpandPath(const std::string& path, bool recursive) {
  PathExpansion out;
  try {
    std::error_code ec;
    if (!fs::is_directory(PathFromUtf8(path), ec)) {
      out.demos.push_back(path);
      return out;
    }
    std::optional<SystemError> failure;
    std::vector<fs::path> demos;
    Walk(NativeFolders(), path, recursive, true, demos, failure);
    // Paths compare folder by folder, so a folder's demos stay together
    // whatever the separator's place among the characters.
    std::sort(demos.begin(), demos.end());
    for (const fs::path& demo : demos) out.demos.push_back(PathToUtf8(demo));
    if (failure) {
      out.problem = "Could not list the folder: " + failure->text;
    } else if (out.demos.empty()) {
      out.problem = recursive ? "No demo (.dem) in this folder or its subfolders." : "No demo (.dem) in this folder.";
    }
  } catch (const std::exception& e) {
    // Only a path that cannot be converted gets here (Windows, an unpaired surrogate).
    out.problem = std::string("Could not list the folder: ") + e.what();
  }
  return out;
}

}  // namespace rewindor::cli
