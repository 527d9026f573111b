// The end-to-end driver: failures, texts and the search for windows.
#include "tests/e2e/driver_internal.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

static thread_local std::string g_failure;  // the last step's failure, per thread

bool Fail(std::string message) {
  g_failure = std::move(message);
  return false;
}

// Built by appending: GCC 12 takes "..." + std::string for an overlapping copy.
std::string Quoted(std::wstring_view text) {
  std::string out(1, '"');
  return out.append(ToUtf8(text)).append(1, '"');
}

std::string MillisText(Millis m) { return std::to_string(m.count()) + " ms"; }



bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &answer)) {
    return Fail("a window did not answer message " + std::to_string(message) + " within " +
                std::to_string(kSendTimeoutMs) + " ms");
  }
  if (result != nullptr) *result = static_cast<LRESULT>(answer);
  return true;
}

std::wstring WindowTitle(HWND window) {
  // GetWindowTextW reads another process's title without sending it a
  // message, so a busy program cannot stall the search.
  wchar_t buffer[512];
  int n = GetWindowTextW(window, buffer, 512);
  return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256];
  int n = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}


BOOL CALLBACK CollectTop(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopSearch*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->pid != 0 && WindowProcess(window) != search->pid) return TRUE;
  if (search->with_control != 0 && GetDlgItem(window, search->with_control) == nullptr) return TRUE;
  // A window titled with the title and then " — " and more (what it shows) counts too.
  const std::wstring title = WindowTitle(window);
  if (title == search->title || title.starts_with(std::wstring(search->title) + L" \u2014 ")) {
    search->found.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectAllTop(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring ParentFolder(const std::wstring& path) {
  auto cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}


const std::string& LastFailure() { return g_failure; }

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring NormalizeNewlines(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::wstring FromHostPath(std::string_view path) {
  std::wstring out = FromUtf8(path);
  std::replace(out.begin(), out.end(), L'/', L'\\');
  if (!out.empty() && out[0] == L'\\') out = L"Z:" + out;
  return out;
}

}  // namespace rewindor::e2e
