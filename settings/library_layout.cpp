#include "settings/library_layout.h"

#include <algorithm>
#include <utility>

namespace rewindor {

namespace {

// Beyond any screen, however many of them: a value past it is damage.
constexpr std::int32_t kMaxCoordinate = 1 << 16;
// Narrower than this a column is lost to the eye (a width of 0 hides it and
// leaves nothing to drag it back by).
constexpr std::int32_t kMinColumnWidth = 12;

std::optional<std::vector<std::int32_t>> Numbers(Registry& registry, const char* name, std::size_t count) {
  RegistryValue value;
  if (registry.QueryValue(name, count * 4, value) != 0 || value.type != kRegistryBinaryType ||
      value.data.size() != count * 4) {
    return std::nullopt;
  }
  std::vector<std::int32_t> numbers(count);
  ByteReader reader(value.data);
  for (std::int32_t& number : numbers) number = reader.I32();
  return numbers;
}

Bytes Encoded(const std::vector<std::int32_t>& numbers) {
  Bytes data(numbers.size() * 4, 0);
  for (std::size_t i = 0; i < numbers.size(); ++i) StoreI32LE(data.data() + 4 * i, numbers[i]);
  return data;
}

bool Sane(std::int32_t coordinate) { return coordinate > -kMaxCoordinate && coordinate < kMaxCoordinate; }

}  // namespace

LibraryLayout LoadLibraryLayout(Registry& registry, std::size_t columns) {
  LibraryLayout layout;
  if (registry.OpenKeyForQuery(RegistryHive::kCurrentUser, kLibraryLayoutKey) != 0) return layout;
  if (auto r = Numbers(registry, kLibraryWindowValue, 4)) {
    const LayoutRect rect{(*r)[0], (*r)[1], (*r)[2], (*r)[3]};
    if (Sane(rect.left) && Sane(rect.top) && Sane(rect.right) && Sane(rect.bottom) && rect.right > rect.left &&
        rect.bottom > rect.top) {
      layout.window = rect;
    }
  }
  if (auto widths = Numbers(registry, kLibraryColumnsValue, columns)) {
    const bool sane = std::all_of(widths->begin(), widths->end(),
                                  [](std::int32_t w) { return w >= kMinColumnWidth && w < kMaxCoordinate; });
    if (sane) layout.columnWidths = std::move(*widths);
  }
  registry.CloseKey();
  return layout;
}

bool SaveLibraryLayout(Registry& registry, const LibraryLayout& layout) {
  if (registry.CreateKey(kLibraryLayoutKey) != 0) return false;
  bool ok = true;
  if (layout.window) {
    const LayoutRect& r = *layout.window;
    ok = registry.SetValue(kLibraryWindowValue, kRegistryBinaryType, Encoded({r.left, r.top, r.right, r.bottom})) == 0;
  }
  if (!layout.columnWidths.empty()) {
    ok = registry.SetValue(kLibraryColumnsValue, kRegistryBinaryType, Encoded(layout.columnWidths)) == 0 && ok;
  }
  registry.CloseKey();
  return ok;
}

LayoutRect MoveInto(const LayoutRect& window, const LayoutRect& area) {
  // 64-bit sums: the rectangles are read from the registry.
  auto place = [](std::int64_t start, std::int64_t size, std::int64_t low, std::int64_t high) {
    size = std::clamp<std::int64_t>(size, 0, std::max<std::int64_t>(high - low, 0));
    start = std::clamp<std::int64_t>(start, low, std::max(low, high - size));
    return std::pair{static_cast<std::int32_t>(start), static_cast<std::int32_t>(start + size)};
  };
  const auto [left, right] = place(window.left, std::int64_t{window.right} - window.left, area.left, area.right);
  const auto [top, bottom] = place(window.top, std::int64_t{window.bottom} - window.top, area.top, area.bottom);
  return {left, top, right, bottom};
}

}  // namespace rewindor
