// Which demos a PATH argument names: a file as given, or a folder's .dem files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "demo/info.h"
#include "demo/utf8_paths.h"

namespace rewindor::cli {

// The walk's callers convert paths with PathFromUtf8 and PathToUtf8
// (demo/utf8_paths.h); a demo's name is told by HasDemoExtension (demo/info.h).

struct PathExpansion {
  // The demos to work on: the PATH itself when it is not a folder (a missing
  // file is left for the reader to report), else the folder's demo files
  // sorted by path.
  std::vector<std::string> demos;
  // Set when the PATH is a folder that holds no demo, or that could not be
  // listed wholly (then `demos` holds what was found).
  std::string problem;
};
PathExpansion ExpandPath(const std::string& path, bool recursive);

}  // namespace rewindor::cli
