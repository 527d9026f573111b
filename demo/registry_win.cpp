// The registry on Win32, through the wide API: texts are stored as UTF-16, so
// Cyrillic survives whatever the ANSI code page.
#include <windows.h>

#include "demo/report.h"
#include "demo/utf8.h"
#include "demo/registry.h"

namespace rewindor {

namespace {

class Win32Registry final : public Registry {
 public:
  ~Win32Registry() override { CloseKey(); }

  std::uint32_t CreateKey(std::string_view subKey) override {
    CloseKey();
    return RegCreateKeyExW(HKEY_CURRENT_USER, Wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key_, nullptr);
  }

  std::uint32_t OpenKeyForQuery(RegistryHive hive, std::string_view subKey) override {
    CloseKey();
    // The 64-bit view takes every key as named: WOW6432Node where it says so,
    // and on 64-bit Windows no redirection of a 32-bit program into it.
    return RegOpenKeyExW(hive == RegistryHive::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                         Wide(subKey).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key_);
  }

  std::uint32_t QueryValue(std::string_view name, std::size_t capacity, RegistryValue& value) override {
    if (key_ == nullptr) return ERROR_INVALID_HANDLE;
    // Never a null buffer: with one the call would only measure the value.
    Bytes data(capacity > 0 ? capacity : 1);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(capacity);
    LSTATUS status = RegQueryValueExW(key_, Wide(name).c_str(), nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) return static_cast<std::uint32_t>(status);
    data.resize(size);
    value.type = type;
    value.data = std::move(data);
    return 0;
  }

  std::uint32_t SetValue(std::string_view name, std::uint32_t type, ByteView data) override {
    if (key_ == nullptr) return ERROR_INVALID_HANDLE;
    // The default value is the one without a name: a null name, not an empty one.
    std::wstring wideName = Wide(name);
    return RegSetValueExW(key_, name.empty() ? nullptr : wideName.c_str(), 0, type, data.data(),
                          static_cast<DWORD>(data.size()));
  }

  void CloseKey() override {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }

  SystemError Describe(std::uint32_t status) override { return SystemErrorFromCode(status); }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<Registry> MakeNativeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace rewindor
