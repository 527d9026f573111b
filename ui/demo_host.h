// The edit commands' view of one demo named by its path, for the dialogs that
// edit a demo of their own (the resolution dialog, the library): its boxes
// have no owner, as the main window's do.
#pragma once

#include <string>
#include <string_view>

#include "demo/patch_run.h"
#include "ui/win_text.h"

namespace rewindor::ui {

class DemoPathHost final : public PatchWindow {
 public:
  explicit DemoPathHost(std::string demoPath) : demoPath_(std::move(demoPath)) {}
  std::string DemoPath() override { return demoPath_; }
  bool ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon,
                   MessageButtons buttons) override {
    return ui::ShowMessage(caption, text, icon, buttons);
  }
  void ReportError(std::string_view text, const SystemError& why) override { ui::ReportError(text, why); }

 private:
  std::string demoPath_;
};

}  // namespace rewindor::ui
