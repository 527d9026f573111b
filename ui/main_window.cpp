#include "ui/main_window.h"

#include <commdlg.h>

#include <array>
#include <string_view>

#include "app/hand_over.h"
#include "demo/ascii.h"
#include "demo/info.h"
#include "demo/messages.h"
#include "demo/names.h"
#include "demo/patch_run.h"
#include "launch/launcher.h"
#include "res/resource.h"
#include "settings/registry.h"
#include "settings/settings_store.h"
#include "ui/demo_menu.h"
#include "ui/details_dialog.h"
#include "ui/folder_list.h"
#include "ui/folder_list_win.h"
#include "ui/game_start.h"
#include "ui/library_dialog.h"
#include "ui/map_overview.h"
#include "ui/resolution_dialog.h"
#include "ui/skin.h"
#include "ui/timeline_dialog.h"
#include "ui/texts.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

constexpr std::size_t kPathChars = kMaxPathChars;  // 259: every path field

// The main window's own objects, released when it is destroyed.
HBITMAP mainSkin = nullptr;

ProgramState& StateOf(HWND window) {
  return *reinterpret_cast<ProgramState*>(GetWindowLongPtrW(window, DWLP_USER));
}

void ReleaseMapPicture(ProgramState& program) {
  if (program.mapPicture) {
    DeleteObject(program.mapPicture);
    program.mapPicture = nullptr;
  }
}

// True only for this program's own main window: a dialog of this process that
// has the demo path field and holds the program state. Any other window, also
// one titled "Rewindor" (one of our message boxes, or another program's), is
// not: a handle that a dialog hands back is trusted only after this check.
bool IsOwnMainWindow(HWND window) {
  if (window == nullptr) return false;
  DWORD process = 0;
  if (GetWindowThreadProcessId(window, &process) == 0 || process != GetCurrentProcessId()) return false;
  std::array<wchar_t, 8> className{};  // room to tell "#32770" from longer names
  if (GetClassNameW(window, className.data(), static_cast<int>(className.size())) != 6 ||
      std::wstring_view(className.data()) != L"#32770") {
    return false;
  }
  return GetDlgItem(window, IDC_DEMO_PATH) != nullptr && GetWindowLongPtrW(window, DWLP_USER) != 0;
}

