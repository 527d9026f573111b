#include "ui/message_box.h"

#include <windows.h>

#include "demo/utf8.h"

namespace rewindor::ui {

namespace {

// MessageBoxW through the wide API, so that Cyrillic shows whatever the ANSI code page.
class SystemBoxes final : public MessageBoxes {
 public:
  bool Show(std::string_view caption, std::string_view text, MessageIcon icon, MessageButtons buttons) override {
    UINT style = (icon == MessageIcon::kQuestion ? MB_ICONQUESTION : MB_ICONINFORMATION) |
                 (buttons == MessageButtons::kOkCancel ? MB_OKCANCEL : MB_OK);
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), style) == IDOK;
  }
};

}  // namespace

MessageBoxes& NativeMessageBoxes() {
  static SystemBoxes boxes;
  return boxes;
}

}  // namespace rewindor::ui
