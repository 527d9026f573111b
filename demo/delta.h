// Delta descriptions: the tables by which the engine packs entities, client
// data, weapon data and events field by field. A demo carries its server's
// tables in svc_deltadescription messages, each field described by a delta
// against the built-in description of descriptions. Reading a delta takes
// only each field's type and width: the values are skipped.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "demo/bit_reader.h"

namespace rewindor {

// Field types as the descriptions number them; kDeltaSigned is or-ed in.
enum DeltaFieldType : std::uint32_t {
  kDeltaByte = 1u << 0,
  kDeltaShort = 1u << 1,
  kDeltaFloat = 1u << 2,
  kDeltaInteger = 1u << 3,
  kDeltaAngle = 1u << 4,
  kDeltaTimeWindow8 = 1u << 5,
  kDeltaTimeWindowBig = 1u << 6,
  kDeltaString = 1u << 7,
  kDeltaSigned = 1u << 31,
};

// A delta's field mask is 3 bits of byte count and up to 7 bytes, and the
// engine keeps at most 64 fields in a description.
inline constexpr std::size_t kMaxDeltaFields = 64;

// The tables the server's messages are read with, by their names.
enum class DeltaTable : std::uint8_t { kEvent, kEntity, kPlayer, kCustomEntity, kClientData, kWeaponData, kCount };
std::string_view DeltaTableName(DeltaTable table);

struct DeltaDescription {
  // Each field's width in bits when sent; kStringField for a string,
  // kBadField for a type or width the engine cannot read.
  static constexpr std::uint8_t kStringField = 0xFE;
  static constexpr std::uint8_t kBadField = 0xFF;
  std::uint16_t count = 0;
  bool received = false;
  std::array<std::uint8_t, kMaxDeltaFields> widths{};
};

// The width a field of `type` and `bits` takes when sent.
std::uint8_t DeltaFieldWidth(std::uint32_t type, std::uint32_t bits);

// The field mask: a byte count in 3 bits, then that many bytes, field 0 in
// the lowest bit of the first.
inline std::uint64_t ReadDeltaFieldMask(BitReader& bits) {
  const unsigned bytes = bits.Read(3);
  if (bytes <= 4) return bits.Read(8 * bytes);
  const std::uint64_t low = bits.Read(32);
  return low | (std::uint64_t{bits.Read(8 * (bytes - 4))} << 32);
}

// Skips one delta written against `description`: the field mask, then each
// field it marks. False when it could not be read: the bits ran out (`bits`
// then fails) or it marks a field that is not readable (`badField`). Inline:
// it is the decoder's inner loop.
inline bool SkipDelta(BitReader& bits, const DeltaDescription& description, unsigned& badField) {
  std::uint64_t mask = ReadDeltaFieldMask(bits);
  // Marks past the description's fields are not read, as the engine reads them.
  if (description.count < kMaxDeltaFields) mask &= (std::uint64_t{1} << description.count) - 1;
  while (mask != 0) {
    const unsigned field = static_cast<unsigned>(std::countr_zero(mask));
    mask &= mask - 1;
    const std::uint8_t width = description.widths[field];
    if (width == DeltaDescription::kStringField) {
      bits.SkipString();
    } else if (width == DeltaDescription::kBadField) {
      badField = field;
      return false;
    } else {
      bits.Skip(width);
    }
  }
  return bits.ok();
}

// One field of a description as svc_deltadescription sends it: a delta
// against an empty field, read with the description of descriptions.
struct DescribedField {
  std::uint32_t type = 0;
  std::uint32_t bits = 0;
};
DescribedField ReadDescribedField(BitReader& bits);

// The tables a demo has sent so far.
class DeltaTables {
 public:
  const DeltaDescription& Get(DeltaTable table) const { return tables_[static_cast<std::size_t>(table)]; }
  // The table of that name, or null when the messages never use it.
  DeltaDescription* Find(std::string_view name);

 private:
  std::array<DeltaDescription, static_cast<std::size_t>(DeltaTable::kCount)> tables_{};
};

}  // namespace rewindor
