// Text conversions between the demo's bytes, UTF-8 and UTF-16 (the Windows
// wide API). Portable, so they are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "demo/bytes.h"

namespace rewindor {

bool IsValidUtf8(std::string_view s);

// The code point at s[i], moving i past it; -1 for a byte that does not start
// a valid sequence (i then moves past that byte alone).
std::int32_t DecodeUtf8(std::string_view s, std::size_t& i);
// Appends a code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);

// How much of `s` to keep within `maxBytes` bytes: all of it when it fits;
// else, when s is UTF-8 that far, up to the last whole letter; else (another
// code page) exactly maxBytes.
std::size_t Utf8CutLength(std::string_view s, std::size_t maxBytes);

// A text from a demo (bytes of unknown code page) as UTF-8: unchanged when it
// is valid UTF-8; otherwise each byte 0x80-0xFF becomes U+0080-U+00FF, so the
// bytes can be recovered.
std::string DemoTextToUtf8(std::string_view bytes);

// A text from a demo on one line: a line break or other control byte in it
// (a hostile name) becomes a blank and cannot start a line of its own.
std::string OneLineText(std::string text);

// UTF-8 to UTF-16 and back. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// A text as UTF-16LE bytes with a terminating zero unit: (length + 1) * 2
// bytes, as the registry keeps a text and the hand-over sends a wide path.
Bytes EncodeUtf16LE(std::string_view utf8);
// The reverse, for bytes from outside: the UTF-16LE text before the first zero
// unit among the first `maxUnits` units of `data` (an odd last byte is no
// unit), as UTF-8; nothing when no zero unit lies there.
std::optional<std::string> DecodeTerminatedUtf16LE(ByteView data, std::size_t maxUnits = SIZE_MAX);

// A text's length as Windows counts it (UTF-16 code units): the unit of its
// 259-character path and field limits.
inline std::size_t Utf16Length(std::string_view utf8) { return Utf8ToUtf16(utf8).size(); }
// The first `maxChars` of those units, as a window's field gives its text when
// asked for no more (a pair cut in two leaves U+FFFD).
std::string CutToUtf16Length(std::string_view utf8, std::size_t maxChars);

#if defined(_WIN32)
// The wide API's texts: wchar_t holds UTF-16 on Windows.
inline std::wstring Wide(std::string_view utf8) {
  std::u16string s = Utf8ToUtf16(utf8);
  return std::wstring(s.begin(), s.end());
}
inline std::string Narrow(std::wstring_view wide) { return Utf16ToUtf8(std::u16string(wide.begin(), wide.end())); }
// Bytes in the system's ANSI code page (CP_ACP) as UTF-16 (demo/utf8_win.cpp).
std::wstring AnsiToWide(std::string_view ansi);
#endif

}  // namespace rewindor
