#include "ui/win_text.h"

#include <vector>

#include "demo/utf8.h"

namespace rewindor::ui {

std::wstring DemoTextToWide(std::string_view bytes) { return IsValidUtf8(bytes) ? Wide(bytes) : AnsiToWide(bytes); }

std::string ListEntryKey(HWND list, std::string_view text) {
  // The list compares like CompareString with NORM_IGNORECASE in its own
  // locale; the sort key of the same comparison is equal exactly then.
  const std::wstring wide = DemoTextToWide(text);
  const LCID locale = static_cast<LCID>(SendMessageW(list, LB_GETLOCALE, 0, 0));
  const int length = static_cast<int>(wide.size());
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int n = LCMapStringW(locale, kFlags, wide.c_str(), length, nullptr, 0);
  std::string key(static_cast<std::size_t>(n), '\0');
  if (n > 0 && LCMapStringW(locale, kFlags, wide.c_str(), length, reinterpret_cast<LPWSTR>(key.data()), n) == n) {
    return key;
  }
  std::wstring upper = wide;  // without a sort key: the letters in upper case
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return Narrow(upper);
}

std::string DemoTextAsShown(std::string_view bytes) { return Narrow(DemoTextToWide(bytes)); }

std::string ControlText(HWND dialog, int id, std::size_t maxChars) {
  std::vector<wchar_t> buffer(maxChars + 1, L'\0');
  GetDlgItemTextW(dialog, id, buffer.data(), static_cast<int>(buffer.size()));
  return Narrow(buffer.data());
}

void SetControlText(HWND dialog, int id, std::string_view utf8) { SetDlgItemTextW(dialog, id, Wide(utf8).c_str()); }

}  // namespace rewindor::ui
