#include "demo/files.h"

#include <cstdint>
#include <new>
#include <stdexcept>

#include "demo/messages.h"

namespace rewindor {

ReadOutcome ReadableSize(DemoFile& file, std::size_t& size) {
  std::uint64_t bytes = 0;
  if (!file.Size(bytes)) return ReadOutcome::kSizeFailed;
  if (bytes == 0) return ReadOutcome::kEmpty;
  if (bytes > SIZE_MAX / 2) return ReadOutcome::kTooLarge;
  size = static_cast<std::size_t>(bytes);
  return ReadOutcome::kOk;
}

ReadOutcome ReadWhole(DemoFile& file, Bytes& image) {
  std::size_t size = 0;
  if (ReadOutcome sized = ReadableSize(file, size); sized != ReadOutcome::kOk) return sized;
  Bytes bytes;
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kNoMemory;
  } catch (const std::length_error&) {
    return ReadOutcome::kNoMemory;
  }
  if (!file.Read(bytes)) return ReadOutcome::kShortRead;
  image = std::move(bytes);
  return ReadOutcome::kOk;
}

SystemError ReadFailureReason(ReadOutcome outcome, FileSystem& files) {
  switch (outcome) {
    case ReadOutcome::kEmpty: return {0, text::kReasonEmptyFile};
    case ReadOutcome::kTooLarge:
    case ReadOutcome::kNoMemory: return {0, text::kReasonNoMemory};
    default: return files.LastError();
  }
}

std::string UnreadableReason(const SystemError& why) {
  for (const char* ours : {text::kReasonEmptyFile, text::kReasonNoMemory, text::kReasonNotRegularFile,
                           text::kReasonHardLinks, text::kReasonReplacedMeanwhile, text::kReasonBeingWritten}) {
    if (why.text == ours) return why.text;
  }
  if (const char* known = RussianSystemReason(why.code)) return known;
  std::string text = text::kReasonSystemCode;
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(why.code));
  return text;
}

std::string UnreadableDemoText(const SystemError& why) {
  return std::string(text::kDemoUnreadable) + ": " + UnreadableReason(why);
}

}  // namespace rewindor
