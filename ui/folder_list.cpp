#include "ui/folder_list.h"

#include "demo/ascii.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

bool ContainsDemoExtension(std::string_view name) { return ContainsIgnoringCase(name, ".dem"); }

}  // namespace

std::vector<std::string> ListedEntries(const FolderListing& listing) {
  std::vector<std::string> listed;
  if (listing.parent) listed.push_back("[..]");
  for (const FolderEntry& e : listing.entries) {
    if (e.kind == EntryKind::kFolder) {
      listed.push_back("[" + e.name + "]");
    } else if (ContainsDemoExtension(e.name)) {
      listed.push_back(e.name);
    }
  }
  return listed;
}

void ListFolder(FolderListWindow& window, Folders& source, std::string_view folder) {
  if (Utf16Length(folder) > kMaxListedFolderChars) {
    window.Boxes().Info(text::kFolderPathTooLong);
    return;
  }
  std::string path(folder);
  FolderListing listing = source.List(path);
  // A listing cut short by a failure shows what it found; one that could not begin is reported.
  if (!listing.opened) window.Boxes().ReportError(text::kCannotReadDir, listing.error.value_or(SystemError{}));
  window.ClearList();
  for (const std::string& entry : ListedEntries(listing)) window.AddEntry(entry);
  window.SetFolderField(path + "\\");
  SelectShownDemo(window);
}

void SelectShownDemo(FolderListWindow& window) {
  const std::string shown = window.ShownDemo();
  const std::size_t cut = shown.find_last_of('\\');
  const bool listed = cut != std::string::npos && cut + 1 < shown.size() &&
                      EqualIgnoringCase(std::string_view(shown).substr(0, cut + 1), window.FolderField());
  window.SelectEntry(listed ? std::string_view(shown).substr(cut + 1) : std::string_view());
}

void ListTypedFolder(FolderListWindow& window, Folders& source) {
  std::string folder = window.FolderField();
  if (folder.ends_with('\\')) folder.pop_back();
  if (!folder.empty()) ListFolder(window, source, folder);
}

void OpenListEntry(FolderListWindow& window, Folders& source) {
  std::optional<std::string> entry = window.SelectedEntry();
  if (!entry) return;
  std::string folder = window.FolderField();
  std::string joined = folder + *entry;
  if (Utf16Length(joined) > kMaxPathChars) {
    window.Boxes().Info(text::kFolderPathTooLong);
    return;
  }
  if (source.IsFile(joined)) {
    window.SetDemoPath(joined);
    window.ReloadDemo();
    return;
  }
  // A folder entry: its name without the brackets.
  std::string name = entry->size() >= 2 ? entry->substr(1, entry->size() - 2) : std::string();
  if (name == "..") {
    std::string up = folder + "..";
    ListFolder(window, source, BeforeLastBackslash(BeforeLastBackslash(up)));
  } else {
    ListFolder(window, source, folder + name);
  }
}

bool SelectedEntryIsDemo(FolderListWindow& window, Folders& source) {
  std::optional<std::string> entry = window.SelectedEntry();
  if (!entry) return false;
  std::string joined = window.FolderField() + *entry;
  return Utf16Length(joined) <= kMaxPathChars && source.IsFile(joined);
}

}  // namespace rewindor
