#include "demo/files.h"

#include <cstdint>
#include <new>
#include <stdexcept>

#include "demo/messages.h"

namespace rewindor {

ReadOutcome ReadWhole(DemoFile& file, Bytes& image) {
  std::uint64_t size = 0;
  if (!file.Size(size)) return ReadOutcome::kSizeFailed;
  if (size == 0) return ReadOutcome::kEmpty;
  if (size > SIZE_MAX / 2) return ReadOutcome::kTooLarge;
  Bytes bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
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
    case ReadOutcome::kEmpty:
      return {0, text::kReasonEmptyFile};
    case ReadOutcome::kTooLarge:
    case ReadOutcome::kNoMemory:
      return {0, text::kReasonNoMemory};
    default:
      return files.LastError();
  }
}

}  // namespace rewindor
