// The demo folder list: list 1028 with field 1031 above it, which shows the
// folder being listed. ListFolder fills the list from a folder; OpenListEntry
// acts on a double-clicked entry (a subfolder, the parent, or a demo). The
// logic is portable; the window is reached through the interface below and
// the file system through the folder-listing one (demo/folders.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/files.h"
#include "demo/folders.h"
#include "ui/message_box.h"

namespace rewindor {

namespace text {
inline constexpr char kCannotReadDir[] = "Could not read dir";
inline constexpr char kFolderPathTooLong[] =
    "Путь папки длиннее, чем здесь может быть путь Windows (259 знаков); она не открыта.";
}  // namespace text

// Folders passed to ListFolder leave room for "\*" within 259 characters.
inline constexpr std::size_t kMaxListedFolderChars = 257;

class FolderListWindow {
 public:
  virtual ~FolderListWindow() = default;
  virtual void ClearList() = 0;
  virtual void AddEntry(std::string_view text) = 0;  // the list sorts itself
  // The text of the selected entry; nothing when no entry is selected.
  virtual std::optional<std::string> SelectedEntry() = 0;
  virtual std::string FolderField() = 0;  // 1031, at most 259 characters
  virtual void SetFolderField(std::string_view text) = 0;
  virtual void SetDemoPath(std::string_view path) = 0;  // 1000
  // Releases the map picture and reads the demo named in 1000.
  virtual void ReloadDemo() = 0;
  // The demo the window shows (1000), and the list's selection set to the
  // entry of this text (none when empty or not listed).
  virtual std::string ShownDemo() { return {}; }
  virtual void SelectEntry(std::string_view /*text*/) {}
  // The boxes it says what went wrong in.
  virtual ui::MessageBoxes& Boxes() = 0;
};

// The list's entries for a folder's listing: "[..]" where the system lists
// the parent, every folder as "[name]", and every other entry whose name holds
// ".dem" in any letter case, in the listing's order.
std::vector<std::string> ListedEntries(const FolderListing& listing);

// `folder` has no trailing backslash ("C:\Games\cstrike", or "C:" for a root).
void ListFolder(FolderListWindow& window, Folders& source, std::string_view folder);
void OpenListEntry(FolderListWindow& window, Folders& source);
// Selects the shown demo's entry when the list shows its folder, and nothing
// otherwise, so the list never highlights another demo than the one shown.
void SelectShownDemo(FolderListWindow& window);
// Enter in the folder field: lists the folder typed there (a trailing
// backslash dropped); nothing when the field is empty.
void ListTypedFolder(FolderListWindow& window, Folders& source);
// True when OpenListEntry would open the selected entry as a demo.
bool SelectedEntryIsDemo(FolderListWindow& window, Folders& source);

}  // namespace rewindor
