// Where the library dialog was and how wide its columns were, kept per user
// in a key of its own beside the settings key. The settings' three values are
// never touched. A value that is missing, of another type or size, or out of
// reason is ignored and its default used; nothing here is ever reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "demo/registry.h"

namespace rewindor {

// Under HKEY_CURRENT_USER, beside kSettingsKey.
inline constexpr char kLibraryLayoutKey[] = "Software\\Kobaltix\\Rewindor\\Library";
// REG_BINARY: the window's rectangle as four 32-bit little-endian numbers
// (left, top, right, bottom, in screen pixels), and the columns' widths as one
// 32-bit number each.
inline constexpr char kLibraryWindowValue[] = "Window";
inline constexpr char kLibraryColumnsValue[] = "Columns";
inline constexpr std::uint32_t kRegistryBinaryType = 3;  // REG_BINARY

struct LayoutRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

struct LibraryLayout {
  std::optional<LayoutRect> window;        // none: the dialog's own size, centred
  std::vector<std::int32_t> columnWidths;  // empty: the dialog's own widths
};

// Reads the layout of a table of `columns` columns: a rectangle of no size or
// beyond a sane screen, and widths of another number of columns, narrower
// than a column can be seen (12 pixels) or wider than any screen, count as
// missing.
LibraryLayout LoadLibraryLayout(Registry& registry, std::size_t columns);
// Writes what the layout holds; false when the key or a value could not be written.
bool SaveLibraryLayout(Registry& registry, const LibraryLayout& layout);

// The window's rectangle moved, and shrunk where it is larger, so that it lies
// wholly inside `area` (the work area of the screen it is put on).
LayoutRect MoveInto(const LayoutRect& window, const LayoutRect& area);

}  // namespace rewindor
