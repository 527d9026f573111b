#include "app/hand_over.h"

#include <algorithm>

#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor {

HandOver ComposeHandOver(std::string_view path, AnsiCodePage& ansi) {
  HandOver message;
  if (std::optional<std::string> classic = ansi.FromUtf8(path);
      classic && classic->size() <= kMaxPathChars && classic->find('\0') == std::string::npos) {
    message.data.assign(classic->begin(), classic->end());
    message.data.push_back(0);
    return message;
  }
  message.tag = kWideHandOverTag;
  message.data = EncodeUtf16LE(path);
  return message;
}

std::optional<std::string> ReadHandOver(std::uintptr_t tag, ByteView data, AnsiCodePage& ansi) {
  if (tag != kWideHandOverTag) {
    std::size_t length = std::min(data.size(), kMaxPathChars + 1);
    const std::uint8_t* end = std::find(data.data(), data.data() + length, std::uint8_t{0});
    if (end == data.data() + length) return std::nullopt;
    return ansi.ToUtf8(std::string_view(reinterpret_cast<const char*>(data.data()), end - data.data()));
  }
  return DecodeTerminatedUtf16LE(data, kMaxPathChars + 1);
}

}  // namespace rewindor
