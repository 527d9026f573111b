// Byte-pattern search over a demo image. Demos are full of zero bytes, so a
// search jumps (memchr) to the pattern's first non-zero byte and compares the
// whole pattern there; the result is the same as testing every position.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>

#include "demo/bytes.h"

namespace rewindor {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first start position p >= from at which `pattern` lies wholly in `data`.
// The pattern must hold a non-zero byte.
inline std::size_t FindPattern(ByteView data, ByteView pattern, std::size_t from = 0) {
  const std::size_t n = pattern.size();
  if (n == 0 || data.size() < n || from > data.size() - n) return kNotFound;
  std::size_t k = 0;  // the key: the pattern's first non-zero byte
  while (k + 1 < n && pattern[k] == 0) ++k;
  const std::uint8_t* begin = data.data();
  const std::uint8_t* p = begin + from + k;
  const std::uint8_t* const last = begin + (data.size() - n) + k;
  while (p <= last) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, pattern[k], static_cast<std::size_t>(last - p) + 1));
    if (p == nullptr) break;
    if (std::memcmp(p - k, pattern.data(), n) == 0) return static_cast<std::size_t>(p - k - begin);
    ++p;
  }
  return kNotFound;
}

// The last start position at which `pattern` lies wholly in `data`.
inline std::optional<std::size_t> FindLastPattern(ByteView data, ByteView pattern) {
  std::optional<std::size_t> last;
  for (std::size_t p = FindPattern(data, pattern); p != kNotFound; p = FindPattern(data, pattern, p + 1)) last = p;
  return last;
}

}  // namespace rewindor