// Puts a demo path into 1000, scrolled to its end so that the file name shows
// (the tip on the field shows the whole path).
void ShowDemoPath(HWND window, std::string_view path) {
  SetControlText(window, IDC_DEMO_PATH, path);
  const LRESULT end = SendDlgItemMessageW(window, IDC_DEMO_PATH, WM_GETTEXTLENGTH, 0, 0);
  SendDlgItemMessageW(window, IDC_DEMO_PATH, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendDlgItemMessageW(window, IDC_DEMO_PATH, EM_SCROLLCARET, 0, 0);
}

// Releases the map picture, then reads the demo named in the main window.
// Does nothing when `mainWindow` is not our own main window.
void ReloadDemo(HWND mainWindow);

// The main window as each command sees it: the controls it reads and writes,
// and the boxes it shows.
class MainWindowHost final : public InfoWindow,
                             public PatchWindow,
                             public LaunchWindow,
                             public SettingsWindow,
                             public FolderListWindow {
 public:
  MainWindowHost(HWND window, ProgramState& program) : window_(window), program_(program) {}

  // Shared by several commands.
  std::string DemoPath() override { return ui::ControlText(window_, IDC_DEMO_PATH, kPathChars); }
  std::string ControlText(int id, std::size_t maxChars) override { return ui::ControlText(window_, id, maxChars); }
  void SetControlText(int id, std::string_view text) override { ui::SetControlText(window_, id, text); }
  void ReportError(std::string_view text, const SystemError& why) override { ui::ReportError(text, why); }
  void ShowMessage(std::string_view text) override { ShowInfo(text); }

  // The information reader.
  void SetInfoText(std::string_view text) override {
    SetDlgItemTextW(window_, IDC_DEMO_INFO, DemoTextToWide(text).c_str());
  }
  void ClearPlayers() override { SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_RESETCONTENT, 0, 0); }
  std::string PlayerKey(std::string_view name) override {
    return ListEntryKey(GetDlgItem(window_, IDC_PLAYER_LIST), name);
  }
  void AddPlayer(std::string_view name) override {
    std::wstring wide = DemoTextToWide(name);
    SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  // Inserted, not added: the sorted list keeps it last, below the names.
  void AddPlayersNotListed(std::uint64_t count) override {
    std::wstring wide = Wide(NotListedText(count));
    SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(wide.c_str()));
  }
  void LoadMapPicture(const std::string& path) override {
    program_.mapPicture = static_cast<HBITMAP>(
        LoadImageW(nullptr, Wide(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  }
  std::string GameFolder() override { return NamedGameFolder(window_); }
  bool HasMapPicture() override { return program_.mapPicture != nullptr; }
  bool LoadMapOverview(const std::string& path) override {
    program_.mapPicture = LoadFittedOverview(path, mainSkin);
    return program_.mapPicture != nullptr;
  }
  void Redraw() override { RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE); }
  // One demo on screen at a time: after a failed read nothing of the demo
  // shown before stays.
  void ShowUnreadable(const SystemError& why) override {
    ClearPlayers();
    SetInfoText(UnreadableDemoText(why));
    ReleaseMapPicture(program_);
    Redraw();
  }

  // The edit commands.
  bool ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon,
                   MessageButtons buttons) override {
    return ui::ShowMessage(caption, text, icon, buttons);
  }

  // The launcher.
  bool IsChecked(int id) override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }

  // The folder list.
  void ClearList() override { SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_RESETCONTENT, 0, 0); }
  void AddEntry(std::string_view text) override {
    std::wstring wide = Wide(text);
    SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  std::optional<std::string> SelectedEntry() override {
    LRESULT index = SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return std::nullopt;
    LRESULT length = SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_GETTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return Narrow(text);
  }
  std::string FolderField() override { return ui::ControlText(window_, IDC_FOLDER_PATH, kPathChars); }
  void SetFolderField(std::string_view text) override { ui::SetControlText(window_, IDC_FOLDER_PATH, text); }
  void SetDemoPath(std::string_view path) override { ShowDemoPath(window_, path); }
  void ReloadDemo() override { ui::ReloadDemo(window_); }
  std::string ShownDemo() override { return DemoPath(); }
  void SelectEntry(std::string_view text) override {
    LRESULT index = LB_ERR;
    if (!text.empty()) {
      const std::wstring wide = Wide(text);
      index = SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(wide.c_str()));
    }
    SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_SETCURSEL, static_cast<WPARAM>(index == LB_ERR ? -1 : index),
                        0);
  }

  // Reads the demo named in 1000 (the caller has released the map picture).
  void ReadDemo() {
    program_.demoUnreadable = !ReadDemoInfo(*this, NativeFileSystem(), program_.reader);
    SelectShownDemo(*this);
  }
  void ListFolderOf(std::string_view path) { ListFolder(*this, NativeFolderSource(), BeforeLastBackslash(path)); }

 private:
  HWND window_;
  ProgramState& program_;
};

void ReloadDemo(HWND mainWindow) {
  if (!IsOwnMainWindow(mainWindow)) return;
  ProgramState& program = StateOf(mainWindow);
  ReleaseMapPicture(program);
  MainWindowHost(mainWindow, program).ReadDemo();
}

// The demo named in the main window, or none when `mainWindow` is not our own.
std::string DemoPathOf(HWND mainWindow) {
  return IsOwnMainWindow(mainWindow) ? ControlText(mainWindow, IDC_DEMO_PATH, kPathChars) : std::string();
}

// --- The two file pickers ------------------------------------------------------

bool BrowseFile(HWND owner, std::wstring& path, const wchar_t* filter, const wchar_t* title) {
  std::array<wchar_t, kPathChars + 1> buffer{};
  path.copy(buffer.data(), std::min(path.size(), kPathChars));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = title;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return false;
  path = buffer.data();
  return true;
}

bool BrowseDemos(HWND owner, std::wstring& path) {
  return BrowseFile(owner, path, L"Demo Files (*.dem)\0*.dem\0All Files (*.*)\0*.*\0", L"Browse Demos");
}

