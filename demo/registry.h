// The registry as every part of the program reads and writes it: the settings
// store, the library's layout and the file association in the per-user hive,
// and the game finder in both hives. One key is open at a time; values are
// read and written as raw typed bytes. The texts are encoded, checked and
// decoded here, in portable code; the platform only moves bytes
// (demo/registry_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "demo/bytes.h"
#include "demo/files.h"

namespace rewindor {

// The registry's own numbers that the portable code needs.
inline constexpr std::uint32_t kRegistryTextType = 1;  // REG_SZ
inline constexpr std::uint32_t kStatusNotFound = 2;    // ERROR_FILE_NOT_FOUND: no such value
inline constexpr std::uint32_t kStatusMoreData = 234;  // ERROR_MORE_DATA: the value does not fit

enum class RegistryHive { kCurrentUser, kLocalMachine };

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
  // Opens an existing key of the hive for reading values only, taken as named:
  // WOW6432Node where it says so, and a 32-bit program is not redirected into it.
  virtual std::uint32_t OpenKeyForQuery(RegistryHive hive, std::string_view subKey) = 0;
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

// A value read back as a text, as RegGetValue reads it: up to its first zero
// unit, or the whole of it when the terminator is missing (an odd last byte
// is no unit and is dropped); a value of no bytes at all is the empty text.
// A value of another type is false, with our own reason in `why`; `text` is
// then untouched.
bool DecodeRegistryText(const RegistryValue& value, std::string& text, SystemError& why);
// Whether `text`, read from `value`, holds all the value holds: nothing after
// its first zero unit but zeros, and no unit that the UTF-8 could not carry (a
// lone surrogate). Writing such a text back would lose the rest.
bool IsWholeRegistryText(const RegistryValue& value, std::string_view text);

// A text value as a path is read (the game finder's places): nothing when the
// key or the value is missing, of another type than REG_SZ, of an odd number
// of bytes or, up to its first zero unit, longer than `maxChars` characters;
// stored with its terminator or without. The key is closed again.
std::optional<std::string> ReadRegistryText(Registry& registry, RegistryHive hive, std::string_view key,
                                            std::string_view name, std::size_t maxChars);

// The reasons for a value that cannot be used as a text.
namespace text {
inline constexpr char kReasonValueTooLong[] = "Сохранённый текст длиннее 259 знаков.";
inline constexpr char kReasonValueNotText[] = "Сохранённое значение не текст (REG_SZ).";
}  // namespace text

// The Win32 registry (demo/registry_win.cpp); a key still open is closed
// when the object goes.
#ifdef _WIN32
std::unique_ptr<Registry> MakeNativeRegistry();
#endif

}  // namespace rewindor
