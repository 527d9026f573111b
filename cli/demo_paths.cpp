#include "cli/demo_paths.h"

#include <algorithm>
#include <system_error>

#include "demo/info.h"

namespace rewindor::cli {

namespace fs = std::filesystem;

namespace {

// Adds the demo files that the iterator yields; a listing failure ends the
// walk and is left in `ec`.
template <typename Iterator>
void Walk(Iterator it, std::vector<fs::path>& demos, std::error_code& ec) {
  for (; !ec && it != Iterator(); it.increment(ec)) {
    std::error_code entryError;
    // is_regular_file follows links, so a link to a demo counts as a demo.
    if (!it->is_regular_file(entryError)) continue;
    if (HasDemoExtension(PathToUtf8(it->path().filename()))) demos.push_back(it->path());
  }
}

}  // namespace

PathExpansion ExpandPath(const std::string& path, bool recursive) {
  PathExpansion out;
  try {
    fs::path folder = PathFromUtf8(path);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
      out.demos.push_back(path);
      return out;
    }
    // The folder itself must be readable; below it, folders we may not enter
    // are passed over, so one private folder does not end a recursive walk.
    fs::directory_iterator top(folder, ec);
    std::vector<fs::path> demos;
    if (recursive && !ec) {
      Walk(fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec), demos,
           ec);
    } else {
      Walk(std::move(top), demos, ec);
    }
    // Paths compare folder by folder, so a folder's demos stay together
    // whatever the separator's place among the characters.
    std::sort(demos.begin(), demos.end());
    for (const fs::path& demo : demos) out.demos.push_back(PathToUtf8(demo));
    if (ec) {
      out.problem = "Could not list the folder: " + ec.message();
    } else if (out.demos.empty()) {
      out.problem = recursive ? "No demo (.dem) in this folder or its subfolders." : "No demo (.dem) in this folder.";
    }
  } catch (const std::exception& e) {
    // Only a path that cannot be converted gets here (Windows, an unpaired surrogate).
    out.problem = std::string("Could not list the folder: ") + e.what();
  }
  return out;
}

}  // namespace rewindor::cli