bool BrowseExecutable(HWND owner, std::wstring& path) {
  return BrowseFile(owner, path, L"Executable Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0",
                    L"Browse Half-Life Executable");
}

// --- Commands --------------------------------------------------------------------

void OnReadAgain(HWND window, MainWindowHost& host) {
  ReleaseMapPicture(StateOf(window));
  if (!host.DemoPath().empty()) host.ReadDemo();
}

void OnBrowseDemo(HWND window, MainWindowHost& host) {
  std::wstring path = Wide(host.DemoPath());
  if (BrowseDemos(window, path)) {
    std::string chosen = Narrow(path);
    host.SetDemoPath(chosen);
    host.ListFolderOf(chosen);
  }
  // Chosen or cancelled alike, the demo in the field is read again.
  ReleaseMapPicture(StateOf(window));
  if (!path.empty()) host.ReadDemo();
}

void OnBrowseGame(HWND window, MainWindowHost& host) {
  std::wstring path = Wide(host.ControlText(IDC_GAME_PATH, kPathChars));
  if (BrowseExecutable(window, path)) host.SetControlText(IDC_GAME_PATH, Narrow(path));
}

// Clicks and keys that came while the window could not take them (the game
// ran) are dropped: a second click on "Смотреть" must not start it again.
void DropQueuedInput() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
}

void OnPlay(HWND window, MainWindowHost& host) {
  if (StateOf(window).demoUnreadable) {
    ShowInfo(text::kPlayUnreadable);
    return;
  }
  // The mod as the window shows it: the demo's bytes, read as UTF-8 or ANSI.
  std::string mod = Narrow(DemoTextToWide(StateOf(window).reader.currentMod));
  LaunchGame(host, NativeGamePlatform(), mod);
  DropQueuedInput();
  CenterOnScreen(window);
}

void OnSaveSettings(HWND window, MainWindowHost& host) {
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  SaveSettings(host, *registry, StateOf(window).unshownSettings);
  ShowInfo(text::kSettingsSaved);
}

// The resolution dialog, the details view and the repair need a demo path of
// two characters or more; otherwise the box "Демка не загр.." says so.
bool DemoNamedOrSay(MainWindowHost& host) {
  if (Utf16Length(host.DemoPath()) >= 2) return true;
  ShowInfo(text::kNoDemoNamed);
  return false;
}

// The dialog converts the demo the main window names when OK is pressed, and
// has the window read it again, as long as the window is still ours.
void OnConvertResolution(HWND window, MainWindowHost& host) {
  if (!DemoNamedOrSay(host)) return;
  RunResolutionDialog({StateOf(window).instance, [window] { return DemoPathOf(window); },
                       [window] { ReloadDemo(window); }});
}

// --- The demo commands of the system menu and the right-click menus ---------------

void RepairDemo(HWND window, MainWindowHost& host) {
  RepairUnfinishedDemo(host, NativeFileSystem());
  // Whatever the repair did, the window shows the demo as it now is.
  ReloadDemo(window);
}

void OnRepairDemo(HWND window, MainWindowHost& host) {
  if (DemoNamedOrSay(host)) RepairDemo(window, host);
}

void OnDemoDetails(HWND window, MainWindowHost& host) {
  if (!DemoNamedOrSay(host)) return;
  const std::string path = host.DemoPath();
  // The main window stays usable while the view is open: the view's button
  // repairs the view's demo, whatever the path field has come to hold.
  RunDetailsDialog(StateOf(window).instance, path, [window, &host, &path] {
    host.SetDemoPath(path);
    RepairDemo(window, host);
  });
}

void OnTimeline(HWND window, MainWindowHost& host) {
  if (DemoNamedOrSay(host)) RunTimelineDialog(StateOf(window).instance, host.DemoPath());
}

// --- The library -------------------------------------------------------------------

// Shows a demo of the library as a double-click in the folder list does, and
// brings the window in front of the library with it.
void OpenFromLibrary(HWND window, const std::string& path) {
  if (!IsOwnMainWindow(window)) return;
  ShowDemoPath(window, path);
  ReloadDemo(window);
  SetForegroundWindow(window);
}

