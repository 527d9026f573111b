// The end-to-end driver: windows, controls, menus, keys and list views.
#include "tests/e2e/driver_internal.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

// --- Windows and controls -----------------------------------------------------

std::vector<HWND> TopWindows(std::wstring_view title, DWORD pid, int with_control) {
  TopSearch search{title, pid, with_control, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopWindow(std::wstring_view title, DWORD pid, Millis timeout, int with_control) {
  HWND found = Poll(timeout, [&]() -> HWND {
    auto all = TopWindows(title, pid, with_control);
    return all.empty() ? nullptr : all.front();
  });
  if (found == nullptr) {
    Fail("no visible window titled " + Quoted(title) + (pid ? " of process " + std::to_string(pid) : "") +
         " appeared within " + MillisText(timeout));
  }
  return found;
}

bool WaitWindowGone(std::wstring_view title, DWORD pid, Millis timeout, int with_control) {
  if (Poll(timeout, [&] { return TopWindows(title, pid, with_control).empty(); })) return true;
  return Fail("the window titled " + Quoted(title) + " was still open after " + MillisText(timeout));
}

HWND Control(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) Fail("the window has no control with id " + std::to_string(id));
  return control;
}

DWORD WindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

bool Responds(HWND window, Millis timeout) {
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeout.count()), &answer)) {
    return true;
  }
  return Fail("the window did not answer within " + MillisText(timeout));
}

bool WaitResponds(HWND window, Millis timeout) {
  if (Poll(timeout, [&] { return Responds(window, Millis{500}); })) return true;
  return Fail("the window did not answer messages again within " + MillisText(timeout));
}

std::optional<std::wstring> GetText(HWND window) {
  if (window == nullptr) return std::nullopt;
  LRESULT length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) return std::nullopt;
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, std::min<LRESULT>(copied, length))));
  return text;
}

std::optional<std::wstring> GetText(HWND dialog, int id) { return GetText(Control(dialog, id)); }

bool WaitText(HWND dialog, int id, std::wstring_view expected, Millis timeout) {
  std::optional<std::wstring> text;
  if (Poll(timeout, [&] { return (text = GetText(dialog, id)) == expected; })) return true;
  return Fail("control " + std::to_string(id) + " showed " + (text ? Quoted(*text) : std::string("nothing")) +
              " instead of " + Quoted(expected) + " after " + MillisText(timeout));
}

bool SetText(HWND window, std::wstring_view text) {
  if (window == nullptr) return false;
  std::wstring copy(text);
  return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()), nullptr);
}

bool SetText(HWND dialog, int id, std::wstring_view text) { return SetText(Control(dialog, id), text); }

std::optional<std::vector<std::wstring>> ListItems(HWND list) {
  if (list == nullptr) return std::nullopt;
  LRESULT count = 0;
  if (!Send(list, LB_GETCOUNT, 0, 0, &count) || count < 0) return std::nullopt;
  std::vector<std::wstring> items;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = 0;
    if (!Send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, &length) || length < 0) return std::nullopt;
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()), &copied)) {
      return std::nullopt;
    }
    item.resize(static_cast<std::size_t>(std::max<LRESULT>(0, std::min<LRESULT>(copied, length))));
    items.push_back(std::move(item));
  }
  return items;
}

std::optional<std::vector<std::wstring>> ListItems(HWND dialog, int id) { return ListItems(Control(dialog, id)); }

bool DoubleClickListItem(HWND dialog, int list_id, std::wstring_view item) {
  HWND list = Control(dialog, list_id);
  auto items = ListItems(list);
  if (!items) return false;
  // Found here rather than with LB_FINDSTRINGEXACT, which ignores letter case.
  auto it = std::find(items->begin(), items->end(), item);
  if (it == items->end()) return Fail("list " + std::to_string(list_id) + " has no entry " + Quoted(item));
  if (!Send(list, LB_SETCURSEL, static_cast<WPARAM>(it - items->begin()), 0, nullptr)) return false;
  if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(list_id, LBN_DBLCLK), reinterpret_cast<LPARAM>(list))) {
    return Fail("could not post the double-click to list " + std::to_string(list_id));
  }
  return true;
}

