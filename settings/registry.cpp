#include "settings/registry.h"

#include "demo/utf8.h"

namespace rewindor {

Bytes EncodeRegistryText(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(utf8);
  Bytes bytes((units.size() + 1) * 2, 0);
  for (std::size_t i = 0; i < units.size(); ++i) StoreU16LE(bytes.data() + 2 * i, units[i]);
  return bytes;
}

bool DecodeRegistryText(const RegistryValue& value, std::string& text, SystemError& why) {
  if (value.type != kRegistryTextType) {
    why = {0, text::kReasonValueNotText};
    return false;
  }
  std::u16string units;
  bool terminated = value.data.empty();
  for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
    char16_t unit = LoadU16LE(value.data.data() + i);
    if (unit == 0) {
      terminated = true;
      break;
    }
    units += unit;
  }
  if (!terminated) {
    why = {0, text::kReasonValueUnterminated};
    return false;
  }
  text = Utf16ToUtf8(units);
  return true;
}

}  // namespace rewindor
