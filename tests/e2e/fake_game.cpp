// A stand-in for hl.exe / cstrike.exe. It records how it was started and what
// it found in its mod folder into "fake_game.txt" next to itself, then ends
// with exit code 0:
//
//   command=<the whole command line, UTF-8>
//   mod=<the word after -game>
//   copy=yes|no            <its folder>\<mod>\rewindor.dem at start
//   copy_size=<bytes>
//   copy_fnv=<FNV-1a 64 of the copy, hex>
//
// Every start also adds its command line as one line to "fake_game.starts"
// next to it, so a test can count the starts.
//
// When "fake_game.hold" exists next to it, it stays running (after writing the
// record) until "fake_game.go" appears there, or for at most two minutes, so a
// test can look at the launcher while the game runs.
#include <windows.h>

#include <cstdint>
#include <string>

namespace {

std::wstring Folder() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring own(path, n);
  auto cut = own.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring(L".") : own.substr(0, cut);
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// The word after "-game", split at blanks as the game itself would.
std::wstring ModOf(const std::wstring& command) {
  std::wstring previous;
  std::size_t pos = 0;
  while (pos < command.size()) {
    while (pos < command.size() && command[pos] == L' ') ++pos;
    std::size_t end = command.find(L' ', pos);
    if (end == std::wstring::npos) end = command.size();
    std::wstring word = command.substr(pos, end - pos);
    if (previous == L"-game") return word;
    previous = word;
    pos = end;
  }
  return {};
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main() {
  const std::wstring folder = Folder();
  const std::wstring command = GetCommandLineW();
  const std::wstring mod = ModOf(command);
  std::string record = "command=" + ToUtf8(command) + "\nmod=" + ToUtf8(mod) + "\n";

  const std::wstring copy = folder + L"\\" + mod + L"\\rewindor.dem";
  HANDLE file = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    std::uint64_t size = 0, hash = 14695981039346656037ull;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      for (DWORD i = 0; i < got; ++i) hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
      size += got;
    }
    CloseHandle(file);
    char hex[17];
    wsprintfA(hex, "%08lx%08lx", static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash));
    record += "copy=yes\ncopy_size=" + std::to_string(size) + "\ncopy_fnv=" + hex + "\n";
  } else {
    record += "copy=no\n";
  }

  // Written aside and moved into place, so a reader never sees half a record.
  const std::wstring log = folder + L"\\fake_game.txt";
  const std::wstring part = log + L".part";
  HANDLE out = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(out);
    MoveFileExW(part.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING);
  }

  const std::wstring starts = folder + L"\\fake_game.starts";
  HANDLE tally = CreateFileW(starts.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (tally != INVALID_HANDLE_VALUE) {
    const std::string line = ToUtf8(command) + "\n";
    DWORD written = 0;
    WriteFile(tally, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(tally);
  }

  if (Exists(folder + L"\\fake_game.hold")) {
    const std::wstring go = folder + L"\\fake_game.go";
    for (int waited = 0; waited < 120000 && !Exists(go); waited += 50) Sleep(50);
  }
  return 0;
}
