#include "ui/message_box.h"

#include "demo/messages.h"
#include "demo/report.h"

namespace rewindor::ui {

void MessageBoxes::Info(std::string_view text) {
  Show(text::kProgramCaption, text, MessageIcon::kInformation, MessageButtons::kOk);
}

bool MessageBoxes::Ask(std::string_view text) {
  return Show(text::kProgramCaption, text, MessageIcon::kQuestion, MessageButtons::kOkCancel);
}

void MessageBoxes::ReportError(std::string_view text, const SystemError& why) {
  Show(text::kErrorCaption, ComposeErrorReport(text, why), MessageIcon::kInformation, MessageButtons::kOk);
}

}  // namespace rewindor::ui
