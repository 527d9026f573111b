#include "demo/patch_run.h"

#include <memory>

namespace rewindor {

namespace {

EditOutcome Failed(EditFailure failure, SystemError why) {
  EditOutcome out;
  // A writer refuses the edit in one text, whether it was there at the open
  // or came while the edit wrote.
  if (why.text == text::kReasonBeingWritten) {
    out.failure = EditFailure::kRefused;
    out.result = EditResult::Refusal(text::kReasonBeingWritten);
    return out;
  }
  out.failure = failure;
  out.why = std::move(why);
  return out;
}

// Builds the outcome of everything after a successful open.
EditOutcome EditOpened(DemoFile& file, FileSystem& files, const EditStep& step, bool dryRun) {
  Bytes image;
  const ReadOutcome read = ReadWhole(file, image);
  if (read != ReadOutcome::kOk) {
    const bool sizeFailed = read == ReadOutcome::kSizeFailed || read == ReadOutcome::kEmpty;
    return Failed(sizeFailed ? EditFailure::kSize : EditFailure::kRead, ReadFailureReason(read, files));
  }
  EditOutcome out;
  out.oldSize = image.size();
  if (!HasDemoSignature(image)) {
    out.failure = EditFailure::kRefused;
    out.result = EditResult::Refusal(text::kNotADemo);
    return out;
  }
  out.result = step(image);
  if (out.result.refused) {
    out.failure = EditFailure::kRefused;
    return out;
  }
  if (!out.changed()) {
    out.newSize = out.oldSize;  // nothing to change: the demo is left as it is, file and dates
    return out;
  }
  const ByteView stretch = ByteView(image).subspan(out.result.writeStart, out.result.writeLength);
  const ByteView appended = out.result.appended;
  if (!dryRun) {
    // The temp file goes away with `temp` whatever happens; only a successful
    // ReplaceWith has made it the demo.
    std::unique_ptr<TempFile> temp = file.CreateTemp();
    if (!temp || !temp->Write(stretch) || (!appended.empty() && !temp->Write(appended)) || !temp->Flush() ||
        !file.ReplaceWith(*temp)) {
      EditOutcome failed = Failed(EditFailure::kWrite, files.LastError());
      failed.oldSize = out.oldSize;
      return failed;
    }
  }
  out.newSize = stretch.size() + appended.size();
  return out;
}

}  // namespace

std::string_view EditOutcome::FailureText() const {
  switch (failure) {
    case EditFailure::kNone: return {};
    case EditFailure::kOpen: return text::kCannotOpenDemo;
    case EditFailure::kSize: return text::kCannotOpenDemoReason2;
    case EditFailure::kRead: return text::kCannotReadIntoMemory;
    case EditFailure::kRefused: return result.refusal;
    case EditFailure::kWrite: return text::kCannotWriteContent;
  }
  return {};
}

EditOutcome EditDemo(FileSystem& files, const std::string& path, const EditStep& step, bool dryRun,
                     const std::function<void(const EditOutcome&)>& whileHeld) {
  std::unique_ptr<DemoFile> file = dryRun ? files.OpenForReading(path) : files.OpenForEditing(path);
  if (!file) return Failed(EditFailure::kOpen, files.LastError());
  EditOutcome out = EditOpened(*file, files, step, dryRun);
  if (whileHeld) whileHeld(out);
  return out;
}

std::string ResultText(std::string_view resultText, std::uint64_t changes) {
  std::string out(resultText);
  const std::size_t at = out.find("%d");
  if (at != std::string::npos) out.replace(at, 2, std::to_string(changes));
  return out;
}

std::string ResultText(const EditTexts& texts, std::uint64_t changes) {
  if (changes == 0 && !texts.unchangedText.empty()) return std::string(texts.unchangedText);
  return ResultText(texts.resultText, changes);
}

std::string_view ConvertResolutionRefusal(std::uint32_t currentWidth, std::uint32_t currentHeight,
                                          std::uint32_t newWidth, std::uint32_t newHeight) {
  if (!IsAllowedNewResolution(newWidth, newHeight)) return text::kWrongResolution;
  if (!IsSearchableResolution(currentWidth, currentHeight)) return text::kZeroCurrentResolution;
  return {};
}

}  // namespace rewindor
