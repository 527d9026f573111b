#include "demo/utf8.h"

#include <algorithm>
#include <cstdint>

namespace rewindor {

std::int32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  std::uint8_t b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t len;
  std::int32_t cp, min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (s.size() - i < len) {
    ++i;
    return -1;
  }
  for (std::size_t k = 1; k < len; ++k) {
    std::uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (DecodeUtf8(s, i) < 0) return false;
  }
  return true;
}

std::size_t Utf8CutLength(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s.size();
  for (std::size_t i = 0; i < maxBytes;) {
    const std::size_t start = i;
    if (DecodeUtf8(s, i) < 0) return maxBytes;  // not UTF-8: bytes as they are
    if (i > maxBytes) return start;
  }
  return maxBytes;
}

std::string DemoTextToUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) AppendUtf8(out, static_cast<std::uint8_t>(c));
  return out;
}

std::string OneLineText(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::int32_t cp = DecodeUtf8(s, i);
    if (cp < 0) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string CutToUtf16Length(std::string_view utf8, std::size_t maxChars) {
  const std::u16string units = Utf8ToUtf16(utf8);
  if (units.size() <= maxChars) return std::string(utf8);
  return Utf16ToUtf8(std::u16string_view(units).substr(0, maxChars));
}

Bytes EncodeUtf16LE(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  Bytes bytes((units.size() + 1) * 2, 0);
  for (std::size_t i = 0; i < units.size(); ++i) StoreU16LE(bytes.data() + 2 * i, units[i]);
  return bytes;
}

std::optional<std::string> DecodeTerminatedUtf16LE(ByteView data, std::size_t maxUnits) {
  const std::size_t units = std::min(data.size() / 2, maxUnits);
  ByteReader r(data);
  std::u16string text;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = r.U16();
    if (unit == 0) return Utf16ToUtf8(text);
    text += unit;
  }
  return std::nullopt;
}

}  // namespace rewindor
