#include "library/rows.h"

#include <cmath>
#include <cstdio>
#include <iterator>

#include "library/texts.h"

namespace rewindor {

std::tm SystemLocalTime(std::int64_t utcSeconds) {
  const std::time_t t = static_cast<std::time_t>(utcSeconds);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return local;
}

std::string LibraryDateText(std::int64_t utcSeconds, const LocalTimeOf& localTime) {
  const std::tm t = localTime(utcSeconds);
  if (t.tm_mday == 0) return {};  // a time the system cannot turn into a date
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min);
  return text;
}

std::string LibrarySizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + text::kSizeBytes;
  constexpr const char* kUnits[] = {text::kSizeKilobytes, text::kSizeMegabytes, text::kSizeGigabytes};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  // Tenths, rounded: a value that rounds to 1024.0 goes to the next unit.
  while (unit + 1 < std::size(kUnits) && std::round(value * 10) >= 1024 * 10) {
    value /= 1024;
    ++unit;
  }
  const auto tenths = static_cast<std::uint64_t>(std::round(value * 10));
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + kUnits[unit];
}

}  // namespace rewindor
