// The words of a system failure, shared by everything that tells one: the
// caller's fixed text, then the system's own reason, whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "demo/files.h"

namespace rewindor {

// "<text>: <reason>". The system ends its texts with a line break, which has
// no place inside one line of text; it is dropped. Nothing else is cut.
inline std::string ComposeErrorReport(std::string_view text, const SystemError& why) {
  std::string_view reason = why.text;
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
    reason.remove_suffix(1);
  }
  std::string report;
  report.reserve(text.size() + 2 + reason.size());
  report.append(text).append(": ").append(reason);
  return report;
}

#ifdef _WIN32
// The system's reason for a Win32 error or registry status (demo/report_win.cpp):
// its message-table text in the default language, never empty.
SystemError SystemErrorFromCode(std::uint32_t code);
#endif

}  // namespace rewindor