bool SetChecked(HWND dialog, int id, bool checked) {
  HWND box = Control(dialog, id);
  return box != nullptr && Send(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0, nullptr);
}

std::optional<bool> IsChecked(HWND dialog, int id) {
  HWND box = Control(dialog, id);
  LRESULT state = 0;
  if (box == nullptr || !Send(box, BM_GETCHECK, 0, 0, &state)) return std::nullopt;
  return state == BST_CHECKED;
}

bool Click(HWND button) {
  if (button == nullptr) return false;
  if (!PostMessageW(button, BM_CLICK, 0, 0)) return Fail("could not post a click to the button");
  return true;
}

bool Click(HWND dialog, int id) { return Click(Control(dialog, id)); }

bool PostCommand(HWND window, int id, int code) {
  if (!PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), 0)) return Fail("could not post command " + std::to_string(id));
  return true;
}

bool PostSysCommand(HWND window, int command, LPARAM lparam) {
  if (!PostMessageW(window, WM_SYSCOMMAND, static_cast<WPARAM>(command), lparam)) {
    return Fail("could not post system command " + std::to_string(command));
  }
  return true;
}

bool PostContextMenu(HWND window, HWND clicked, POINT screen) {
  const LPARAM point = MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y));
  if (!PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(clicked), point)) {
    return Fail("could not post the right-click");
  }
  return true;
}

POINT CentreOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

HWND FindPopupMenu(DWORD pid, Millis timeout) {
  HWND found = Poll(timeout, [&]() -> HWND {
    std::vector<HWND> windows;
    EnumWindows(CollectAllTop, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
      if (IsWindowVisible(window) && ClassName(window) == L"#32768" && (pid == 0 || WindowProcess(window) == pid)) {
        return window;
      }
    }
    return nullptr;
  });
  if (found == nullptr) Fail("no pop-up menu appeared within " + MillisText(timeout));
  return found;
}

bool ChooseMenuEntry(HWND menu, int position, Millis timeout) {
  // The menu's own loop takes the keys of its thread, whichever window they are posted to.
  auto key = [menu](UINT vk) {
    const LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16);
    return PostMessageW(menu, WM_KEYDOWN, vk, down) && PostMessageW(menu, WM_KEYUP, vk, down | (LPARAM{3} << 30));
  };
  const UINT arrow = position >= 0 ? VK_DOWN : VK_UP;
  for (int i = 0, n = position >= 0 ? position + 1 : -position; i < n; ++i) {
    if (!key(arrow)) return Fail("could not post the arrow key to the menu");
  }
  if (!key(VK_RETURN)) return Fail("could not post Enter to the menu");
  if (Poll(timeout, [&] { return !IsWindow(menu) || !IsWindowVisible(menu); })) return true;
  return Fail("the pop-up menu stayed open after choosing entry " + std::to_string(position));
}

bool OpenAndChoose(const std::function<bool()>& open, DWORD pid, int position) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!open()) return false;
    HWND menu = FindPopupMenu(pid);
    if (menu == nullptr) return false;
    if (ChooseMenuEntry(menu, position)) return true;
    if (IsWindow(menu)) return false;  // it stayed open: no second try
  }
  return Fail("the pop-up menu closed at once three times");
}

bool PostClose(HWND window) {
  if (!PostMessageW(window, WM_CLOSE, 0, 0)) return Fail("could not post WM_CLOSE");
  return true;
}

namespace {

// Posts a key's press and release; the dialog's message loop handles it.
bool PostKey(HWND window, WPARAM key, const char* name) {
  const LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16);
  if (!PostMessageW(window, WM_KEYDOWN, key, down) ||
      !PostMessageW(window, WM_KEYUP, key, down | (LPARAM{3} << 30))) {
    return Fail(std::string("could not post the ") + name + " key");
  }
  return true;
}

}  // namespace

