// Resource identifiers shared by res/rewindor.rc and the program's C++ code.
// Plain macros only: the resource compiler reads this file too.
#pragma once

// Dialog templates.
#define IDD_MAIN 101        // the main window, caption "Rewindor"
#define IDD_RESOLUTION 139  // the resolution dialog
#define IDD_DETAILS 140     // the details view of the current demo
#define IDD_LIBRARY 142     // the library: every demo of a folder in one table

// Skin bitmaps and the program icon.
#define IDB_MAIN_SKIN 117     // 855 x 500, 256 colours
#define IDB_DIALOG_SKIN 140   // 280 x 154, 256 colours
#define IDB_DETAILS_SKIN 141  // 375 x 325, 256 colours
#define IDI_PROGRAM 111       // 16 x 16 and 32 x 32

// Main window controls (dialog 101).
#define IDC_DEMO_PATH 1000
#define IDC_BROWSE_DEMO 1001
#define IDC_DEMO_INFO 1007
#define IDC_PLAY 1010
#define IDC_GAME_PATH 1011
#define IDC_SAVE_SETTINGS 1012
#define IDC_GAME_OPTIONS 1013
#define IDC_BROWSE_GAME 1021
#define IDC_DEMO_SPEED 1026
#define IDC_FOLDER_LIST 1028
#define IDC_STRIP_TEAM_CHAT 1029
#define IDC_CONVERT_RESOLUTION 1030
#define IDC_FOLDER_PATH 1031
#define IDC_PLAYER_LIST 1037
#define IDC_VIEWDEMO 1041
#define IDC_TIMEDEMO 1042
#define IDC_STARTMOVIE 1046
#define IDC_TRIM_LOADING 1048
#define IDC_REMOVE_FADE 1049

// Resolution dialog controls (dialog 139); OK and Cancel keep IDOK (1) and IDCANCEL (2).
#define IDC_NEW_WIDTH 1035
#define IDC_NEW_HEIGHT 1036
#define IDC_CURRENT_WIDTH 1038
#define IDC_CURRENT_HEIGHT 1040

// Details view controls (dialog 140); its close button keeps IDCANCEL (2).
#define IDC_DETAILS_TEXT 1151
#define IDC_DETAILS_REPAIR 1152

// The demo commands of the main window's system menu and right-click menus.
// The system keeps the low four bits of a system-menu command for itself: the
// details and the repair are multiples of 16 and are told after masking them
// off; the library and the timeline are not, and are told whole before it.
#define IDM_DEMO_DETAILS 1104  // 0x450
#define IDM_REPAIR_DEMO 1120   // 0x460
// The library; masked it would read as 1120.
#define IDM_LIBRARY 1130  // 0x46A
// The timeline ("Ход игры…"); like the library, compared whole (masked it reads as 1120).
#define IDM_TIMELINE 1131  // 0x46B

// Library dialog controls.
#define IDC_LIBRARY_LIST 1161            // list view, report view, full-row select
#define IDC_LIBRARY_FILTER 1162          // the filter field
#define IDC_LIBRARY_SUBFOLDERS 1163      // check box: subfolders too
#define IDC_LIBRARY_REPAIR 1164          // button: repair the unfinished demos shown
#define IDC_LIBRARY_STATUS 1165          // the count shown and the reading progress
#define IDM_LIBRARY_SHOW_IN_FOLDER 1166  // a row's right-click menu: show in Explorer
#define IDC_LIBRARY_FIND_LABEL 1168      // the filter field's label

// The timeline dialog and its controls; the details view's button that opens it.
#define IDD_TIMELINE 1173
#define IDC_TIMELINE_LIST 1171        // list view, report view: time, round, what happened
#define IDC_TIMELINE_FILTER 1172      // the filter field
#define IDC_TIMELINE_SUMMARY 1174     // the final score and the players' kills and deaths
#define IDC_TIMELINE_FIND_LABEL 1175  // the filter field's label
#define IDC_TIMELINE_STATUS 1176      // "N из M", or that the demo is being read
#define IDC_DETAILS_TIMELINE 1177     // details view (dialog 140): opens the timeline

// The main window's button that opens the library (dialog 101, beside the folder field).
#define IDC_LIBRARY_OPEN 1167

// The main window's Enter where it opens what is chosen (commands of no control).
#define IDM_OPEN_FOLDER_ENTRY 1180  // Enter in the folder list: as a double-click on the selection
#define IDM_LIST_TYPED_FOLDER 1181  // Enter in the folder field: lists the folder typed there

// The library's button that changes its folder (a menu: choose one, or a recent one).
#define IDC_LIBRARY_FOLDER 1182
