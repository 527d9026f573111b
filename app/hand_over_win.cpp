// The hand-over's ANSI code page on Win32.
#include <windows.h>

#include "app/hand_over.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

class Win32AnsiCodePage final : public AnsiCodePage {
 public:
  std::optional<std::string> FromUtf8(std::string_view utf8) override {
    std::wstring wide = Wide(utf8);
    if (wide.empty()) return std::string();
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), ansi.data(), n,
                        nullptr, &usedDefault);
    // Some code pages map a character without saying so: only a text that
    // comes back unchanged is sent in this form.
    if (usedDefault || Wide(ToUtf8(ansi)) != wide) return std::nullopt;
    return ansi;
  }

  std::string ToUtf8(std::string_view ansi) override { return Narrow(AnsiToWide(ansi)); }
};

}  // namespace

AnsiCodePage& NativeAnsiCodePage() {
  static Win32AnsiCodePage codePage;
  return codePage;
}

}  // namespace rewindor