// The library changed these demos on disk: the window reads its own again when it is one of them.
void ReloadIfShown(HWND window, const std::vector<std::string>& paths) {
  const std::wstring shown = Wide(DemoPathOf(window));
  for (const std::string& path : paths) {
    const std::wstring changed = Wide(path);
    if (!shown.empty() && CompareStringOrdinal(shown.c_str(), static_cast<int>(shown.size()), changed.c_str(),
                                               static_cast<int>(changed.size()), TRUE) == CSTR_EQUAL) {
      ReloadDemo(window);
      return;
    }
  }
}

// The library of the folder the folder list shows (field 1031 without its
// trailing backslash); of the program's folder when the field is empty.
void OnLibrary(HWND window, MainWindowHost& host) {
  std::string folder = host.FolderField();
  if (folder.ends_with('\\')) folder.pop_back();
  if (folder.empty()) folder = StateOf(window).reader.programFolder;
  RunLibraryDialog({StateOf(window).instance, folder,
                    [window](const std::string& path) { OpenFromLibrary(window, path); },
                    [window](const std::vector<std::string>& paths) { ReloadIfShown(window, paths); }});
}

// A right-click on the information box, or on a demo in the folder list, which
// is opened first, as its double-click does: the commands act on the demo shown.
void OnContextMenu(HWND window, HWND clicked, LPARAM point) {
  MainWindowHost host(window, StateOf(window));
  POINT at{};
  switch (FindMenuSpot(window, clicked, point, at)) {
    case MenuSpot::kNone: return;
    case MenuSpot::kInfoBox: break;
    case MenuSpot::kFolderEntry:
      if (!SelectedEntryIsDemo(host, NativeFolderSource())) return;
      OpenListEntry(host, NativeFolderSource());
      break;
  }
  ShowDemoMenu(window, at);
}

// The main window's end is the program's: the windows it opened go with it,
// and none is left open and alone while the process holds its instance.
void EndProgram(HWND window, INT_PTR result) {
  EndDialog(window, result);
  EndOtherDialogs(window);
}

INT_PTR OnCommand(HWND window, WPARAM wParam) {
  MainWindowHost host(window, StateOf(window));
  switch (LOWORD(wParam)) {
    case IDOK: OnReadAgain(window, host); break;
    case IDCANCEL: EndProgram(window, IDCANCEL); break;
    case IDC_BROWSE_DEMO: OnBrowseDemo(window, host); break;
    case IDC_PLAY: OnPlay(window, host); break;
    case IDC_SAVE_SETTINGS: OnSaveSettings(window, host); break;
    case IDC_BROWSE_GAME: OnBrowseGame(window, host); break;
    case IDC_FOLDER_LIST:
      if (HIWORD(wParam) == LBN_DBLCLK) OpenListEntry(host, NativeFolderSource());
      break;
    case IDM_OPEN_FOLDER_ENTRY: OpenListEntry(host, NativeFolderSource()); break;
    case IDM_LIST_TYPED_FOLDER: ListTypedFolder(host, NativeFolderSource()); break;
    case IDC_STRIP_TEAM_CHAT: StripTeamChat(host, NativeFileSystem()); break;
    case IDC_CONVERT_RESOLUTION: OnConvertResolution(window, host); break;
    case IDC_TRIM_LOADING: TrimLoadingSegment(host, NativeFileSystem()); break;
    case IDC_REMOVE_FADE: RemoveFadeToBlack(host, NativeFileSystem()); break;
    case IDM_DEMO_DETAILS: OnDemoDetails(window, host); break;
    case IDM_REPAIR_DEMO: OnRepairDemo(window, host); break;
    case IDM_TIMELINE: OnTimeline(window, host); break;
    case IDM_LIBRARY:
    case IDC_LIBRARY_OPEN: OnLibrary(window, host); break;
    default: break;
  }
  return TRUE;
}

// The demo commands run as from the right-click menu; the system's own go on.
INT_PTR OnSysCommand(HWND window, WPARAM wParam) {
  std::optional<int> command = DemoCommandOf(wParam);
  return command ? OnCommand(window, static_cast<WPARAM>(*command)) : FALSE;
}

// --- Messages --------------------------------------------------------------------

