// A throwaway dialog program that the driver's own tests work against: a modal
// dialog titled "Rewindor" with the same kinds of controls, ids and message
// boxes as the real main window, and a known answer for each action.
//
//   edit 1000       the command line at start; the double-clicked entry later
//   static 1007     the outcome of the last button
//   edit 1031       the working folder at start
//   list 1028       "b.dem", "[..]", "a.dem" (sorted); double-click -> 1000
//   list 1037       "Zed", "alpha", "Alpha" (sorted)
//   check box 1041
//   button 1010     OK/Cancel question box "Rewindor"; 1007 = "OK view=<0|1>" or "Cancel view=..."
//   button 1012     information box "Rewindor" with OK
//   button 1049     information box "Error" with OK, text joined with ": "
//   button 1029     warning box "Rewindor" with OK
//   button 1030     busy for three seconds (answers no message meanwhile)
//   Esc ends with exit code 2, the close box with 0.
#include <windows.h>

#include <string>
#include <vector>

namespace {

// An in-memory dialog template, built item by item (DWORD-aligned records).
class Template {
 public:
  Template(const wchar_t* title, short cx, short cy) {
    Dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE);
    Dword(0);
    count_at_ = words_.size();
    Word(0);
    Word(10);
    Word(10);
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // default class
    Text(title);
    Word(8);
    Text(L"MS Shell Dlg");
  }

  void Add(WORD atom, int id, const wchar_t* text, DWORD style, short x, short y, short cx, short cy) {
    if (words_.size() % 2) Word(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    for (short v : {x, y, cx, cy}) Word(static_cast<WORD>(v));
    Word(static_cast<WORD>(id));
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);
    ++words_[count_at_];
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const wchar_t* s) {
    for (; *s; ++s) Word(static_cast<WORD>(*s));
    Word(0);
  }
  std::vector<WORD> words_;
  std::size_t count_at_ = 0;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83;

void Show(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const wchar_t* args = GetCommandLineW();
      // Skip the program's own (quoted) name as the start-up code would.
      if (*args == L'"') {
        ++args;
        while (*args && *args != L'"') ++args;
        if (*args) ++args;
      } else {
        while (*args > L' ') ++args;
      }
      while (*args == L' ') ++args;
      Show(dialog, 1000, args);
      wchar_t folder[MAX_PATH];
      GetCurrentDirectoryW(MAX_PATH, folder);
      Show(dialog, 1031, folder);
      for (const wchar_t* item : {L"b.dem", L"[..]", L"a.dem"}) {
        SendDlgItemMessageW(dialog, 1028, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      for (const wchar_t* item : {L"Zed", L"alpha", L"Alpha"}) {
        SendDlgItemMessageW(dialog, 1037, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case 1010: {
          int answer = MessageBoxW(nullptr, L"Смотреть демку?", L"Rewindor", MB_OKCANCEL | MB_ICONQUESTION);
          std::wstring view = IsDlgButtonChecked(dialog, 1041) == BST_CHECKED ? L"1" : L"0";
          Show(dialog, 1007, (answer == IDOK ? L"OK view=" : L"Cancel view=") + view);
          return TRUE;
        }
        case 1012:
          MessageBoxW(nullptr, L"Настройки сохранены успеш..", L"Rewindor", MB_OK | MB_ICONINFORMATION);
          Show(dialog, 1007, L"saved");
          return TRUE;
        case 1049:
          MessageBoxW(nullptr, L"Нельзя открыть demo-файл: File not found.\r\n", L"Error", MB_OK | MB_ICONINFORMATION);
          return TRUE;
        case 1029:
          MessageBoxW(nullptr, L"Careful", L"Rewindor", MB_OK | MB_ICONWARNING);
          return TRUE;
        case 1030:
          Sleep(3000);
          Show(dialog, 1007, L"rested");
          return TRUE;
        case 1028:
          if (HIWORD(wparam) == LBN_DBLCLK) {
            auto index = SendDlgItemMessageW(dialog, 1028, LB_GETCURSEL, 0, 0);
            wchar_t item[256] = L"";
            if (index >= 0) SendDlgItemMessageW(dialog, 1028, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
            Show(dialog, 1000, item);
          }
          return TRUE;
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Template t(L"Rewindor", 400, 200);
  t.Add(kEdit, 1000, L"", ES_AUTOHSCROLL | WS_TABSTOP, 10, 10, 200, 12);
  t.Add(kStatic, 1007, L"", SS_LEFT, 10, 30, 200, 40);
  t.Add(kEdit, 1031, L"", ES_AUTOHSCROLL | WS_TABSTOP, 220, 10, 170, 12);
  t.Add(kListBox, 1028, L"", LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, 220, 30, 80, 60);
  t.Add(kListBox, 1037, L"", LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, 310, 30, 80, 60);
  t.Add(kButton, 1041, L"", BS_AUTOCHECKBOX | WS_TABSTOP, 10, 80, 16, 8);
  t.Add(kButton, 1010, L"Смотреть", BS_PUSHBUTTON | WS_TABSTOP, 10, 100, 60, 14);
  t.Add(kButton, 1012, L"Сохранить", BS_PUSHBUTTON | WS_TABSTOP, 80, 100, 60, 14);
  t.Add(kButton, 1049, L"Убрать F2B", BS_PUSHBUTTON | WS_TABSTOP, 150, 100, 60, 14);
  t.Add(kButton, 1029, L"Warn", BS_PUSHBUTTON | WS_TABSTOP, 10, 120, 60, 14);
  t.Add(kButton, 1030, L"Busy", BS_PUSHBUTTON | WS_TABSTOP, 80, 120, 60, 14);
  return static_cast<int>(DialogBoxIndirectParamW(instance, t.get(), nullptr, DialogProc, 0));
}
