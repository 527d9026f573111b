#include "ui/folder_list_win.h"

#include <windows.h>

#include "demo/report.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

class Win32FolderSource final : public FolderSource {
 public:
  bool Enumerate(const std::string& folder, std::vector<FolderEntry>& entries, SystemError& why) override {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      why = SystemErrorFromCode(GetLastError());
      return false;
    }
    do {
      entries.push_back({Narrow(found.cFileName), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
  }

  bool IsFile(const std::string& path) override {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
};

}  // namespace

FolderSource& NativeFolderSource() {
  static Win32FolderSource source;
  return source;
}

}  // namespace rewindor::ui
