// Listing folders on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "demo/folders.h"

namespace rewindor {

namespace {

SystemError LastSystemError() { return {static_cast<std::uint32_t>(errno), std::strerror(errno)}; }

EntryKind KindOf(const struct stat& st) {
  return S_ISREG(st.st_mode) ? EntryKind::kFile : S_ISDIR(st.st_mode) ? EntryKind::kFolder : EntryKind::kOther;
}

// The entry `name` of the open folder, described by what it leads to;
// nothing when it is gone meanwhile.
std::optional<FolderEntry> Describe(DIR* dir, const char* name, const std::string& prefix) {
  struct stat own, target;
  if (::fstatat(::dirfd(dir), name, &own, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  FolderEntry entry{name};
  entry.path = prefix + name;
  entry.link = S_ISLNK(own.st_mode);
  const bool leads = !entry.link || ::fstatat(::dirfd(dir), name, &target, 0) == 0;
  const struct stat& st = entry.link ? target : own;
  entry.kind = !leads ? EntryKind::kNowhere : KindOf(st);
  if (leads) {
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.modified = static_cast<std::int64_t>(st.st_mtime);
  }
  return entry;
}

class PosixFolders final : public Folders {
 public:
  FolderListing List(const std::string& folder) override {
    FolderListing listing;
    if (folder.find('\0') != std::string::npos) {
      listing.error = SystemError{EINVAL, std::strerror(EINVAL)};
      return listing;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      listing.error = LastSystemError();
      return listing;
    }
    listing.opened = true;
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    for (;;) {
      errno = 0;
      const dirent* d = ::readdir(dir);
      if (d == nullptr) {
        if (errno != 0) listing.error = LastSystemError();
        break;
      }
      if (std::strcmp(d->d_name, "..") == 0) listing.parent = true;
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      if (std::optional<FolderEntry> entry = Describe(dir, d->d_name, prefix)) listing.entries.push_back(*entry);
    }
    ::closedir(dir);
    return listing;
  }

  bool IsFile(const std::string& path) override {
    struct stat info {};
    return path.find('\0') == std::string::npos && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }
};

}  // namespace

Folders& NativeFolders() {
  static PosixFolders folders;
  return folders;
}

}  // namespace rewindor