bool PressEscape(HWND window) {
  // The dialog's message loop turns the key into the Cancel command.
  return PostKey(window, VK_ESCAPE, "Esc");
}

bool FocusControl(HWND dialog, int id) {
  HWND control = Control(dialog, id);
  if (control == nullptr) return false;
  if (!PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE)) {
    return Fail("could not post the focus change to control " + std::to_string(id));
  }
  return true;
}

bool PressEnter(HWND control) { return PostKey(control, VK_RETURN, "Enter"); }

bool PressDown(HWND control) { return PostKey(control, VK_DOWN, "Down"); }

// --- List views -----------------------------------------------------------------

namespace {

// A block of another process's memory, freed when it goes.
class RemoteBlock {
 public:
  RemoteBlock(HWND window, std::size_t size) : size_(size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, WindowProcess(window));
    if (process_ != nullptr) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (address_ == nullptr) Fail("could not lend the program a block of its memory");
  }
  ~RemoteBlock() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool ok() const { return address_ != nullptr; }
  // The block's address at `offset`, as the program sees it.
  LPARAM At(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset); }
  bool Write(const void* data, std::size_t size, std::size_t offset = 0) {
    SIZE_T done = 0;
    if (offset + size <= size_ && WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size,
                                                     &done) && done == size) {
      return true;
    }
    return Fail("could not write into the program's memory");
  }
  bool Read(void* data, std::size_t size, std::size_t offset = 0) {
    SIZE_T done = 0;
    if (offset + size <= size_ && ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size,
                                                    &done) && done == size) {
      return true;
    }
    return Fail("could not read the program's memory");
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_;
};

constexpr std::size_t kCellChars = 1024;

HWND HeaderOf(HWND list) {
  LRESULT header = 0;
  if (!Send(list, LVM_GETHEADER, 0, 0, &header) || header == 0) {
    Fail("the list view has no header");
    return nullptr;
  }
  return reinterpret_cast<HWND>(header);
}

// Posts a mouse button's message at a client point.
bool PostMouse(HWND window, UINT message, POINT at, WPARAM keys) {
  if (PostMessageW(window, message, keys, MAKELPARAM(at.x, at.y))) return true;
  return Fail("could not post a mouse message");
}

}  // namespace

std::optional<int> ListViewCount(HWND list) {
  LRESULT count = 0;
  if (list == nullptr || !Send(list, LVM_GETITEMCOUNT, 0, 0, &count)) return std::nullopt;
  return static_cast<int>(count);
}

std::optional<std::wstring> ListViewText(HWND list, int row, int column) {
  if (list == nullptr) return std::nullopt;
  RemoteBlock block(list, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t));
  if (!block.ok()) return std::nullopt;
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(block.At(sizeof(LVITEMW)));
  item.cchTextMax = static_cast<int>(kCellChars);
  std::vector<wchar_t> text(kCellChars, L'\0');
  LRESULT length = 0;
  if (!block.Write(&item, sizeof item) || !block.Write(text.data(), text.size() * sizeof(wchar_t), sizeof item) ||
      !Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), block.At(), &length) ||
      !block.Read(text.data(), text.size() * sizeof(wchar_t), sizeof item)) {
    return std::nullopt;
  }
  text.back() = L'\0';
  return std::wstring(text.data());
}

