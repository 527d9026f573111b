// The end-to-end driver: the registry and files.
#include "tests/e2e/driver_internal.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

// --- Registry -------------------------------------------------------------------

std::optional<std::wstring> ReadRegString(HKEY root, const std::wstring& key, const std::wstring& name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    Fail("no registry key " + Quoted(key));
    return std::nullopt;
  }
  const wchar_t* value_name = name.empty() ? nullptr : name.c_str();
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExW(handle, value_name, nullptr, &type, nullptr, &size);
  std::optional<std::wstring> result;
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(handle, value_name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    if (status == ERROR_SUCCESS) {
      text.resize(size / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      result = std::move(text);
    }
  }
  RegCloseKey(handle);
  if (!result) Fail("no string value " + Quoted(name) + " under " + Quoted(key));
  return result;
}

bool RegKeyExists(HKEY root, const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

bool DeleteRegTree(HKEY root, const std::wstring& key) {
  LONG status = RegDeleteTreeW(root, key.c_str());
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
  return Fail("could not delete registry key " + Quoted(key) + " (error " + std::to_string(status) + ")");
}

bool WriteRegString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                    REGSAM view) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return Fail("could not create registry key " + Quoted(key));
  }
  LONG status = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return Fail("could not write registry value " + Quoted(name));
  return true;
}

// --- Files ----------------------------------------------------------------------

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("could not open " + Quoted(path) + " (error " + std::to_string(GetLastError()) + ")");
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != FALSE) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  if (!ok) {
    Fail("could not read " + Quoted(path));
    return std::nullopt;
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  if (!MakeFolders(ParentFolder(path))) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("could not create " + Quoted(path));
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
  CloseHandle(file);
  return ok ? true : Fail("could not write " + Quoted(path));
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeFolders(const std::wstring& folder) {
  if (folder.empty()) return true;
  for (std::size_t cut = folder.find_first_of(L"\\/", 3);; cut = folder.find_first_of(L"\\/", cut + 1)) {
    std::wstring prefix = folder.substr(0, cut);
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return Fail("could not create the folder " + Quoted(prefix));
    }
    if (cut == std::wstring::npos) return true;
  }
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  if (!MakeFolders(ParentFolder(to))) return false;
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    return Fail("could not copy " + Quoted(from) + " to " + Quoted(to) + " (error " + std::to_string(GetLastError()) +
                ")");
  }
  SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  bool ok = true;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = DeleteTree(path) && ok;
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = DeleteFileW(path.c_str()) && ok;
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  if (!RemoveDirectoryW(folder.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
      GetLastError() != ERROR_PATH_NOT_FOUND) {
    ok = false;
  }
  return ok ? true : Fail("could not delete all of " + Quoted(folder));
}

bool WaitFile(const std::wstring& path, bool exists, Millis timeout) {
  if (Poll(timeout, [&] { return FileExists(path) == exists; })) return true;
  return Fail(Quoted(path) + (exists ? " did not appear" : " was not removed") + " within " + MillisText(timeout));
}

}  // namespace rewindor::e2e
