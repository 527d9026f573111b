// The end-to-end driver: message boxes.
#include "tests/e2e/driver_internal.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

// --- Message boxes ------------------------------------------------------------

const char* BoxIconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kNone: return "no icon";
    case BoxIcon::kInformation: return "information";
    case BoxIcon::kQuestion: return "question";
    case BoxIcon::kWarning: return "warning";
    case BoxIcon::kError: return "error";
    case BoxIcon::kUnknown: return "unknown icon";
  }
  return "?";
}

bool MessageBoxInfo::Has(int button_id) const {
  return std::find(buttons.begin(), buttons.end(), button_id) != buttons.end();
}

std::string MessageBoxInfo::Describe() const {
  std::string out = "box ";
  out.append(Quoted(caption)).append(": ").append(Quoted(text)).append(", buttons");
  for (int id : buttons) out.append(" ").append(std::to_string(id));  // appended: see Quoted
  return out + ", " + BoxIconName(icon);
}

namespace {

constexpr int kBoxTextId = 0xFFFF;

bool IsMessageBox(HWND window) {
  return IsWindowVisible(window) && ClassName(window) == L"#32770" && GetWindow(window, GW_OWNER) == nullptr &&
         GetDlgItem(window, kBoxTextId) != nullptr;
}

std::optional<MessageBoxInfo> Describe(HWND window) {
  MessageBoxInfo box;
  box.window = window;
  box.pid = WindowProcess(window);
  box.caption = WindowTitle(window);
  auto text = GetText(GetDlgItem(window, kBoxTextId));
  if (!text) return std::nullopt;
  box.text = NormalizeNewlines(*text);
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
  HWND icon_static = nullptr;
  for (HWND child : children) {
    if (!IsWindowVisible(child)) continue;
    std::wstring kind = Lower(ClassName(child));
    if (kind == L"button") {
      box.buttons.push_back(GetDlgCtrlID(child));
    } else if (kind == L"static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon_static = child;
    }
  }
  std::sort(box.buttons.begin(), box.buttons.end());
  box.icon_window = icon_static;
  box.icon = icon_static == nullptr ? BoxIcon::kNone : IdentifyIcon(icon_static);
  return box;
}

}  // namespace

std::vector<MessageBoxInfo> OpenMessageBoxes(DWORD pid) {
  std::vector<HWND> windows;
  EnumWindows(CollectAllTop, reinterpret_cast<LPARAM>(&windows));
  std::vector<MessageBoxInfo> boxes;
  for (HWND window : windows) {
    if (pid != 0 && WindowProcess(window) != pid) continue;
    if (!IsMessageBox(window)) continue;
    if (auto box = Describe(window)) boxes.push_back(std::move(*box));
  }
  return boxes;
}

std::optional<MessageBoxInfo> FindMessageBox(std::wstring_view caption, DWORD pid, Millis timeout) {
  std::optional<MessageBoxInfo> found;
  Poll(timeout, [&] {
    for (auto& box : OpenMessageBoxes(pid)) {
      if (box.caption == caption) {
        found = std::move(box);
        return true;
      }
    }
    return false;
  });
  // A box just opened may not be painted yet: look at its icon again.
  for (int i = 0; found && found->icon == BoxIcon::kUnknown && i < 40; ++i) {
    Sleep(50);
    found->icon = IdentifyIcon(found->icon_window);
  }
  if (!found) {
    std::string open;
    for (const auto& box : OpenMessageBoxes(pid)) open += "; open: " + box.Describe();
    Fail("no message box captioned " + Quoted(caption) + " appeared within " + MillisText(timeout) + open);
  }
  return found;
}

bool PressBoxButton(const MessageBoxInfo& box, int button_id, Millis timeout) {
  HWND button = GetDlgItem(box.window, button_id);
  if (button == nullptr || !box.Has(button_id)) {
    return Fail("the " + box.Describe() + " has no button " + std::to_string(button_id));
  }
  if (!Click(button)) return false;
  if (Poll(timeout, [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); })) return true;
  return Fail("the " + box.Describe() + " stayed open after pressing button " + std::to_string(button_id));
}

bool WaitNoMessageBox(DWORD pid, Millis timeout) {
  if (Poll(timeout, [&] { return OpenMessageBoxes(pid).empty(); })) return true;
  std::string open;
  for (const auto& box : OpenMessageBoxes(pid)) open += "; " + box.Describe();
  return Fail("message boxes still open after " + MillisText(timeout) + open);
}

}  // namespace rewindor::e2e
