// The program's entry: start-up facts and the file association (app/), then
// either the hand-over to a running instance or the main window.
#include <windows.h>
#include <commctrl.h>

#include "app/startup.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/program_state.h"
#include "ui/win_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace rewindor;
  try {
    StartupFacts facts = PrepareStartup();
    for (const AssociationFailure& failure : facts.associationFailures) ui::ReportError(failure.text, failure.why);
    InstanceGuard guard;
    if (!guard.BecomeFirstInstance() && !guard.HandOverOrTakeOver(facts.pendingDemoPath)) return 0;
    // The list view of the library and the tips of the main window.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    ui::ProgramState program;
    program.instance = instance;
    program.executablePath = facts.executablePath;
    program.pendingDemoPath = facts.pendingDemoPath;
    program.reader.programFolder = facts.programFolder;
    program.reader.decodeDemoText = ui::DemoTextAsShown;
    ui::RunMainWindow(program);
    guard.Release();
  } catch (...) {
    // Nothing is left to report to: the window is gone. The exit code stays 0.
  }
  return 0;
}
