#include <windows.h>

#include <cstdio>

#include "demo/report.h"
#include "demo/utf8.h"

namespace rewindor {

SystemError SystemErrorFromCode(std::uint32_t code) {
  SystemError why;
  why.code = code;
  wchar_t* buffer = nullptr;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length > 0 && buffer != nullptr) {
    std::u16string wide(reinterpret_cast<const char16_t*>(buffer), length);
    while (!wide.empty() && (wide.back() == u'\r' || wide.back() == u'\n')) wide.pop_back();
    why.text = Utf16ToUtf8(wide);
  }
  if (buffer != nullptr) LocalFree(buffer);
  if (why.text.empty()) {
    // Codes without a text of their own still tell the user something to look up.
    char number[64];  // the text is UTF-8: two bytes a Cyrillic letter
    std::snprintf(number, sizeof number, "Ошибка системы %lu.", static_cast<unsigned long>(code));
    why.text = number;
  }
  return why;
}

}  // namespace rewindor
