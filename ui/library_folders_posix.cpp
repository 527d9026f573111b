// The library's folder listing on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "ui/library_reader.h"

namespace rewindor {

namespace {

class PosixLibraryFolders final : public LibraryFolders {
 public:
  bool List(const std::string& folder, std::vector<LibraryFolderEntry>& entries, SystemError& why) override {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return Failed(why);
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    bool ok = true;
    for (;;) {
      errno = 0;
      const dirent* d = ::readdir(dir);
      if (d == nullptr) {
        ok = errno == 0 || Failed(why);
        break;
      }
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      struct stat own, target;
      if (::fstatat(::dirfd(dir), d->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
      LibraryFolderEntry entry;
      entry.name = d->d_name;
      entry.path = prefix + d->d_name;
      entry.link = S_ISLNK(own.st_mode);
      // A link is described by what it leads to; a broken one is left out.
      if (entry.link && ::fstatat(::dirfd(dir), d->d_name, &target, 0) != 0) continue;
      const struct stat& st = entry.link ? target : own;
      entry.directory = S_ISDIR(st.st_mode);
      entry.size = static_cast<std::uint64_t>(st.st_size);
      entry.modified = static_cast<std::int64_t>(st.st_mtime);
      entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return ok;
  }

 private:
  static bool Failed(SystemError& why) {
    why = {static_cast<std::uint32_t>(errno), std::strerror(errno)};
    return false;
  }
};

}  // namespace

LibraryFolders& NativeLibraryFolders() {
  static PosixLibraryFolders folders;
  return folders;
}

}  // namespace rewindor
