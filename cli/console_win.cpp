#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "cli/console.h"
#include "demo/utf8.h"

namespace rewindor::cli {

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    args.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
  }
  LocalFree(wide);
  return args;
}

namespace {

void WriteBytes(HANDLE handle, std::string_view text) {
  while (!text.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

void WriteConsoleChars(HANDLE handle, std::u16string_view text) {
  // Older consoles refuse very long writes; a chunk never splits a surrogate pair.
  constexpr std::size_t kChunk = 8192;
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kChunk);
    if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(n), &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

}  // namespace

void WriteText(Stream stream, std::string_view text) {
  HANDLE handle = GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleChars(handle, Utf8ToUtf16(text));
  } else {
    WriteBytes(handle, text);
  }
}

void FlushText() {}  // nothing is buffered

}  // namespace rewindor::cli
