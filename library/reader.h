// Reading a folder's demos into the library's rows on a thread of its own.
// Portable and without a window: what the reader finds reaches the dialog
// through a LibrarySink, which the dialog turns into messages to its window
// (LibraryInbox, library/inbox.h, does the queueing).
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "demo/files.h"
#include "demo/folders.h"
#include "demo/image_buffer.h"
#include "library/listing.h"
#include "library/rows.h"

namespace rewindor {

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
  LibraryReader(FileSystem& files, Folders& folders, std::string folder, bool subfolders, LibrarySink& sink);
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
  void Run(FileSystem& files, Folders& folders, const std::string& folder, bool subfolders, LibrarySink& sink);

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace rewindor
