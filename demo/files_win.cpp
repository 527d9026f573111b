// The file system on Windows: the wide API throughout, so that any path works
// whatever the ANSI code page.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "demo/files.h"
#include "demo/messages.h"
#include "demo/report.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

// The code is kept at the failure itself: clean-up calls made on the way out
// (closing, reopening) would overwrite GetLastError.
// Where the system has no reason that fits, the text is our own.
thread_local DWORD lastError = 0;
thread_local const char* lastText = nullptr;

bool Fail() {
  lastError = GetLastError();
  lastText = nullptr;
  return false;
}
bool Fail(DWORD code, const char* text = nullptr) {
  lastError = code;
  lastText = text;
  return false;
}

// No single ReadFile or WriteFile moves more than this.
constexpr DWORD kChunk = 1u << 30;
// A virus scanner or indexer may hold a freshly written file for a moment.
constexpr int kMoveTries = 5;
constexpr DWORD kMoveRetryPauseMs = 100;
constexpr int kTempNameTries = 100;
// Temp files are "~<demo name>.rewindor-<process>-<n>.tmp".
constexpr wchar_t kTempInfix[] = L".rewindor-";
constexpr wchar_t kTempSuffix[] = L".tmp";

// The demo's attributes that its replacement takes over; read-only cannot be
// set on a demo that was opened for writing, the rest are not plain flags.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr DWORD kEditAccess = GENERIC_READ | GENERIC_WRITE;
// While a demo is edited others may read it, but nobody may write, rename or delete it.
constexpr DWORD kEditShare = FILE_SHARE_READ;
// A read lets others read and write: a demo being recorded is read as a snapshot.
constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE OpenDemo(const std::wstring& path, DWORD access, DWORD share) {
  return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether another program has the demo open for writing (the game while it
// records, or another edit): it cannot be read without letting others write,
// and can be read when others may write.
bool OpenForWritingElsewhere(const std::wstring& path) {
  HANDLE probe = OpenDemo(path, GENERIC_READ, FILE_SHARE_READ);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return false;
  }
  if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
  probe = OpenDemo(path, GENERIC_READ, kReadShare);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  return true;
}

// A temp file marked for deletion goes with its last handle, also when the
// process is killed; the mark is cleared just before the temp file is moved
// over the demo.
bool MarkForDeletion(HANDLE h, bool deleted) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleted ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

std::wstring FolderOf(const std::wstring& path) {
  std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
}
std::wstring NameOf(const std::wstring& path) {
  std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The path of the file an open handle holds, through any symbolic links; the
// given path when the system cannot tell.
std::wstring FinalPath(HANDLE h, const std::wstring& path) {
  std::wstring final(MAX_PATH, L'\0');
  for (int i = 0; i < 2; ++i) {
    DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return path;
    if (n < final.size()) {
      final.resize(n);
      return final;
    }
    final.resize(n);
  }
  return path;
}

// Removes the temp files that killed edits of the demo left beside it; a
// running edit keeps its own open without sharing, so it cannot be deleted.
void RemoveLeftTemps(const std::wstring& demoPath) {
  const std::wstring folder = FolderOf(demoPath);
  const std::wstring prefix = L"~" + NameOf(demoPath) + kTempInfix;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((folder + prefix + L"*" + kTempSuffix).c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    const std::size_t suffix = std::char_traits<wchar_t>::length(kTempSuffix);
    const bool ours = name.size() > prefix.size() + suffix && name.compare(0, prefix.size(), prefix) == 0 &&
                      name.compare(name.size() - suffix, suffix, kTempSuffix) == 0 &&
                      (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (ours) DeleteFileW((folder + name).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

class WinTemp final : public TempFile {
 public:
  WinTemp(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
  ~WinTemp() override {
    Close();
    if (!adopted_) DeleteFileW(path_.c_str());
  }

  bool Write(ByteView data) override {
    const std::uint8_t* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, kChunk));
      DWORD done = 0;
      if (!WriteFile(h_, p, want, &done, nullptr)) return Fail();
      if (done == 0) return Fail(ERROR_DISK_FULL);
      p += done;
      left -= done;
    }
    return true;
  }

  bool Flush() override { return FlushFileBuffers(h_) || Fail(); }

  HANDLE handle() const { return h_; }
  const std::wstring& path() const { return path_; }
  void Close() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  // The file has become the demo: it is no longer ours to delete.
  void Adopt() { adopted_ = true; }

 private:
  HANDLE h_;
  std::wstring path_;
  bool adopted_ = false;
};

class WinDemo final : public DemoFile {
 public:
  WinDemo(HANDLE h, std::wstring path, bool editing) : h_(h), path_(std::move(path)), editing_(editing) {}
  ~WinDemo() override {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }

  bool Size(std::uint64_t& size) override {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(h_, &li)) return Fail();
    size = static_cast<std::uint64_t>(li.QuadPart);
    return true;
  }

  bool ReadAt(std::uint64_t offset, MutableByteView into) override {
    std::uint8_t* p = into.data();
    std::size_t left = into.size();
    while (left > 0) {
      // On a handle opened for plain reads the offset in OVERLAPPED places the read.
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(left, kChunk));
      DWORD got = 0;
      if (!ReadFile(h_, p, want, &got, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? Fail(ERROR_HANDLE_EOF) : Fail();
      }
      if (got == 0) return Fail(ERROR_HANDLE_EOF);  // the file became shorter than its size said
      p += got;
      left -= got;
      offset += got;
    }
    return true;
  }

  std::unique_ptr<TempFile> CreateTemp() override {
    if (!editing_) {
      Fail(ERROR_INVALID_FUNCTION);
      return nullptr;
    }
    RemoveLeftTemps(path_);
    // Beside the demo, hidden until it takes the demo's place.
    const std::wstring start = FolderOf(path_) + L"~" + NameOf(path_) + kTempInfix;
    static std::atomic<unsigned> counter{0};
    for (int i = 0; i < kTempNameTries; ++i) {
      std::wstring name =
          start + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + kTempSuffix;
      HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_EXISTS) break;
        continue;
      }
      // Where the mark cannot be set the temp file is removed as before: by
      // our destructor, or by the next edit after a kill.
      MarkForDeletion(h, true);
      return std::make_unique<WinTemp>(h, name);
    }
    Fail();
    return nullptr;
  }

  bool ReplaceWith(TempFile& temp) override {
    if (!editing_) return Fail(ERROR_INVALID_FUNCTION);
    auto& t = static_cast<WinTemp&>(temp);
    // The new file keeps the demo's dates and attributes (and so loses the
    // temp file's hidden flag).
    FILE_BASIC_INFO demoInfo{};
    if (!GetFileInformationByHandleEx(h_, FileBasicInfo, &demoInfo, sizeof demoInfo)) return Fail();
    FILE_BASIC_INFO newInfo{};
    newInfo.CreationTime = demoInfo.CreationTime;
    newInfo.LastAccessTime = demoInfo.LastAccessTime;
    newInfo.LastWriteTime = demoInfo.LastWriteTime;
    newInfo.FileAttributes = demoInfo.FileAttributes & kKeptAttributes;
    if (newInfo.FileAttributes == 0) newInfo.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(t.handle(), FileBasicInfo, &newInfo, sizeof newInfo)) return Fail();
    // From here until the move a kill leaves the temp file behind, as a
    // named file cannot be moved by its handle everywhere (not under Wine);
    // the next edit removes it.
    if (!MarkForDeletion(t.handle(), false)) return Fail();
    t.Close();

    // The rename cannot replace a file that is open without delete sharing,
    // our own handle included.
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    DWORD moveError = ERROR_SUCCESS;
    for (int i = 0; i < kMoveTries; ++i) {
      if (MoveFileExW(t.path().c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        moveError = ERROR_SUCCESS;
        break;
      }
      moveError = GetLastError();
      if (moveError != ERROR_ACCESS_DENIED && moveError != ERROR_SHARING_VIOLATION) break;
      Sleep(kMoveRetryPauseMs);
    }
    if (moveError == ERROR_SUCCESS) t.Adopt();
    // Held again as before: the new demo on success, the untouched old one otherwise.
    for (int i = 0; i < kMoveTries && h_ == INVALID_HANDLE_VALUE; ++i) {
      h_ = OpenDemo(path_, kEditAccess, kEditShare);
      if (h_ == INVALID_HANDLE_VALUE) Sleep(kMoveRetryPauseMs);
    }
    if (moveError != ERROR_SUCCESS) return Fail(moveError);
    return true;
  }

 private:
  HANDLE h_;
  std::wstring path_;
  bool editing_;
};

class WinFileSystem final : public FileSystem {
 public:
  explicit WinFileSystem(std::function<void(const std::string&)> beforeHold = nullptr)
      : beforeHold_(std::move(beforeHold)) {}

  // A demo the game is still recording is read as it is at that moment.
  std::unique_ptr<DemoFile> OpenForReading(const std::string& path) override {
    return Open(path, GENERIC_READ, kReadShare, false);
  }
  bool BeingWritten(const std::string& path) override {
    return path.find('\0') == std::string::npos && IsValidUtf8(path) && OpenForWritingElsewhere(Wide(path));
  }
  // Opening is taking: the share mode keeps everyone off from the open on, so
  // the file held is the one the path names.
  std::unique_ptr<DemoFile> OpenForEditing(const std::string& path) override {
    if (beforeHold_) beforeHold_(path);
    return Open(path, kEditAccess, kEditShare, true);
  }

  SystemError LastError() override {
    if (lastText != nullptr) return {lastError, lastText};
    return SystemErrorFromCode(lastError);
  }

 private:
  static std::unique_ptr<DemoFile> Open(const std::string& path, DWORD access, DWORD share, bool editing) {
    // A zero byte would cut the path short, and an invalid sequence would be
    // replaced: either could name another file.
    if (path.find('\0') != std::string::npos || !IsValidUtf8(path)) {
      Fail(ERROR_INVALID_NAME);
      return nullptr;
    }
    std::wstring wide = Wide(path);
    HANDLE h = OpenDemo(wide, access, share);
    if (h == INVALID_HANDLE_VALUE) {
      Fail();
      if (editing && lastError == ERROR_SHARING_VIOLATION && OpenForWritingElsewhere(wide)) {
        Fail(ERROR_SHARING_VIOLATION, text::kReasonBeingWritten);
      }
      return nullptr;
    }
    // A pipe or a device is never read: it could keep the reader waiting.
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!regular) {
      CloseHandle(h);
      Fail(ERROR_BAD_FILE_TYPE, text::kReasonNotRegularFile);
      return nullptr;
    }
    if (editing && info.nNumberOfLinks > 1) {
      CloseHandle(h);
      Fail(ERROR_TOO_MANY_LINKS, text::kReasonHardLinks);
      return nullptr;
    }
    // An edit replaces the file a symbolic link names, never the link.
    if (editing) wide = FinalPath(h, wide);
    return std::make_unique<WinDemo>(h, std::move(wide), editing);
  }

  std::function<void(const std::string&)> beforeHold_;
};

}  // namespace

const char* RussianSystemReason(std::uint32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return text::kReasonFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH: return text::kReasonPathNotFound;
    case ERROR_ACCESS_DENIED: return text::kReasonAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return text::kReasonSharingViolation;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return text::kReasonBadName;
    case ERROR_NOT_READY: return text::kReasonDeviceNotReady;
    case ERROR_READ_FAULT:
    case ERROR_CRC: return text::kReasonReadFault;
    default: return nullptr;
  }
}

FileSystem& NativeFileSystem() {
  static WinFileSystem fs;
  return fs;
}

std::unique_ptr<FileSystem> NativeFileSystemWithHook(std::function<void(const std::string&)> beforeHold) {
  return std::make_unique<WinFileSystem>(std::move(beforeHold));
}

}  // namespace rewindor
