// The end-to-end driver: screen capture, the message boxes' icons and PNG screenshots.
#include "tests/e2e/driver_internal.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

// --- Screen capture ---------------------------------------------------------


std::optional<Capture> CaptureScreen(const RECT& rect) {
  Capture shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  if (shot.width <= 0 || shot.height <= 0) return std::nullopt;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    if (ok) {
      auto* p = static_cast<const std::uint32_t*>(bits);
      shot.pixels.assign(p, p + static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) return std::nullopt;
  return shot;
}

// `icon` drawn at (0, 0) over a plain `background`, at the given size.
std::vector<std::uint32_t> RenderIcon(HICON icon, int width, int height, std::uint32_t background) {
  std::vector<std::uint32_t> out;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    auto* p = static_cast<std::uint32_t*>(bits);
    std::fill(p, p + width * height, background);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    GdiFlush();
    out.assign(p, p + width * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    worst = std::max(worst, d < 0 ? -d : d);
  }
  return worst;
}

// A message box draws one of the system's stock icons into a static control.
// The handle belongs to the other process, so the icon is told by its picture:
// the static's pixels on screen against each stock icon drawn here.
BoxIcon IdentifyIcon(HWND icon_static) {
  RECT rect;
  if (!GetWindowRect(icon_static, &rect)) return BoxIcon::kUnknown;
  auto shot = CaptureScreen(rect);
  if (!shot) return BoxIcon::kUnknown;
  const std::uint32_t background = shot->pixels.front();
  struct Candidate {
    LPCWSTR id;
    BoxIcon icon;
  };
  const Candidate candidates[] = {{IDI_INFORMATION, BoxIcon::kInformation},
                                  {IDI_QUESTION, BoxIcon::kQuestion},
                                  {IDI_WARNING, BoxIcon::kWarning},
                                  {IDI_ERROR, BoxIcon::kError}};
  BoxIcon best = BoxIcon::kUnknown;
  double best_score = 1.0, second_score = 1.0;
  for (const auto& candidate : candidates) {
    HICON icon = LoadIconW(nullptr, candidate.id);
    if (icon == nullptr) continue;
    auto drawn = RenderIcon(icon, shot->width, shot->height, background);
    if (drawn.size() != shot->pixels.size()) continue;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      if (ChannelDistance(drawn[i], shot->pixels[i]) > 40) ++differing;
    }
    double score = static_cast<double>(differing) / static_cast<double>(drawn.size());
    if (score < best_score) {
      second_score = best_score;
      best_score = score;
      best = candidate.icon;
    } else if (score < second_score) {
      second_score = score;
    }
  }
  // A clear match only: the picture may be covered by another window.
  if (best_score < 0.03 && second_score - best_score >= 0.03) return best;
  return BoxIcon::kUnknown;
}

// --- PNG writing (stored deflate blocks: no compression library needed) ------

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBig32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutBig32(out, Crc32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
}

std::string EncodePng(const Capture& shot) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(shot.height) * (1 + 3 * static_cast<std::size_t>(shot.width)));
  for (int y = 0; y < shot.height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < shot.width; ++x) {
      std::uint32_t bgra = shot.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(shot.width) +
                                       static_cast<std::size_t>(x)];
      raw.push_back(static_cast<char>((bgra >> 16) & 0xFF));
      raw.push_back(static_cast<char>((bgra >> 8) & 0xFF));
      raw.push_back(static_cast<char>(bgra & 0xFF));
    }
  }
  std::string zlib = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
    std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<char>(n & 0xFF));
    zlib.push_back(static_cast<char>(n >> 8));
    zlib.push_back(static_cast<char>(~n & 0xFF));
    zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
    zlib.append(raw, pos, n);
    pos += n;
    if (last) break;
  }
  PutBig32(zlib, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(shot.width));
  PutBig32(header, static_cast<std::uint32_t>(shot.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}


// --- Screen -------------------------------------------------------------------

bool SaveScreenshot(const std::wstring& png_path, HWND window) {
  RECT rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (window != nullptr) {
    RECT bounds;
    if (!GetWindowRect(window, &bounds)) return Fail("no such window to photograph");
    IntersectRect(&rect, &rect, &bounds);
  }
  auto shot = CaptureScreen(rect);
  if (!shot) return Fail("could not copy the screen");
  return WriteFileBytes(png_path, EncodePng(*shot));
}

}  // namespace rewindor::e2e
