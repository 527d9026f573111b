// Which demos a PATH argument names: a file as given, or a folder's .dem files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rewindor::cli {

// Paths cross std::filesystem in UTF-8 both ways: on Windows its native form
// is UTF-16, on POSIX the bytes pass unchanged.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

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
