#include "demo/registry.h"

#include <algorithm>

#include "demo/utf8.h"

namespace rewindor {

Bytes EncodeRegistryText(std::string_view utf8) { return EncodeUtf16LE(utf8); }

bool DecodeRegistryText(const RegistryValue& value, std::string& text, SystemError& why) {
  if (value.type != kRegistryTextType) {
    why = {0, text::kReasonValueNotText};
    return false;
  }
  ByteReader units(value.data);
  std::u16string wide;
  while (units.remaining() >= 2) {  // an odd last byte is no unit
    const char16_t unit = units.U16();
    if (unit == 0) break;
    wide += unit;
  }
  text = Utf16ToUtf8(wide);
  return true;
}

bool IsWholeRegistryText(const RegistryValue& value, std::string_view text) {
  Bytes encoded = EncodeRegistryText(text);
  encoded.resize(encoded.size() - 2);  // without its terminator
  const ByteView data = value.data;
  if (data.size() < encoded.size() || !std::equal(encoded.begin(), encoded.end(), data.begin())) return false;
  return std::all_of(data.begin() + static_cast<std::ptrdiff_t>(encoded.size()), data.end(),
                     [](std::uint8_t b) { return b == 0; });
}

std::optional<std::string> ReadRegistryText(Registry& registry, RegistryHive hive, std::string_view key,
                                            std::string_view name, std::size_t maxChars) {
  if (registry.OpenKeyForQuery(hive, key) != 0) return std::nullopt;
  RegistryValue value;
  const std::uint32_t status = registry.QueryValue(name, RegistryTextCapacity(maxChars), value);
  registry.CloseKey();
  std::string text;
  SystemError why;
  // An odd size is no text; a value that fills the buffer without a zero unit is one character too long.
  if (status != 0 || value.data.size() % 2 != 0 || !DecodeRegistryText(value, text, why) ||
      Utf16Length(text) > maxChars) {
    return std::nullopt;
  }
  return text;
}

}  // namespace rewindor
