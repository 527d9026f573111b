// The few file operations the demo commands need, behind an interface so that
// the commands run and are tested without the platform. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "demo/bytes.h"

namespace rewindor {

// The operating system's reason for a failure: its code and its own text.
struct SystemError {
  std::uint32_t code = 0;
  std::string text;
};

// A new file beside a demo that is being edited. It becomes the demo only
// through DemoFile::ReplaceWith; until then, and after a failed replacement,
// destroying it removes it from the disk.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // Writes all of `data` at the current end; false when fewer bytes were written.
  virtual bool Write(ByteView data) = 0;
  // Forces what was written to the disk.
  virtual bool Flush() = 0;
};

// An open demo: always a regular file (a folder, a device or a pipe is
// refused when opened, never waited on). Opened for reading, others may read
// and on Windows write it too (a demo being recorded is read as it is then).
// Opened for editing, nobody else may write, rename or delete it until it is
// closed (by destruction), and other edits are kept off everywhere; a read
// meanwhile sees the bytes on disk (on Linux it is refused). A demo opened for editing is
// the file its path names at the moment it is held (another program's
// replacement in between is noticed and the new file taken), reached through
// any symbolic links, and has no other name (hard link): replacing it would
// part them. Nor does any other program have it open for writing (the game
// while it records takes no lock): the open fails with kReasonBeingWritten,
// and on Linux (by a read lease) so does a ReplaceWith after another program
// opened it for writing meanwhile. Where Linux grants no lease (another file
// system, a demo of another user) an edit goes ahead without that check.
class DemoFile {
 public:
  virtual ~DemoFile() = default;
  virtual bool Size(std::uint64_t& size) = 0;
  // Reads the file from `offset` on into the whole of `into`; false when fewer
  // bytes arrived (the file ends sooner than that, or the read failed).
  virtual bool ReadAt(std::uint64_t offset, MutableByteView into) = 0;
  // Reads the file from offset 0 into `into` in one read; false when fewer
  // bytes than `into.size()` arrived.
  virtual bool Read(MutableByteView into) { return ReadAt(0, into); }
  // Only for a demo opened for editing: a new empty file in the demo's folder
  // (nameless where the system allows; on Windows marked to be deleted with
  // its last handle, so that a kill leaves nothing), with the demo's
  // permissions and, where we may, its owner. Temp files that earlier edits of the same demo left
  // behind when they were killed are removed first.
  virtual std::unique_ptr<TempFile> CreateTemp() = 0;
  // Only for a demo opened for editing: puts the temp file's content in the
  // demo's place in one step, so that the demo is at every moment either its
  // old self or wholly the new content. The new file keeps the demo's dates
  // (where the system lets it). On success the demo stays held (the new file,
  // open for editing) and the temp file is gone; on failure the demo is
  // unchanged.
  virtual bool ReplaceWith(TempFile& temp) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<DemoFile> OpenForReading(const std::string& path) = 0;
  virtual std::unique_ptr<DemoFile> OpenForEditing(const std::string& path) = 0;
  // True when another program has the demo open for writing (the game while it
  // records it): reads see it as it is at that moment, edits refuse it. Where
  // the system cannot tell, false.
  virtual bool BeingWritten(const std::string& /*path*/) { return false; }
  // The reason for the last failed operation of this file system (on this thread).
  virtual SystemError LastError() = 0;
};

// The platform's file system (POSIX or Win32).
FileSystem& NativeFileSystem();
// The same, with `beforeHold` called with the path just before a demo is taken
// for editing: where a test lets another program replace the demo.
std::unique_ptr<FileSystem> NativeFileSystemWithHook(std::function<void(const std::string&)> beforeHold);

// Reads a whole opened demo into memory. The outcome tells which step failed.
enum class ReadOutcome { kOk, kSizeFailed, kEmpty, kTooLarge, kNoMemory, kShortRead };
// A failed `image` is left untouched.
ReadOutcome ReadWhole(DemoFile& file, Bytes& image);
// The size of an opened demo as a number of bytes to read whole: kOk, or the
// outcome ReadWhole gives for a size that cannot be had, is 0 or too large.
ReadOutcome ReadableSize(DemoFile& file, std::size_t& size);
// The reason to show for a failed ReadWhole: the system's, or our own where
// the system has none (an empty file, not enough memory).
SystemError ReadFailureReason(ReadOutcome outcome, FileSystem& files);

// The reason for a failed read as the window words it, in Russian: a reason of
// our own as it is, the system's commonest ones by their code, any other as
// its number.
std::string UnreadableReason(const SystemError& why);
// "Демку не прочесть: <UnreadableReason>": the summary and the library's
// state for a demo that could not be read.
std::string UnreadableDemoText(const SystemError& why);
// The Russian words for a system error code of this platform (files_win.cpp,
// files_posix.cpp); nullptr for a code without them.
const char* RussianSystemReason(std::uint32_t code);

}  // namespace rewindor