INT_PTR OnInitDialog(HWND window, ProgramState& program) {
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&program));
  mainSkin = StartSkinnedDialog(window, program.instance, IDB_MAIN_SKIN);
  AddDemoCommandsToSystemMenu(window);
  AddLibraryButtonTip(window);
  AddDemoPathTip(window);
  program.reader.playersFromRoster = true;

  MainWindowHost host(window, program);
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  program.unshownSettings = LoadSettings(host, *registry);
  FillFoundGame(window);
  TakeUnshownTexts(host, program.unshownSettings);

  if (program.pendingDemoPath.size() >= 3) {
    host.SetDemoPath(program.pendingDemoPath);
    ReleaseMapPicture(program);
    host.ListFolderOf(program.pendingDemoPath);
    host.ReadDemo();
  } else {
    ListFolder(host, NativeFolderSource(), StartFolderOf(window, program.reader.programFolder));
  }
  return TRUE;  // the dialog manager focuses the first tab stop
}

INT_PTR OnPaint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  DrawBitmap(dc, mainSkin, 0, 0);
  DrawBitmap(dc, StateOf(window).mapPicture, kMapBoxX, kMapBoxY);
  EndPaint(window, &ps);
  return TRUE;
}

INT_PTR OnHandOver(HWND window, LPARAM lParam) {
  ShowWindow(window, SW_SHOWNORMAL);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (data == nullptr || data->lpData == nullptr) return TRUE;
  std::optional<std::string> path =
      ReadHandOver(data->dwData, ByteView(static_cast<const std::uint8_t*>(data->lpData), data->cbData),
                   NativeAnsiCodePage());
  if (!path) return TRUE;
  ProgramState& program = StateOf(window);
  program.pendingDemoPath = *path;
  if (Wide(*path).size() >= 3) {
    ShowDemoPath(window, *path);
    ReloadDemo(window);
  }
  return TRUE;
}

// Enter opens what is chosen: in the demo path field it reads the typed demo
// (the OK command), in the folder list the selected entry, in the folder field
// the typed folder; elsewhere the dialog manager presses the default button.
INT_PTR OnDefaultButton(HWND window) {
  const HWND focus = GetFocus();
  int command = 0;
  if (focus == GetDlgItem(window, IDC_DEMO_PATH)) command = IDOK;
  if (focus == GetDlgItem(window, IDC_FOLDER_LIST)) command = IDM_OPEN_FOLDER_ENTRY;
  if (focus == GetDlgItem(window, IDC_FOLDER_PATH)) command = IDM_LIST_TYPED_FOLDER;
  if (command == 0) return FALSE;
  SetWindowLongPtrW(window, DWLP_MSGRESULT, MAKELONG(command, DC_HASDEFID));
  return TRUE;
}

void OnDestroy(HWND window) {
  ReleaseMapPicture(StateOf(window));
  ReleaseSkin(mainSkin);
  ReleaseSharedSkin();
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing may leave a window procedure as an exception: an unexpected one
  // ends the message as not handled, and the window goes on.
  try {
    // Until it has initialised, the window holds no state to work on.
    if (message != WM_INITDIALOG && GetWindowLongPtrW(window, DWLP_USER) == 0) return FALSE;
    switch (message) {
      case WM_INITDIALOG: return OnInitDialog(window, *reinterpret_cast<ProgramState*>(lParam));
      case WM_PAINT: return OnPaint(window);
      case WM_COMMAND: return OnCommand(window, wParam);
      case WM_COPYDATA: return OnHandOver(window, lParam);
      case DM_GETDEFID: return OnDefaultButton(window);
      case WM_CLOSE: EndProgram(window, 0); return TRUE;
      case WM_DESTROY: OnDestroy(window); return FALSE;
      case WM_SYSCOMMAND: return OnSysCommand(window, wParam);
      case WM_CONTEXTMENU: OnContextMenu(window, reinterpret_cast<HWND>(wParam), lParam); return TRUE;
      case WM_NOTIFY: return OnDemoPathTip(window, reinterpret_cast<NMHDR*>(lParam));
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
        return SkinControlColour(message, wParam, true);
      default: return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

INT_PTR RunMainWindow(ProgramState& program) {
  CreateSharedSkin();
  return DialogBoxParamW(program.instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainWindowProc,
                         reinterpret_cast<LPARAM>(&program));
}

}  // namespace rewindor::ui
