#include "library/listing.h"

#include <algorithm>

#include "demo/info.h"

namespace rewindor {

namespace {

bool MayBeDemo(const FolderEntry& entry) {
  return (entry.kind == EntryKind::kFile || entry.kind == EntryKind::kOther) && HasDemoExtension(entry.name);
}

void ListInto(Folders& folders, const std::string& folder, int depth, bool subfolders, const std::atomic<bool>* stop,
              LibraryListing& listing) {
  if (stop != nullptr && stop->load()) return;
  const FolderListing listed = folders.List(folder);
  if (listed.error) listing.unreadable.push_back({folder, *listed.error});
  // What was listed before a failure still counts.
  for (const FolderEntry& entry : listed.entries) {
    if (MayBeDemo(entry)) listing.demos.push_back({entry.path, entry.name, entry.size, entry.modified});
  }
  if (!subfolders || depth >= kMaxLibraryDepth) return;
  for (const FolderEntry& entry : listed.entries) {
    if (entry.kind == EntryKind::kFolder && !entry.link) {
      ListInto(folders, entry.path, depth + 1, subfolders, stop, listing);
    }
  }
}

}  // namespace

std::string FolderBelow(std::string_view listed, std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos || !path.starts_with(listed)) return {};
  std::string_view below = path.substr(0, cut).substr(std::min(listed.size(), cut));
  while (!below.empty() && (below.front() == '\\' || below.front() == '/')) below.remove_prefix(1);
  return std::string(below);
}

LibraryListing ListLibrary(Folders& folders, const std::string& folder, bool subfolders,
                           const std::atomic<bool>* stop) {
  LibraryListing listing;
  ListInto(folders, folder, 0, subfolders, stop, listing);
  std::sort(listing.demos.begin(), listing.demos.end(),
            [](const LibraryFile& a, const LibraryFile& b) { return a.path < b.path; });
  for (LibraryFile& demo : listing.demos) demo.folder = FolderBelow(folder, demo.path);
  return listing;
}

}  // namespace rewindor
