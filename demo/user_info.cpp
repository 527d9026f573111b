#include "demo/user_info.h"

#include <algorithm>

namespace rewindor {

std::string_view InfoValue(std::string_view info, std::string_view key) {
  std::size_t pos = 0;
  while (pos < info.size() && info[pos] == '\\') {
    const std::size_t valueStart = info.find('\\', pos + 1);
    if (valueStart == std::string_view::npos) return {};
    const std::size_t valueEnd = std::min(info.find('\\', valueStart + 1), info.size());
    if (info.substr(pos + 1, valueStart - pos - 1) == key) return info.substr(valueStart + 1, valueEnd - valueStart - 1);
    pos = valueEnd;
  }
  return {};
}

std::string_view SteamIdOf(std::string_view info) {
  if (!InfoValue(info, "*bot").empty()) return {};
  const std::string_view id = InfoValue(info, "*sid");
  // At most 20 digits: a 64-bit number.
  if (id.empty() || id.size() > 20 || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  if (std::all_of(id.begin(), id.end(), [](char c) { return c == '0'; })) return {};
  return id;
}

}  // namespace rewindor
