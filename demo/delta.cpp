#include "demo/delta.h"

namespace rewindor {

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(DeltaTable::kCount)> kTableNames = {
    "event_t", "entity_state_t", "entity_state_player_t", "custom_entity_state_t", "clientdata_t", "weapon_data_t",
};

// The description of descriptions: a field's type (32-bit integer), name
// (string), offset (16), size (8), significant bits (8), and pre- and
// post-multipliers (32-bit floats), in this order.
enum MetaField : unsigned { kMetaType, kMetaName, kMetaOffset, kMetaSize, kMetaBits, kMetaPre, kMetaPost, kMetaCount };
constexpr std::array<std::uint8_t, kMetaCount> kMetaWidths = {32, DeltaDescription::kStringField, 16, 8, 8, 32, 32};

}  // namespace

std::string_view DeltaTableName(DeltaTable table) { return kTableNames[static_cast<std::size_t>(table)]; }

std::uint8_t DeltaFieldWidth(std::uint32_t type, std::uint32_t bits) {
  const bool readsWidth = bits >= 1 && bits <= 32;
  switch (type & ~static_cast<std::uint32_t>(kDeltaSigned)) {
    case kDeltaString: return DeltaDescription::kStringField;
    case kDeltaTimeWindow8: return 8;
    case kDeltaByte:
    case kDeltaShort:
    case kDeltaFloat:
    case kDeltaInteger:
    case kDeltaAngle:
    case kDeltaTimeWindowBig: return readsWidth ? static_cast<std::uint8_t>(bits) : DeltaDescription::kBadField;
    default: return DeltaDescription::kBadField;
  }
}

DescribedField ReadDescribedField(BitReader& bits) {
  const std::uint64_t mask = ReadDeltaFieldMask(bits);
  DescribedField field;
  for (unsigned i = 0; i < kMetaCount; ++i) {
    if (!(mask & (std::uint64_t{1} << i))) continue;
    if (i == kMetaName) {
      bits.SkipString();
    } else if (i == kMetaType) {
      field.type = bits.Read(kMetaWidths[i]);
    } else if (i == kMetaBits) {
      field.bits = bits.Read(kMetaWidths[i]);
    } else {
      bits.Skip(kMetaWidths[i]);
    }
  }
  return field;
}

DeltaDescription* DeltaTables::Find(std::string_view name) {
  for (std::size_t i = 0; i < kTableNames.size(); ++i) {
    if (kTableNames[i] == name) return &tables_[i];
  }
  return nullptr;
}

}  // namespace rewindor
