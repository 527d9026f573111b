// The window's edit commands (buttons "Убрать F2B", "Убрать слова команды",
// the resolution dialog, "Закреп. demo" and the repair): each asks, edits the
// demo at `path` (EditDemo of demo/patch_run.h) and says what came of it, in
// boxes captioned "Rewindor" and the error box. Each returns when its last
// box has been closed. Portable: the boxes are a MessageBoxes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "demo/files.h"
#include "demo/messages.h"
#include "demo/patch_run.h"
#include "ui/message_box.h"
#include "ui/texts.h"

namespace rewindor::ui {

// How the commands differ inside PatchRun.
struct PatchSettings {
  std::string_view question;     // asked (question icon, OK and Cancel) before the demo is opened
  bool shortReadInBox;           // a failed read: a "Rewindor" box, otherwise the error box
  EditTexts texts;               // what the result box says
  MessageIcon resultIcon;        // when something changed; otherwise the information icon
  MessageButtons resultButtons;  // the button pressed changes nothing
};

inline constexpr PatchSettings kRemoveFadeToBlackSettings = {text::kAskRemoveFades, true, kRemoveFadeToBlackTexts,
                                                             MessageIcon::kQuestion, MessageButtons::kOkCancel};
inline constexpr PatchSettings kStripTeamChatSettings = {text::kAskStripChat, false, kStripTeamChatTexts,
                                                         MessageIcon::kInformation, MessageButtons::kOk};
inline constexpr PatchSettings kConvertResolutionSettings = {text::kAskConvertResolution, true, kConvertResolutionTexts,
                                                             MessageIcon::kQuestion, MessageButtons::kOkCancel};
inline constexpr PatchSettings kTrimLoadingSegmentSettings = {text::kAskTrimLoading, false, kTrimLoadingSegmentTexts,
                                                              MessageIcon::kInformation, MessageButtons::kOk};
inline constexpr PatchSettings kRepairDemoSettings = {text::kAskRepairDemo, false, kRepairDemoTexts,
                                                      MessageIcon::kInformation, MessageButtons::kOk};

// Asks, edits the demo at `path` and reports.
void PatchRun(MessageBoxes& boxes, FileSystem& files, const std::string& path, const PatchSettings& settings,
              const EditStep& step);

void RemoveFadeToBlack(MessageBoxes& boxes, FileSystem& files, const std::string& path);
void StripTeamChat(MessageBoxes& boxes, FileSystem& files, const std::string& path);
// Refuses the sizes ConvertResolutionRefusal refuses before any question.
void ConvertResolution(MessageBoxes& boxes, FileSystem& files, const std::string& path, std::uint32_t currentWidth,
                       std::uint32_t currentHeight, std::uint32_t newWidth, std::uint32_t newHeight);
void TrimLoadingSegment(MessageBoxes& boxes, FileSystem& files, const std::string& path);
// Asks, repairs the unfinished demo and says what was recovered (or why not);
// the caller shows the demo as it now is afterwards.
void RepairUnfinishedDemo(MessageBoxes& boxes, FileSystem& files, const std::string& path);

}  // namespace rewindor::ui
