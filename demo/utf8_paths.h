// Paths cross std::filesystem in UTF-8 both ways: on Windows its native form
// is UTF-16, on POSIX the bytes pass unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rewindor {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace rewindor
