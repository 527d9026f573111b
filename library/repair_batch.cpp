#include "library/repair_batch.h"

#include <exception>

#include "demo/messages.h"
#include "demo/patch_run.h"
#include "demo/repair.h"
#include "demo/report.h"
#include "demo/utf8.h"
#include "library/reader.h"
#include "library/texts.h"

namespace rewindor {

namespace {

// One part of the repair's result: its title with the count, then a line a
// demo, at most kMaxRepairLines of them.
void AppendPart(std::string& text, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  if (!text.empty()) text += "\n\n";
  text += ResultText(title, lines.size());
  for (std::size_t i = 0; i < lines.size() && i < kMaxRepairLines; ++i) text.append("\n").append(lines[i]);
  if (lines.size() > kMaxRepairLines) {
    text.append("\n").append(ResultText(text::kLibraryMoreLines, lines.size() - kMaxRepairLines));
  }
}

}  // namespace

std::string LibraryRepairQuestion(std::size_t unfinished) {
  if (unfinished == 0) return text::kLibraryNothingToRepair;
  return ResultText(text::kLibraryAskRepair, unfinished);
}

LibraryRepair RepairLibraryDemos(FileSystem& files, const std::vector<LibraryFile>& demos) {
  LibraryRepair result;
  std::vector<std::string> recovered, refused;
  ImageBuffer buffer;  // for reading the demos again
  for (const LibraryFile& demo : demos) {
    RepairReport report;
    const std::string name = OneLineText(demo.fileName) + ": ";
    EditOutcome outcome;
    try {
      outcome = EditDemo(
          files, demo.path, [&](MutableByteView image) { return RepairDemo(image, report); }, false);
    } catch (const std::exception&) {
      // Out of memory inside the repair: EditDemo had written nothing yet,
      // and its temp file is gone with it.
      refused.push_back(name + UnreadableDemoText({0, text::kReasonNoMemory}));
      result.refreshed.push_back(ReadLibraryRowOrFailure(files, demo, buffer));
      continue;
    }
    if (!outcome.ok()) {
      std::string why(outcome.FailureText());
      if (outcome.failure != EditFailure::kRefused) {
        why = ComposeErrorReport(why, {outcome.why.code, UnreadableReason(outcome.why)});
      }
      refused.push_back(name + why);
    } else if (report.repaired) {
      recovered.push_back(name + RepairResultText(report));
    } else {
      refused.push_back(name + RepairResultText(report));  // whole by now: nothing to repair
    }
    result.refreshed.push_back(ReadLibraryRowOrFailure(files, demo, buffer));
  }
  result.recovered = recovered.size();
  result.refused = refused.size();
  AppendPart(result.text, text::kLibraryRepaired, recovered);
  AppendPart(result.text, text::kLibraryNotRepaired, refused);
  return result;
}

}  // namespace rewindor
