// The per-user registry as the settings store and the file association use
// it: one key open at a time, values read and written as raw typed bytes. The
// texts are encoded and checked here, in portable code; the platform only
// moves bytes (settings/registry_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "demo/bytes.h"
#include "demo/files.h"

namespace rewindor {

// The registry's own numbers that the portable code needs.
inline constexpr std::uint32_t kRegistryTextType = 1;    // REG_SZ
inline constexpr std::uint32_t kStatusMoreData = 234;    // ERROR_MORE_DATA: the value does not fit

struct RegistryValue {
  std::uint32_t type = 0;
  Bytes data;  // as many bytes as the value holds
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Each operation returns 0 on success, otherwise the system's status.

  // Creates (with missing parents) or opens HKEY_CURRENT_USER\<subKey> with
  // full access; it becomes the open key.
  virtual std::uint32_t CreateKey(std::string_view subKey) = 0;
  // Opens an existing HKEY_CURRENT_USER\<subKey> for reading values only.
  virtual std::uint32_t OpenKeyForQuery(std::string_view subKey) = 0;
  // Reads a value of the open key into a buffer of `capacity` bytes: a larger
  // value fails with kStatusMoreData and fills nothing.
  virtual std::uint32_t QueryValue(std::string_view name, std::size_t capacity, RegistryValue& value) = 0;
  // Writes a value of the open key; the empty name is the key's default value.
  virtual std::uint32_t SetValue(std::string_view name, std::uint32_t type, ByteView data) = 0;
  virtual void CloseKey() = 0;
  // The system's reason for a status.
  virtual SystemError Describe(std::uint32_t status) = 0;
};

// A text as a REG_SZ value: UTF-16LE with its terminator, (length + 1) * 2 bytes.
Bytes EncodeRegistryText(std::string_view utf8);

// The buffer that holds a text of at most `maxChars` characters with its terminator.
constexpr std::size_t RegistryTextCapacity(std::size_t maxChars) { return (maxChars + 1) * 2; }

// A value read back as a text: a REG_SZ whose terminator lies within the data
// (an empty value of no bytes at all reads as the empty text). Otherwise
// false, with our own reason in `why`; `text` is then untouched.
bool DecodeRegistryText(const RegistryValue& value, std::string& text, SystemError& why);

// The reasons for a value that cannot be used as a text.
namespace text {
inline constexpr char kReasonValueTooLong[] = "Сохранённый текст длиннее 259 знаков.";
inline constexpr char kReasonValueNotText[] = "Сохранённое значение не текст (REG_SZ).";
inline constexpr char kReasonValueUnterminated[] = "У сохранённого текста нет завершающего нуля.";
}  // namespace text

// The Win32 registry (settings/registry_win.cpp); a key still open is closed
// when the object goes.
#ifdef _WIN32
std::unique_ptr<Registry> MakeNativeRegistry();
#endif

}  // namespace rewindor
