#include "settings/registry.h"

#include "demo/utf8.h"

namespace rewindor {

Bytes EncodeRegistryText(std::string_view utf8) { return EncodeUtf16LE(utf8); }

bool DecodeRegistryText(const RegistryValue& value, std::string& text, SystemError& why) {
  if (value.type != kRegistryTextType) {
    why = {0, text::kReasonValueNotText};
    return false;
  }
  if (value.data.empty()) {  // a value of no bytes at all: the empty text
    text.clear();
    return true;
  }
  std::optional<std::string> decoded = DecodeTerminatedUtf16LE(value.data);
  if (!decoded) {
    why = {0, text::kReasonValueUnterminated};
    return false;
  }
  text = std::move(*decoded);
  return true;
}

}  // namespace rewindor
