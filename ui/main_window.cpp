#include "ui/main_window.h"

#include <commdlg.h>

#include <array>
#include <string_view>

#include "app/hand_over.h"
#include "demo/ascii.h"
#include "demo/info.h"
#include "demo/messages.h"
#include "demo/names.h"
#include "demo/read_info.h"
#include "demo/registry.h"
#include "launch/launcher.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "ui/demo_menu.h"
#include "ui/details_dialog.h"
#include "ui/edit_commands.h"
#include "ui/folder_list.h"
#include "ui/game_start.h"
#include "ui/library_dialog.h"
#include "ui/map_overview.h"
#include "ui/message_box.h"
#include "ui/resolution_dialog.h"
#include "ui/skin.h"
#include "ui/timeline_dialog.h"
#include "ui/texts.h"
#include "ui/win_text.h"

namespace rewindor::ui {

namespace {

constexpr std::size_t kPathChars = kMaxPathChars;  // 259: every path field

// The main window: the skinned dialog that owns every command of dialog 101.
class MainWindow final : public SkinnedDialog {
 public:
  explicit MainWindow(ProgramState& program) : program_(program) {}
  ProgramState& Program() { return program_; }

  INT_PTR OnInit(HWND window) override;
  INT_PTR OnCommand(HWND window, int id, int code) override;
  INT_PTR OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnPaintOverSkin(HWND window, HDC dc) override;
  void OnCloseBox(HWND window) override;
  void OnDestroy(HWND window) override;

 private:
  ProgramState& program_;
};

// Only for the main window's own handle, or one IsOwnMainWindow has checked.
ProgramState& StateOf(HWND window) { return static_cast<MainWindow*>(SkinnedDialogOf(window))->Program(); }

void ReleaseMapPicture(ProgramState& program) {
  if (program.mapPicture) {
    DeleteObject(program.mapPicture);
    program.mapPicture = nullptr;
  }
}

// True only for this program's own main window: a skinned dialog of this
// thread that runs the MainWindow. Any other window, also one titled
// "Rewindor" (one of our message boxes or dialogs, or another program's), is
// not: a handle that a dialog hands back is trusted only after this check.
bool IsOwnMainWindow(HWND window) { return dynamic_cast<MainWindow*>(SkinnedDialogOf(window)) != nullptr; }

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
class MainWindowHost final : public FolderListWindow {
 public:
  MainWindowHost(HWND window, ProgramState& program) : window_(window), program_(program) {}

  // Shared by several commands.
  std::string DemoPath() { return ui::ControlText(window_, IDC_DEMO_PATH, kPathChars); }
  MessageBoxes& Boxes() override { return NativeMessageBoxes(); }

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
    SendDlgItemMessageW(window_, IDC_FOLDER_LIST, LB_SETCURSEL, static_cast<WPARAM>(index == LB_ERR ? -1 : index), 0);
  }

  // Reads the demo named in 1000 and shows it (the caller has released the map picture).
  void ReadDemo() {
    const std::string game = NamedGameFolder(window_);
    const HWND list = GetDlgItem(window_, IDC_PLAYER_LIST);
    const ReaderState& reader = program_.reader;
    // Names are one when the list's own case-blind look-up finds them equal.
    const DemoReportOptions options{.programFolder = reader.programFolder,
                                    .gameFolder = game,
                                    .decodeDemoText = reader.decodeDemoText,
                                    .playerKey = [list](std::string_view name) { return ListEntryKey(list, name); },
                                    .playersFromRoster = reader.playersFromRoster,
                                    .window = reader.window};
    program_.demoUnreadable = !ShowDemo(ReadDemoReport(NativeFileSystem(), DemoPath(), options));
    SelectShownDemo(*this);
  }
  void ListFolderOf(std::string_view path) { ListFolder(*this, NativeFolders(), BeforeLastBackslash(path)); }

 private:
  // The demo's information, players and map picture, then one repaint; after
  // a failed read the error box, and then the window empties. True when read.
  bool ShowDemo(const DemoReport& report) {
    if (report.error) {
      ui::ReportError(report.error->text, report.error->why);
      ShowUnreadable(report.error->why);
      return false;
    }
    ClearPlayers();
    for (const std::string& name : report.players) AddPlayer(name);
    if (report.playersNotListed > 0) AddPlayersNotListed(report.playersNotListed);
    SetInfoText(report.summary);
    program_.reader.currentMod = report.mod;
    LoadMapPicture(report);
    Redraw();
    return true;
  }

  // One demo on screen at a time: after a failed read nothing of the demo
  // shown before stays.
  void ShowUnreadable(const SystemError& why) {
    ClearPlayers();
    SetInfoText(UnreadableDemoText(why));
    ReleaseMapPicture(program_);
    Redraw();
  }

