// The skinned dialogs' one procedure, on a real dialog (Windows only): a
// dialog's own part hears nothing before its start, gets its private messages
// and commands after it, and no exception of its own leaves the procedure; a
// window handle leads to a dialog only when the procedure runs it.
#ifdef _WIN32
#include "ui/skin.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace rewindor::ui {
namespace {

constexpr int kBareDialog = 9001;  // tests/support/skinned_dialog_test.rc
constexpr UINT kPrivateMessage = WM_APP + 7;

class Probe final : public SkinnedDialog {
 public:
  explicit Probe(UINT first) : first_(first) {}

  INT_PTR OnInit(HWND dialog) override {
    seen.push_back(SkinnedDialogOf(dialog) == this ? "init" : "init of a dialog not found by its handle");
    PostMessageW(dialog, first_, 0, 0);
    return TRUE;
  }
  INT_PTR OnCommand(HWND dialog, int id, int) override {
    seen.push_back("command " + std::to_string(id));
    EndDialog(dialog, 42);
    return TRUE;
  }
  INT_PTR OnMessage(HWND dialog, UINT message, WPARAM, LPARAM) override {
    if (seen.empty()) seen.push_back("a message before the start");
    if (message != kPrivateMessage) return FALSE;
    seen.push_back("private");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    throw std::runtime_error("the dialog's own fault");
  }
  void OnDestroy(HWND) override { seen.push_back("destroy"); }
  void OnCloseBox(HWND dialog) override {
    seen.push_back("close");
    if (closeResult == 0) return SkinnedDialog::OnCloseBox(dialog);
    EndDialog(dialog, closeResult);
  }

  INT_PTR closeResult = 0;

  std::vector<std::string> seen;

 private:
  UINT first_;
};

// Under Wine without a display no window can be made at all.
bool CanMakeWindows() {
  HWND probe = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

TEST(SkinnedDialog, ItsOwnPartHearsOnlyWhatFollowsItsStart) {
  if (!CanMakeWindows()) GTEST_SKIP() << "no display to open a dialog on";
  const SkinnedDialogLook look{GetModuleHandleW(nullptr), kBareDialog};
  Probe probe(kPrivateMessage);
  EXPECT_EQ(RunSkinnedDialog(look, probe), 42);
  EXPECT_EQ(probe.seen, (std::vector<std::string>{"init", "private", "command 1", "destroy"}));

  Probe closed(WM_CLOSE);  // the close box ends a dialog with 0, or as its own part says
  EXPECT_EQ(RunSkinnedDialog(look, closed), 0);
  EXPECT_EQ(closed.seen, (std::vector<std::string>{"init", "close", "destroy"}));
  Probe closedOwnWay(WM_CLOSE);
  closedOwnWay.closeResult = 7;
  EXPECT_EQ(RunSkinnedDialog(look, closedOwnWay), 7);
}

TEST(SkinnedDialog, NoDialogBehindAWindowItDoesNotRun) {
  if (!CanMakeWindows()) GTEST_SKIP() << "no display to open a dialog on";
  HWND other = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(other, GWLP_USERDATA, 1);
  EXPECT_EQ(SkinnedDialogOf(other), nullptr);
  EXPECT_EQ(SkinBitmapOf(other), nullptr);
  DestroyWindow(other);
  EXPECT_EQ(SkinnedDialogOf(nullptr), nullptr);
  EXPECT_EQ(SkinnedDialogOf(GetDesktopWindow()), nullptr);
}

}  // namespace
}  // namespace rewindor::ui
#endif
