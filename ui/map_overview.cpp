#include "ui/map_overview.h"

#include <cstdlib>

#include "demo/utf8.h"
#include "ui/picture_fit.h"

namespace rewindor::ui {

namespace {

// Draws `overview` fitted into `to`, which holds a bitmap of the box's size.
void DrawFitted(HDC to, HDC from, HBITMAP overview, HBITMAP skin) {
  if (skin) {
    HGDIOBJ old = SelectObject(from, skin);
    BitBlt(to, 0, 0, kMapBoxWidth, kMapBoxHeight, from, kMapBoxX, kMapBoxY, SRCCOPY);
    SelectObject(from, old);
  }
  BITMAP info{};
  GetObjectW(overview, sizeof info, &info);
  const int height = std::abs(info.bmHeight);  // a bottom-up file is as tall
  PictureRect fit = FitWhole(info.bmWidth, height, kMapBoxWidth, kMapBoxHeight);
  HGDIOBJ old = SelectObject(from, overview);
  SetStretchBltMode(to, HALFTONE);
  SetBrushOrgEx(to, 0, 0, nullptr);  // as HALFTONE asks
  StretchBlt(to, fit.x, fit.y, fit.width, fit.height, from, 0, 0, info.bmWidth, height, SRCCOPY);
  SelectObject(from, old);
}

}  // namespace

HBITMAP LoadFittedOverview(const std::string& path, HBITMAP skin) {
  auto overview = static_cast<HBITMAP>(
      LoadImageW(nullptr, Wide(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (overview == nullptr) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP fitted = CreateCompatibleBitmap(screen, kMapBoxWidth, kMapBoxHeight);
  if (from && to && fitted) {
    HGDIOBJ old = SelectObject(to, fitted);
    DrawFitted(to, from, overview, skin);
    SelectObject(to, old);
  } else if (fitted) {
    DeleteObject(fitted);
    fitted = nullptr;
  }
  if (to) DeleteDC(to);
  if (from) DeleteDC(from);
  ReleaseDC(nullptr, screen);
  DeleteObject(overview);
  return fitted;
}

}  // namespace rewindor::ui
