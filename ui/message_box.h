// The program's message boxes: information and questions captioned
// "Rewindor", and the error box "<text>: <the system's reason>" captioned
// "Error". Every box has no owner window. Portable: the commands that talk
// through boxes take a MessageBoxes and are tested natively with a fake one;
// the system's boxes are in message_box_win.cpp.
#pragma once

#include <string_view>

#include "demo/files.h"

namespace rewindor::ui {

enum class MessageIcon { kInformation, kQuestion };
enum class MessageButtons { kOk, kOkCancel };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows one box and returns when it is closed; true when OK was pressed.
  virtual bool Show(std::string_view caption, std::string_view text, MessageIcon icon, MessageButtons buttons) = 0;

  // Captioned "Rewindor": the information icon and OK.
  void Info(std::string_view text);
  // Captioned "Rewindor": the question icon, OK and Cancel; true for OK.
  bool Ask(std::string_view text);
  // Captioned "Error": "<text>: <the system's reason>", OK.
  void ReportError(std::string_view text, const SystemError& why);
};

// The system's boxes (Windows only).
MessageBoxes& NativeMessageBoxes();

// The same boxes for window code.
inline void ShowInfo(std::string_view text) { NativeMessageBoxes().Info(text); }
inline bool Ask(std::string_view text) { return NativeMessageBoxes().Ask(text); }
inline void ReportError(std::string_view text, const SystemError& why) { NativeMessageBoxes().ReportError(text, why); }

}  // namespace rewindor::ui
