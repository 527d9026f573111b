#include "ui/edit_commands.h"

#include <functional>

#include "demo/repair.h"

namespace rewindor::ui {

namespace {

// What became of an edit of an opened demo, or of one that could not be
// opened; a successful edit is left to `showResult`.
void Report(MessageBoxes& boxes, const PatchSettings& settings, const EditOutcome& out,
            const std::function<void(const EditOutcome&)>& showResult) {
  switch (out.failure) {
    case EditFailure::kNone: showResult(out); break;
    case EditFailure::kRead:
      if (settings.shortReadInBox) {
        boxes.Info(out.FailureText());
      } else {
        boxes.ReportError(out.FailureText(), out.why);
      }
      break;
    case EditFailure::kRefused: boxes.Info(out.FailureText()); break;
    case EditFailure::kOpen:
    case EditFailure::kSize:
    case EditFailure::kWrite: boxes.ReportError(out.FailureText(), out.why); break;
  }
}

// PatchRun with the box that tells what a successful edit did left to
// `showResult`.
void RunEdit(MessageBoxes& boxes, FileSystem& files, const std::string& path, const PatchSettings& settings,
             const EditStep& step, const std::function<void(const EditOutcome&)>& showResult) {
  if (!boxes.Ask(settings.question)) return;
  // Every box about an opened demo is shown while the demo is still held, so
  // no other command can change it before the user has read the outcome.
  bool reported = false;
  EditOutcome out = EditDemo(files, path, step, /*dryRun=*/false, [&](const EditOutcome& held) {
    reported = true;
    Report(boxes, settings, held, showResult);
  });
  if (!reported) Report(boxes, settings, out, showResult);  // the demo could not be opened
}

}  // namespace

void PatchRun(MessageBoxes& boxes, FileSystem& files, const std::string& path, const PatchSettings& settings,
              const EditStep& step) {
  RunEdit(boxes, files, path, settings, step, [&](const EditOutcome& out) {
    // Nothing changed is news, not a success to confirm: always the information icon.
    const bool changed = out.changed();
    boxes.Show(text::kProgramCaption, ResultText(settings.texts, out.result.changes),
               changed ? settings.resultIcon : MessageIcon::kInformation,
               changed ? settings.resultButtons : MessageButtons::kOk);
  });
}

void RemoveFadeToBlack(MessageBoxes& boxes, FileSystem& files, const std::string& path) {
  PatchRun(boxes, files, path, kRemoveFadeToBlackSettings, RemoveFadeToBlackStep);
}

void StripTeamChat(MessageBoxes& boxes, FileSystem& files, const std::string& path) {
  PatchRun(boxes, files, path, kStripTeamChatSettings, StripTeamChatStep);
}

void ConvertResolution(MessageBoxes& boxes, FileSystem& files, const std::string& path, std::uint32_t currentWidth,
                       std::uint32_t currentHeight, std::uint32_t newWidth, std::uint32_t newHeight) {
  const std::string_view refusal = ConvertResolutionRefusal(currentWidth, currentHeight, newWidth, newHeight);
  if (!refusal.empty()) return boxes.Info(refusal);
  PatchRun(boxes, files, path, kConvertResolutionSettings, [=](MutableByteView image) {
    return ConvertResolutionStep(image, currentWidth, currentHeight, newWidth, newHeight);
  });
}

void TrimLoadingSegment(MessageBoxes& boxes, FileSystem& files, const std::string& path) {
  PatchRun(boxes, files, path, kTrimLoadingSegmentSettings, TrimLoadingSegmentStep);
}

void RepairUnfinishedDemo(MessageBoxes& boxes, FileSystem& files, const std::string& path) {
  RepairReport report;
  RunEdit(
      boxes, files, path, kRepairDemoSettings, [&](MutableByteView image) { return RepairDemo(image, report); },
      [&](const EditOutcome&) {
        boxes.Show(text::kProgramCaption, RepairResultText(report), kRepairDemoSettings.resultIcon,
                   kRepairDemoSettings.resultButtons);
      });
}

}  // namespace rewindor::ui
