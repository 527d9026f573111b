// A small driver for Win32 programs under test: starts them, finds their
// windows and message boxes, reads and works their controls the way a user
// would, and reads back what they left in the registry and on disk.
//
// Every wait polls with a time limit; a call that gives up returns an empty
// result and leaves a message naming what it waited for in LastFailure().
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rewindor::e2e {

using Millis = std::chrono::milliseconds;

// Generous, since Wine may run the programs under an emulator.
inline constexpr Millis kDefaultWait{20000};

// What the last failed driver call waited for or could not do (UTF-8).
const std::string& LastFailure();

// Text helpers.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
std::wstring NormalizeNewlines(std::wstring_view text);  // "\r\n" -> "\n"
// A host path as the program sees it: "/a/b" becomes "Z:\a\b" (Wine's root
// drive); anything else comes back with '/' turned into '\'.
std::wstring FromHostPath(std::string_view path);

// A started program. Closing the object closes the handles only; Kill() ends it.
class Process {
 public:
  Process() = default;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  // Starts `exe` with the command line `"exe" args` in `workdir` (the caller's
  // folder when empty). Returns an invalid Process on failure.
  static Process Start(const std::wstring& exe, const std::wstring& args, const std::wstring& workdir);

  bool valid() const { return handle_ != nullptr; }
  DWORD id() const { return id_; }
  HANDLE handle() const { return handle_; }
  bool Running() const;
  // The exit code once the process has ended within `timeout`.
  std::optional<DWORD> WaitExit(Millis timeout = kDefaultWait);
  void Kill();

 private:
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

// Ends every process whose executable lies inside `folder` (a prefix test on
// the full image path, letter case ignored). Returns how many were ended.
int KillProcessesIn(const std::wstring& folder);

// --- Windows and controls ---------------------------------------------------

// The visible top-level window titled exactly `title`, of process `pid` (0:
// any process), polled until `timeout`. With `with_control`, only a window
// that has a child with that id counts (a message box may share the title).
// A title matches whole, or as the start of "<title> — <what the window shows>".
HWND FindTopWindow(std::wstring_view title, DWORD pid = 0, Millis timeout = kDefaultWait, int with_control = 0);
// Every visible top-level window of `pid` (0: any) with exactly this title.
std::vector<HWND> TopWindows(std::wstring_view title, DWORD pid = 0, int with_control = 0);
// Waits until no such window is open.
bool WaitWindowGone(std::wstring_view title, DWORD pid, Millis timeout = kDefaultWait, int with_control = 0);

HWND Control(HWND dialog, int id);  // nullptr (with LastFailure) when missing
DWORD WindowProcess(HWND window);

// True when the window's thread answers a message within `timeout`: the program
// is taking messages, not stuck in a wait of its own.
bool Responds(HWND window, Millis timeout = Millis{2000});
bool WaitResponds(HWND window, Millis timeout = kDefaultWait);

std::optional<std::wstring> GetText(HWND window);                    // WM_GETTEXT
std::optional<std::wstring> GetText(HWND dialog, int id);
// Polls until the control shows exactly `expected` (a posted command runs
// when the program gets to it).
bool WaitText(HWND dialog, int id, std::wstring_view expected, Millis timeout = kDefaultWait);
bool SetText(HWND window, std::wstring_view text);                   // WM_SETTEXT
bool SetText(HWND dialog, int id, std::wstring_view text);
std::optional<std::vector<std::wstring>> ListItems(HWND list);       // LB_GETCOUNT / LB_GETTEXT
std::optional<std::vector<std::wstring>> ListItems(HWND dialog, int id);
// Selects the entry with exactly this text and posts the double-click
// notification (LBN_DBLCLK) to the list's parent.
bool DoubleClickListItem(HWND dialog, int list_id, std::wstring_view item);
bool SetChecked(HWND dialog, int id, bool checked);
std::optional<bool> IsChecked(HWND dialog, int id);
// Posted, not sent: a click may open a modal box that would block a send.
bool Click(HWND button);
bool Click(HWND dialog, int id);
// A command as a menu or accelerator sends it (WM_COMMAND, no control).
bool PostCommand(HWND window, int id, int code = 0);
// A command of the window's system menu (WM_SYSCOMMAND), as the menu sends it;
// `lparam` is the key for SC_KEYMENU (' ' opens the system menu).
bool PostSysCommand(HWND window, int command, LPARAM lparam = 0);
// A right-click as the system reports it to the window: WM_CONTEXTMENU naming
// the window clicked (`clicked`) and the screen point.
bool PostContextMenu(HWND window, HWND clicked, POINT screen);
// The centre of a window on the screen.
POINT CentreOf(HWND window);
// The pop-up menu a program has opened (class #32768), of `pid` (0: any).
HWND FindPopupMenu(DWORD pid, Millis timeout = kDefaultWait);
// Chooses the menu's entry at `position` (0 first; -1 last, -2 the one before)
// with the arrow keys and Enter, as the keyboard does, and waits until the
// menu has closed.
bool ChooseMenuEntry(HWND menu, int position, Millis timeout = kDefaultWait);
// Opens a menu of `pid` with `open` and chooses its entry at `position`. A
// menu opened while windows still change places may close at once, before
// its entry could be chosen: it is then opened again, three times at most.
bool OpenAndChoose(const std::function<bool()>& open, DWORD pid, int position);
bool PostClose(HWND window);   // WM_CLOSE
bool PressEscape(HWND window);  // Esc, as the keyboard sends it
// Gives a dialog's control the keyboard focus, as Tab would (WM_NEXTDLGCTL).
bool FocusControl(HWND dialog, int id);
bool PressEnter(HWND control);  // Enter, as the keyboard sends it to the focused control
bool PressDown(HWND control);   // the Down arrow, likewise
// A double-click of the mouse's left button on a button's centre, as its
// messages come: down, up, double-click, up.
bool DoubleClickButton(HWND button);

// --- List views -------------------------------------------------------------
//
// A list view's texts, rectangles and header live in its process: a pointer in
// a message cannot cross to it, so these calls lend the message a block of the
// program's own memory (VirtualAllocEx) and read the answer back from there.
// The clicks are the mouse's own messages posted to the list or its header,
// which turn them into their notifications, as for a user's click.

std::optional<int> ListViewCount(HWND list);
std::optional<std::wstring> ListViewText(HWND list, int row, int column);
// Every row's first `columns` cells.
std::optional<std::vector<std::vector<std::wstring>>> ListViewRows(HWND list, int columns);
// The selected row, -1 when none is.
std::optional<int> ListViewSelected(HWND list);
// The header's format flags of a column (HDF_SORTUP, HDF_SORTDOWN, ...).
std::optional<int> HeaderFormat(HWND list, int column);
// A left click on a column's header.
bool ClickHeader(HWND list, int column);
// The row as the list shows it now (in client coordinates).
std::optional<RECT> ListViewRowRect(HWND list, int row);
// A click, or a double-click, on a row (scrolled into view first).
bool ClickListViewRow(HWND list, int row);
bool DoubleClickListViewRow(HWND list, int row);
// The screen point in the middle of a row's first cell.
std::optional<POINT> ListViewRowPoint(HWND list, int row);
// Typing: each character posted as WM_CHAR to the control.
bool TypeText(HWND control, std::wstring_view text);
// Selects the whole text of an edit and deletes it with Backspace.
bool ClearEdit(HWND edit);

// --- Message boxes ----------------------------------------------------------

enum class BoxIcon { kNone, kInformation, kQuestion, kWarning, kError, kUnknown };
const char* BoxIconName(BoxIcon icon);

struct MessageBoxInfo {
  HWND window = nullptr;
  DWORD pid = 0;
  std::wstring caption;
  std::wstring text;         // newlines normalised
  std::vector<int> buttons;  // ids of the visible buttons, e.g. IDOK, IDCANCEL
  BoxIcon icon = BoxIcon::kNone;
  HWND icon_window = nullptr;  // the static that shows the icon

  bool Has(int button_id) const;
  bool OkOnly() const { return buttons.size() == 1 && Has(IDOK); }
  bool OkCancel() const { return buttons.size() == 2 && Has(IDOK) && Has(IDCANCEL); }
  std::string Describe() const;  // one line for failure messages
};

// A system message box (dialog class, no owner window, a text static with id
// 0xFFFF) with exactly this caption, of `pid` (0: any), polled until `timeout`.
std::optional<MessageBoxInfo> FindMessageBox(std::wstring_view caption, DWORD pid = 0,
                                             Millis timeout = kDefaultWait);
// The message boxes open right now, of `pid` (0: any).
std::vector<MessageBoxInfo> OpenMessageBoxes(DWORD pid = 0);
// Presses IDOK or IDCANCEL (BM_CLICK posted to that button) and waits until
// the box has closed.
bool PressBoxButton(const MessageBoxInfo& box, int button_id, Millis timeout = kDefaultWait);
bool WaitNoMessageBox(DWORD pid = 0, Millis timeout = kDefaultWait);

// --- Registry, files, screen --------------------------------------------------

// A string value (the default value when `name` is empty); nullopt when absent.
std::optional<std::wstring> ReadRegString(HKEY root, const std::wstring& key, const std::wstring& name);
bool RegKeyExists(HKEY root, const std::wstring& key);
bool DeleteRegTree(HKEY root, const std::wstring& key);  // true also when it did not exist
// `view`: KEY_WOW64_32KEY or KEY_WOW64_64KEY for the machine's keys of that registry view.
bool WriteRegString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                    REGSAM view = 0);

std::optional<std::string> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);
bool FileExists(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);  // creates the target's folders
bool MakeFolders(const std::wstring& folder);
bool DeleteTree(const std::wstring& folder);
// Polls until the file exists (or, with `exists` false, is gone).
bool WaitFile(const std::wstring& path, bool exists = true, Millis timeout = kDefaultWait);

// Saves the screen, or only `window`'s rectangle of it, as a 24-bit PNG.
bool SaveScreenshot(const std::wstring& png_path, HWND window = nullptr);

}  // namespace rewindor::e2e
