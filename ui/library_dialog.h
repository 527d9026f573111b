// The library dialog (template 142): every demo of a folder in one table,
// read on a thread of its own, narrowed by the filter, sorted by a column, and
// opened, repaired or shown in Explorer from it. It reaches the main window
// only through the request's callbacks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace rewindor::ui {

struct LibraryRequest {
  HINSTANCE instance = nullptr;
  std::string folder;  // the folder whose demos are listed, without a trailing backslash
  // Shows the demo in the main window, as a double-click in its folder list does.
  std::function<void(const std::string& path)> openDemo;
  // These demos were changed on disk: the main window reads its demo again
  // when it is one of them.
  std::function<void(const std::vector<std::string>& paths)> reloadIfShown;
};

// Opens the library with no owner and returns when it closes. One library at
// a time: when one is open already, it comes to the front instead (reading the
// request's folder when it showed another) and this returns at once.
void RunLibraryDialog(const LibraryRequest& request);

}  // namespace rewindor::ui
