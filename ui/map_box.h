// The map picture box of the main window's skin (the grid inside the frame
// "Карта"), where the map's picture is drawn. Portable, so the tests check the
// skin's artwork against it.
#pragma once

namespace rewindor::ui {

inline constexpr int kMapBoxX = 37;
inline constexpr int kMapBoxY = 125;
inline constexpr int kMapBoxWidth = 240;
inline constexpr int kMapBoxHeight = 180;

}  // namespace rewindor::ui