std::optional<std::vector<std::vector<std::wstring>>> ListViewRows(HWND list, int columns) {
  auto count = ListViewCount(list);
  if (!count) return std::nullopt;
  std::vector<std::vector<std::wstring>> rows;
  for (int r = 0; r < *count; ++r) {
    std::vector<std::wstring> cells;
    for (int c = 0; c < columns; ++c) {
      auto cell = ListViewText(list, r, c);
      if (!cell) return std::nullopt;
      cells.push_back(std::move(*cell));
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::optional<int> ListViewSelected(HWND list) {
  LRESULT row = 0;
  if (list == nullptr || !Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, &row)) {
    return std::nullopt;
  }
  return static_cast<int>(row);
}

std::optional<int> HeaderFormat(HWND list, int column) {
  HWND header = HeaderOf(list);
  if (header == nullptr) return std::nullopt;
  RemoteBlock block(header, sizeof(HDITEMW));
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  LRESULT ok = 0;
  if (!block.ok() || !block.Write(&item, sizeof item) ||
      !Send(header, HDM_GETITEMW, static_cast<WPARAM>(column), block.At(), &ok) || !ok ||
      !block.Read(&item, sizeof item)) {
    Fail("could not read the header of column " + std::to_string(column));
    return std::nullopt;
  }
  return item.fmt;
}

bool ClickHeader(HWND list, int column) {
  HWND header = HeaderOf(list);
  if (header == nullptr) return false;
  LONG x = 0;
  for (int c = 0; c <= column; ++c) {
    LRESULT width = 0;
    if (!Send(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0, &width)) return false;
    x += c < column ? static_cast<LONG>(width) : static_cast<LONG>(width) / 2;
  }
  RECT bounds{};
  GetClientRect(header, &bounds);
  const POINT at{x, bounds.bottom / 2};
  return PostMouse(header, WM_LBUTTONDOWN, at, MK_LBUTTON) && PostMouse(header, WM_LBUTTONUP, at, 0);
}

std::optional<RECT> ListViewRowRect(HWND list, int row) {
  if (list == nullptr) return std::nullopt;
  RemoteBlock block(list, sizeof(RECT));
  RECT rect{};
  rect.left = LVIR_LABEL;
  LRESULT ok = 0;
  if (!block.ok() || !block.Write(&rect, sizeof rect) ||
      !Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), block.At(), &ok) || !ok ||
      !block.Read(&rect, sizeof rect)) {
    Fail("the list view has no row " + std::to_string(row));
    return std::nullopt;
  }
  return rect;
}

std::optional<POINT> ListViewRowPoint(HWND list, int row) {
  if (!Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE, nullptr)) return std::nullopt;
  auto rect = ListViewRowRect(list, row);
  if (!rect) return std::nullopt;
  POINT at{std::min(rect->left + 8, (rect->left + rect->right) / 2), (rect->top + rect->bottom) / 2};
  ClientToScreen(list, &at);
  return at;
}

namespace {

bool ClickRow(HWND list, int row, bool twice) {
  auto point = ListViewRowPoint(list, row);
  if (!point) return false;
  POINT at = *point;
  ScreenToClient(list, &at);
  if (!PostMouse(list, WM_LBUTTONDOWN, at, MK_LBUTTON) || !PostMouse(list, WM_LBUTTONUP, at, 0)) return false;
  return !twice || (PostMouse(list, WM_LBUTTONDBLCLK, at, MK_LBUTTON) && PostMouse(list, WM_LBUTTONUP, at, 0));
}

}  // namespace

bool ClickListViewRow(HWND list, int row) { return ClickRow(list, row, false); }
bool DoubleClickListViewRow(HWND list, int row) { return ClickRow(list, row, true); }

bool TypeText(HWND control, std::wstring_view text) {
  if (control == nullptr) return false;
  for (wchar_t c : text) {
    if (!PostMessageW(control, WM_CHAR, c, 1)) return Fail("could not post a typed character");
  }
  return true;
}

bool ClearEdit(HWND edit) {
  if (edit == nullptr) return false;
  if (!PostMessageW(edit, EM_SETSEL, 0, -1) || !PostMessageW(edit, WM_CHAR, VK_BACK, 1)) {
    return Fail("could not post the clearing of the field");
  }
  return true;
}


bool DoubleClickButton(HWND button) {
  if (button == nullptr) return Fail("no button to double-click");
  RECT r{};
  GetClientRect(button, &r);
  const POINT at{r.right / 2, r.bottom / 2};
  return PostMouse(button, WM_LBUTTONDOWN, at, MK_LBUTTON) && PostMouse(button, WM_LBUTTONUP, at, 0) &&
         PostMouse(button, WM_LBUTTONDBLCLK, at, MK_LBUTTON) && PostMouse(button, WM_LBUTTONUP, at, 0);
}

}  // namespace rewindor::e2e
