// The library's work beside its table (ui/library.h): listing a folder's
// demos, reading each into a row on a thread of its own, and repairing the
// unfinished demos shown. Portable and without a window: what the reader
// finds reaches the dialog through a LibrarySink, which the dialog turns
// into messages to its window (LibraryInbox does the queueing).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "demo/files.h"
#include "demo/image_buffer.h"
#include "ui/library.h"

namespace rewindor {

// ---------------------------------------------------------------------------
// Listing.

struct LibraryFolderEntry {
  std::string name;
  std::string path;  // UTF-8
  bool directory = false;
  bool link = false;  // a symbolic link, junction or other reparse point
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
};

class LibraryFolders {
 public:
  virtual ~LibraryFolders() = default;
  // The entries of one folder, "." and ".." left out. False when the folder
  // cannot be listed (wholly), with the system's reason.
  virtual bool List(const std::string& folder, std::vector<LibraryFolderEntry>& entries, SystemError& why) = 0;
};
// The platform's (library_folders_posix.cpp / library_folders_win.cpp).
LibraryFolders& NativeLibraryFolders();

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

// The .dem files (any letter case; a link to a file counts) of `folder`, and
// with `subfolders` those of every folder below it. A folder reached through
// a link is never entered, so no link loop is walked; a folder that cannot be
// listed is noted and the rest is still listed. Checks `stop` between folders.
LibraryListing ListLibrary(LibraryFolders& folders, const std::string& folder, bool subfolders,
                           const std::atomic<bool>* stop = nullptr);

// ---------------------------------------------------------------------------
// Reading.

// Reads one demo into a row, in `buffer`: what the information reader and the
// details view find in it, or the read error as the window reports it.
LibraryRow ReadLibraryRow(FileSystem& files, const LibraryFile& file, ImageBuffer& buffer);
// The same, a lack of memory anywhere in it (std::bad_alloc) given as the row's read error.
LibraryRow ReadLibraryRowOrFailure(FileSystem& files, const LibraryFile& file, ImageBuffer& buffer);

// What the reader finds, told on the reader's thread.
class LibrarySink {
 public:
  virtual ~LibrarySink() = default;
  virtual void Listed(const LibraryListing& listing) = 0;  // once, before the rows
  virtual void RowRead(LibraryRow row) = 0;
  virtual void Finished() = 0;  // after the last row; not after Stop
};

// Lists the folder and reads its demos one by one on a thread of its own,
// into one shared buffer, handing each row to the sink. It never touches a
// window.
class LibraryReader {
 public:
  LibraryReader(FileSystem& files, LibraryFolders& folders, std::string folder, bool subfolders, LibrarySink& sink);
  ~LibraryReader();  // stops
  LibraryReader(const LibraryReader&) = delete;
  LibraryReader& operator=(const LibraryReader&) = delete;

  // Asks the reading to end, without waiting: nothing more reaches the sink
  // but what is being handed to it right now.
  void RequestStop() { stop_ = true; }
  // Ends the reading: once it returns the sink hears nothing more. It waits
  // only for the demo being read (one read). Not to be called from the sink.
  void Stop();

 private:
  void Run(FileSystem& files, LibraryFolders& folders, const std::string& folder, bool subfolders,
           LibrarySink& sink);

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A sink that queues what it hears and calls `notify` (on the reader's
// thread) so that the dialog's thread takes it: the dialog posts a message to
// its window in `notify` and calls Drain when the message arrives. One inbox
// a reading: a reading stopped may have left rows in its inbox, so the next
// reading gets a new one.
class LibraryInbox final : public LibrarySink {
 public:
  explicit LibraryInbox(std::function<void()> notify) : notify_(std::move(notify)) {}

  void Listed(const LibraryListing& listing) override;
  void RowRead(LibraryRow row) override;
  void Finished() override;

  // Applies what was queued to the model, in the order heard; true when anything was.
  bool Drain(LibraryModel& model);

 private:
  std::mutex mutex_;
  bool listed_ = false;
  std::size_t total_ = 0, unreadable_ = 0;
  std::vector<LibraryRow> rows_;
  bool finished_ = false;
  std::function<void()> notify_;
};

// ---------------------------------------------------------------------------
// "Починить недописанные".

// The question asked first; when none of the demos shown is unfinished, the
// text that says so (an information, no question).
std::string LibraryRepairQuestion(std::size_t unfinished);

struct LibraryRepair {
  std::size_t recovered = 0;
  std::size_t refused = 0;
  std::string text;                   // the one result box
  std::vector<LibraryRow> refreshed;  // every demo tried, read again
};

// Repairs each demo (EditDemo with RepairDemo, as the repair command does;
// a lack of memory refuses that demo) and composes one result: what was recovered (each demo's name and the
// repair's own text), then what was refused (name and reason), a long list
// cut short with the number left out.
LibraryRepair RepairLibraryDemos(FileSystem& files, const std::vector<LibraryFile>& demos);

// Lines of each part of the result shown at most.
inline constexpr std::size_t kMaxRepairLines = 15;

}  // namespace rewindor
