#include "tests/e2e/driver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <utility>

namespace rewindor::e2e {

namespace {

thread_local std::string g_failure;

bool Fail(std::string message) {
  g_failure = std::move(message);
  return false;
}

std::string Quoted(std::wstring_view text) { return "\"" + ToUtf8(text) + "\""; }

std::string MillisText(Millis m) { return std::to_string(m.count()) + " ms"; }

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

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &answer)) {
    return Fail("a window did not answer message " + std::to_string(message) + " within " +
                std::to_string(kSendTimeoutMs) + " ms");
  }
  if (result != nullptr) *result = static_cast<LRESULT>(answer);
  return true;
}

std::wstring WindowTitle(HWND window) {
  // GetWindowTextW reads another process's title without sending it a
  // message, so a busy program cannot stall the search.
  wchar_t buffer[512];
  int n = GetWindowTextW(window, buffer, 512);
  return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256];
  int n = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

struct TopSearch {
  std::wstring_view title;
  DWORD pid;
  int with_control;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopSearch*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->pid != 0 && WindowProcess(window) != search->pid) return TRUE;
  if (search->with_control != 0 && GetDlgItem(window, search->with_control) == nullptr) return TRUE;
  // A window titled with the title and then " — " and more (what it shows) counts too.
  const std::wstring title = WindowTitle(window);
  if (title == search->title || title.starts_with(std::wstring(search->title) + L" \u2014 ")) {
    search->found.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectAllTop(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring ParentFolder(const std::wstring& path) {
  auto cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// --- Screen capture ---------------------------------------------------------

// A top-down 32-bit copy of a screen rectangle (BGRA in memory).
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

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

}  // namespace

const std::string& LastFailure() { return g_failure; }

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring NormalizeNewlines(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::wstring FromHostPath(std::string_view path) {
  std::wstring out = FromUtf8(path);
  std::replace(out.begin(), out.end(), L'/', L'\\');
  if (!out.empty() && out[0] == L'\\') out = L"Z:" + out;
  return out;
}

// --- Process ------------------------------------------------------------------

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

Process::~Process() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

Process Process::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& workdir) {
  std::wstring command = L"\"" + exe + L"\"";
  if (!args.empty()) command += L" " + args;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  Process process;
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workdir.empty() ? nullptr : workdir.c_str(), &startup, &info)) {
    Fail("could not start " + Quoted(exe) + " (error " + std::to_string(GetLastError()) + ")");
    return process;
  }
  CloseHandle(info.hThread);
  process.handle_ = info.hProcess;
  process.id_ = info.dwProcessId;
  return process;
}

bool Process::Running() const {
  return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitExit(Millis timeout) {
  if (handle_ == nullptr) {
    Fail("no process to wait for");
    return std::nullopt;
  }
  if (WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    Fail("process " + std::to_string(id_) + " did not end within " + MillisText(timeout));
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(handle_, &code);
  return code;
}

void Process::Kill() {
  if (Running()) {
    TerminateProcess(handle_, 0xDEAD);
    WaitForSingleObject(handle_, 5000);
  }
}

int KillProcessesIn(const std::wstring& folder) {
  const std::wstring prefix = Lower(folder);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int killed = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process, 0, image, &size) &&
        Lower(std::wstring(image, size)).rfind(prefix, 0) == 0) {
      TerminateProcess(process, 0xDEAD);
      WaitForSingleObject(process, 5000);
      ++killed;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return killed;
}

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
  std::string out = "box " + Quoted(caption) + ": " + Quoted(text) + ", buttons";
  for (int id : buttons) out += " " + std::to_string(id);
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

// --- Registry -------------------------------------------------------------------

std::optional<std::wstring> ReadRegString(HKEY root, const std::wstring& key, const std::wstring& name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    Fail("no registry key " + Quoted(key));
    return std::nullopt;
  }
  const wchar_t* value_name = name.empty() ? nullptr : name.c_str();
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExW(handle, value_name, nullptr, &type, nullptr, &size);
  std::optional<std::wstring> result;
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(handle, value_name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    if (status == ERROR_SUCCESS) {
      text.resize(size / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      result = std::move(text);
    }
  }
  RegCloseKey(handle);
  if (!result) Fail("no string value " + Quoted(name) + " under " + Quoted(key));
  return result;
}

bool RegKeyExists(HKEY root, const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

bool DeleteRegTree(HKEY root, const std::wstring& key) {
  LONG status = RegDeleteTreeW(root, key.c_str());
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
  return Fail("could not delete registry key " + Quoted(key) + " (error " + std::to_string(status) + ")");
}

bool WriteRegString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                    REGSAM view) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return Fail("could not create registry key " + Quoted(key));
  }
  LONG status = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return Fail("could not write registry value " + Quoted(name));
  return true;
}

// --- Files ----------------------------------------------------------------------

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("could not open " + Quoted(path) + " (error " + std::to_string(GetLastError()) + ")");
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != FALSE) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  if (!ok) {
    Fail("could not read " + Quoted(path));
    return std::nullopt;
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  if (!MakeFolders(ParentFolder(path))) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("could not create " + Quoted(path));
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
  CloseHandle(file);
  return ok ? true : Fail("could not write " + Quoted(path));
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool MakeFolders(const std::wstring& folder) {
  if (folder.empty()) return true;
  for (std::size_t cut = folder.find_first_of(L"\\/", 3);; cut = folder.find_first_of(L"\\/", cut + 1)) {
    std::wstring prefix = folder.substr(0, cut);
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return Fail("could not create the folder " + Quoted(prefix));
    }
    if (cut == std::wstring::npos) return true;
  }
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  if (!MakeFolders(ParentFolder(to))) return false;
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    return Fail("could not copy " + Quoted(from) + " to " + Quoted(to) + " (error " + std::to_string(GetLastError()) +
                ")");
  }
  SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  bool ok = true;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = DeleteTree(path) && ok;
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = DeleteFileW(path.c_str()) && ok;
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  if (!RemoveDirectoryW(folder.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
      GetLastError() != ERROR_PATH_NOT_FOUND) {
    ok = false;
  }
  return ok ? true : Fail("could not delete all of " + Quoted(folder));
}

bool WaitFile(const std::wstring& path, bool exists, Millis timeout) {
  if (Poll(timeout, [&] { return FileExists(path) == exists; })) return true;
  return Fail(Quoted(path) + (exists ? " did not appear" : " was not removed") + " within " + MillisText(timeout));
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

bool DoubleClickButton(HWND button) {
  if (button == nullptr) return Fail("no button to double-click");
  RECT r{};
  GetClientRect(button, &r);
  const POINT at{r.right / 2, r.bottom / 2};
  return PostMouse(button, WM_LBUTTONDOWN, at, MK_LBUTTON) && PostMouse(button, WM_LBUTTONUP, at, 0) &&
         PostMouse(button, WM_LBUTTONDBLCLK, at, MK_LBUTTON) && PostMouse(button, WM_LBUTTONUP, at, 0);
}

}  // namespace rewindor::e2e