  // The program folder's picture at its own size; without one, the first of
  // the game's overviews that loads, fitted to the box. None, silently, when
  // no file loads.
  void LoadMapPicture(const DemoReport& report) {
    if (report.picture) {
      program_.mapPicture =
          static_cast<HBITMAP>(LoadImageW(nullptr, Wide(*report.picture).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    }
    for (std::size_t i = 0; program_.mapPicture == nullptr && i < report.overviews.size(); ++i) {
      program_.mapPicture = LoadFittedOverview(report.overviews[i], SkinBitmapOf(window_));
    }
  }

  void SetInfoText(std::string_view text) { SetDlgItemTextW(window_, IDC_DEMO_INFO, DemoTextToWide(text).c_str()); }
  void ClearPlayers() { SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_RESETCONTENT, 0, 0); }
  void AddPlayer(std::string_view name) {
    std::wstring wide = DemoTextToWide(name);
    SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  // Inserted, not added: the sorted list keeps it last, below the names.
  void AddPlayersNotListed(std::uint64_t count) {
    std::wstring wide = Wide(NotListedText(count));
    SendDlgItemMessageW(window_, IDC_PLAYER_LIST, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(wide.c_str()));
  }
  void Redraw() { RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE); }

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

void OnBrowseGame(HWND window) {
  std::wstring path = Wide(ControlText(window, IDC_GAME_PATH, kPathChars));
  if (BrowseExecutable(window, path)) SetControlText(window, IDC_GAME_PATH, Narrow(path));
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

bool IsChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

// What "Смотреть" plays: the fields and boxes as they are now, and the mod of
// the demo read last as the window shows it (its bytes read as UTF-8 or ANSI).
LaunchRequest LaunchRequestOf(HWND window) {
  LaunchRequest request;
  request.demoPath = ControlText(window, IDC_DEMO_PATH, kPathChars);
  request.gamePath = ControlText(window, IDC_GAME_PATH, kPathChars);
  request.gameOptions = ControlText(window, IDC_GAME_OPTIONS, kPathChars);
  request.demoSpeed = ControlText(window, IDC_DEMO_SPEED, kPathChars);
  request.viewDemo = IsChecked(window, IDC_VIEWDEMO);
  request.timeDemo = IsChecked(window, IDC_TIMEDEMO);
  request.startMovie = IsChecked(window, IDC_STARTMOVIE);
  request.mod = Narrow(DemoTextToWide(StateOf(window).reader.currentMod));
  return request;
}

void ShowLaunchOutcome(const LaunchOutcome& outcome) {
  switch (outcome.kind) {
    case LaunchOutcome::Kind::kPlayed: break;
    case LaunchOutcome::Kind::kRefused: ShowInfo(outcome.text); break;
    case LaunchOutcome::Kind::kFailed: ReportError(outcome.text, outcome.why); break;
  }
}

void OnPlay(HWND window) {
  if (StateOf(window).demoUnreadable) {
    ShowInfo(text::kPlayUnreadable);
    return;
  }
  ShowLaunchOutcome(LaunchGame(LaunchRequestOf(window), NativeGamePlatform()));
  DropQueuedInput();
  CenterOnScreen(window);
}

// --- The settings: fields 1011, 1013 and 1026 ------------------------------------

Settings SettingsShown(HWND window) {
  return {ControlText(window, IDC_GAME_PATH, kPathChars), ControlText(window, IDC_GAME_OPTIONS, kPathChars),
          ControlText(window, IDC_DEMO_SPEED, kPathChars)};
}

void ShowSettings(HWND window, const Settings& settings) {
  SetControlText(window, IDC_GAME_PATH, settings.gamePath);
  SetControlText(window, IDC_GAME_OPTIONS, settings.gameOptions);
  SetControlText(window, IDC_DEMO_SPEED, settings.demoSpeed);
}

void ReportSettingsErrors(const SettingsErrors& errors) {
  for (const SettingsError& error : errors) ReportError(error.text, error.why);
}

// The saved settings in the fields, the found game in an empty game path field.
void LoadSettingsInto(HWND window, ProgramState& program) {
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  LoadedSettings loaded = LoadSettings(*registry, SettingsShown(window));
  ReportSettingsErrors(loaded.errors);
  FillFoundGame(loaded.settings);
  ShowSettings(window, loaded.settings);
  // As the fields hold them: a field may show a text otherwise than it was stored.
  TakeUnshownTexts(SettingsShown(window), loaded.unshown);
  program.unshownSettings = std::move(loaded.unshown);
}

void OnSaveSettings(HWND window) {
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  ReportSettingsErrors(SaveSettings(*registry, SettingsShown(window), StateOf(window).unshownSettings));
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
  RunResolutionDialog(
      {StateOf(window).instance, [window] { return DemoPathOf(window); }, [window] { ReloadDemo(window); }});
}

// --- The demo commands of the system menu and the right-click menus ---------------

void RepairDemo(HWND window, MainWindowHost& host) {
  RepairUnfinishedDemo(NativeMessageBoxes(), NativeFileSystem(), host.DemoPath());
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
      if (!SelectedEntryIsDemo(host, NativeFolders())) return;
      OpenListEntry(host, NativeFolders());
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

INT_PTR RunCommand(HWND window, int id, int code) {
  MainWindowHost host(window, StateOf(window));
  switch (id) {
    case IDOK: OnReadAgain(window, host); break;
    case IDCANCEL: EndProgram(window, IDCANCEL); break;
    case IDC_BROWSE_DEMO: OnBrowseDemo(window, host); break;
    case IDC_PLAY: OnPlay(window); break;
    case IDC_SAVE_SETTINGS: OnSaveSettings(window); break;
    case IDC_BROWSE_GAME: OnBrowseGame(window); break;
    case IDC_FOLDER_LIST:
      if (code == LBN_DBLCLK) OpenListEntry(host, NativeFolders());
      break;
    case IDM_OPEN_FOLDER_ENTRY: OpenListEntry(host, NativeFolders()); break;
    case IDM_LIST_TYPED_FOLDER: ListTypedFolder(host, NativeFolders()); break;
    case IDC_STRIP_TEAM_CHAT: StripTeamChat(NativeMessageBoxes(), NativeFileSystem(), host.DemoPath()); break;
    case IDC_CONVERT_RESOLUTION: OnConvertResolution(window, host); break;
    case IDC_TRIM_LOADING: TrimLoadingSegment(NativeMessageBoxes(), NativeFileSystem(), host.DemoPath()); break;
    case IDC_REMOVE_FADE: RemoveFadeToBlack(NativeMessageBoxes(), NativeFileSystem(), host.DemoPath()); break;
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
  return command ? RunCommand(window, *command, 0) : FALSE;
}

// --- Messages --------------------------------------------------------------------

INT_PTR OnInitDialog(HWND window, ProgramState& program) {
  AddDemoCommandsToSystemMenu(window);
  AddLibraryButtonTip(window);
  AddDemoPathTip(window);
  program.reader.playersFromRoster = true;

  LoadSettingsInto(window, program);
  MainWindowHost host(window, program);

  if (program.pendingDemoPath.size() >= 3) {
    host.SetDemoPath(program.pendingDemoPath);
    ReleaseMapPicture(program);
    host.ListFolderOf(program.pendingDemoPath);
    host.ReadDemo();
  } else {
    ListFolder(host, NativeFolders(), StartFolderOf(window, program.reader.programFolder));
  }
  return TRUE;  // the dialog manager focuses the first tab stop
}

INT_PTR OnHandOver(HWND window, LPARAM lParam) {
  ShowWindow(window, SW_SHOWNORMAL);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (data == nullptr || data->lpData == nullptr) return TRUE;
  std::optional<std::string> path = ReadHandOver(
      data->dwData, ByteView(static_cast<const std::uint8_t*>(data->lpData), data->cbData), NativeAnsiCodePage());
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

// The messages of the main window alone; the shared procedure has the rest.
INT_PTR OnMainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COPYDATA: return OnHandOver(window, lParam);
    case DM_GETDEFID: return OnDefaultButton(window);
    case WM_SYSCOMMAND: return OnSysCommand(window, wParam);
    case WM_CONTEXTMENU: OnContextMenu(window, reinterpret_cast<HWND>(wParam), lParam); return TRUE;
    case WM_NOTIFY: return OnDemoPathTip(window, reinterpret_cast<NMHDR*>(lParam));
    default: return FALSE;
  }
}

INT_PTR MainWindow::OnInit(HWND window) { return OnInitDialog(window, program_); }

INT_PTR MainWindow::OnCommand(HWND window, int id, int code) { return RunCommand(window, id, code); }

INT_PTR MainWindow::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return OnMainMessage(window, message, wParam, lParam);
}

void MainWindow::OnPaintOverSkin(HWND, HDC dc) { DrawBitmap(dc, program_.mapPicture, kMapBoxX, kMapBoxY); }

void MainWindow::OnCloseBox(HWND window) { EndProgram(window, 0); }

void MainWindow::OnDestroy(HWND) {
  ReleaseMapPicture(program_);
  ReleaseSharedSkin();
}

}  // namespace

INT_PTR RunMainWindow(ProgramState& program) {
  CreateSharedSkin();
  MainWindow mainWindow(program);
  return RunSkinnedDialog({program.instance, IDD_MAIN, IDB_MAIN_SKIN, true, nullptr}, mainWindow);
}

}  // namespace rewindor::ui
