// What the end-to-end driver's own files share; the tests use driver.h.
#pragma once

#include "tests/e2e/driver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rewindor::e2e {

// Notes why a step failed (LastFailure) and returns false.
bool Fail(std::string message);
std::string Quoted(std::wstring_view text);
std::string MillisText(Millis m);

// Calls `probe` every 50 ms until it gives a true-ish result or `timeout` runs out.
template <typename F>
auto Poll(Millis timeout, F probe) -> decltype(probe()) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto result = probe();
    if (result || std::chrono::steady_clock::now() >= deadline) return result;
    Sleep(50);
  }
}

// Control messages go to another process: a hung target must not hang the test.
constexpr UINT kSendTimeoutMs = 5000;

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
std::wstring WindowTitle(HWND window);
std::wstring ClassName(HWND window);

struct TopSearch {
  std::wstring_view title;
  DWORD pid;
  int with_control;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param);
BOOL CALLBACK CollectAllTop(HWND window, LPARAM param);
BOOL CALLBACK CollectChildren(HWND window, LPARAM param);
std::wstring Lower(std::wstring text);
std::wstring ParentFolder(const std::wstring& path);

// A top-down 32-bit copy of a screen rectangle (BGRA in memory).
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

std::optional<Capture> CaptureScreen(const RECT& rect);
// Which stock icon a message box's icon control shows.
BoxIcon IdentifyIcon(HWND icon_static);
std::string EncodePng(const Capture& shot);

}  // namespace rewindor::e2e
