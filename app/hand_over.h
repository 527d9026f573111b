// The hand-over between instances: a second start of the program hands its
// demo path to the running instance's main window in a WM_COPYDATA message.
// The data is composed and read here, portably; the system's ANSI code page
// is app/hand_over_win.cpp's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "demo/bytes.h"

namespace rewindor {

// The system's ANSI code page, for the hand-over's classic form.
class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // The text in the code page, or nothing when some character has no exact
  // equivalent there (no best-fit or default character stands in).
  virtual std::optional<std::string> FromUtf8(std::string_view utf8) = 0;
  virtual std::string ToUtf8(std::string_view ansi) = 0;
};

// The tag (dwData) that marks the wide form. The classic form is sent with 0;
// a receiver takes any other tag for the classic form, since the classic
// message leaves dwData to the sender.
inline constexpr std::uint32_t kWideHandOverTag = 0x57445752;  // "RWDW"

// The data of the WM_COPYDATA message that hands the demo path to the running
// instance. A path the ANSI code page holds exactly, in at most 259 bytes,
// goes in the classic form that every build understands: the path in that
// code page with its terminator (cbData = length + 1). Any other path goes in
// UTF-16LE with its terminator, tagged with kWideHandOverTag.
struct HandOver {
  std::uint32_t tag = 0;
  Bytes data;
};
HandOver ComposeHandOver(std::string_view path, AnsiCodePage& ansi);
// The path in received data: the text before the first terminator within the
// data and within 260 characters (bytes in the classic form); nothing when
// there is no such terminator.
std::optional<std::string> ReadHandOver(std::uintptr_t tag, ByteView data, AnsiCodePage& ansi);

#ifdef _WIN32
// The system's ANSI code page (CP_ACP).
AnsiCodePage& NativeAnsiCodePage();
#endif

}  // namespace rewindor
