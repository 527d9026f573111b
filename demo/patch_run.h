// The frame that every demo edit runs in, and what the edits say they did.
//
// EditDemo is the frame shared by the window's edit commands and the
// command-line tool: open the demo for editing (others may only read it),
// read it whole, refuse a file that does not start with the demo signature,
// run the edit step on the image, write the new content to a temp file beside
// the demo, flush it and put it in the demo's place in one step. The demo is
// at every moment either exactly as it was or wholly edited; on any failure
// the temp file is gone. The demo stays held until EditDemo
// returns, so `whileHeld` (a caller's report of the outcome) runs with it still held.
//
// Typical command-line use:
//   EditOutcome out = EditDemo(NativeFileSystem(), path, StripTeamChatStep, dryRun);
//   if (!out.ok()) print(out.FailureText(), out.failure == EditFailure::kRefused ? "" : out.why.text);
//   else print(ResultText(kStripTeamChatTexts, out.result.changes), out.bytesRemoved());
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "demo/bytes.h"
#include "demo/edits.h"
#include "demo/files.h"
#include "demo/messages.h"

namespace rewindor {

// An edit step changes the image in place and says what to write (demo/edits.h).
using EditStep = std::function<EditResult(MutableByteView image)>;

// The stage at which an edit ended early.
enum class EditFailure {
  kNone,     // the demo was edited (or, in a dry run, would have been)
  kOpen,     // the demo could not be opened (missing, locked, read-only, ...)
  kSize,     // its size could not be had, or it is empty
  kRead,     // it could not be read whole: a short read, or not enough memory
  kRefused,  // not a demo, or the edit step refused it; result.refusal says why
  kWrite,    // the temp file could not be created, written, flushed or put in place
};

struct EditOutcome {
  EditFailure failure = EditFailure::kNone;
  SystemError why;            // the reason for kOpen, kSize, kRead and kWrite
  EditResult result;          // what the step did (kNone), or its refusal (kRefused)
  std::uint64_t oldSize = 0;  // the demo's size when read
  std::uint64_t newSize = 0;  // its size after the edit (kNone only)

  bool ok() const { return failure == EditFailure::kNone; }
  // The step found something to change, so the demo was (or, in a dry run,
  // would be) written; otherwise it was left exactly as it was.
  bool changed() const { return ok() && result.changes > 0; }
  std::uint64_t bytesRemoved() const { return ok() && oldSize > newSize ? oldSize - newSize : 0; }
  // The fixed text that tells a failure (for kRefused, the refusal).
  std::string_view FailureText() const;
};

// With `dryRun` the demo is only opened for reading and nothing is written;
// the outcome says what the edit would do. A step that finds nothing to change
// (no changes) writes nothing either, so the demo keeps its file and its
// dates. `whileHeld`, when given, is called with the outcome whenever the demo
// was opened, before it is let go; after a failure the temp file is already
// gone.
EditOutcome EditDemo(FileSystem& files, const std::string& path, const EditStep& step, bool dryRun,
                     const std::function<void(const EditOutcome&)>& whileHeld = nullptr);

// What an edit command says it did: its result text, "%d" standing for the
// number of changes, and the text for finding nothing to change (empty: the
// result text with a count of 0 says so itself).
struct EditTexts {
  std::string_view resultText;
  std::string_view unchangedText;
};

inline constexpr EditTexts kRemoveFadeToBlackTexts = {text::kFadesRemoved, text::kNoFadesFound};
inline constexpr EditTexts kStripTeamChatTexts = {text::kMessagesStripped, {}};
inline constexpr EditTexts kConvertResolutionTexts = {text::kResolutionConverted, text::kNoSizeRecordsFound};
inline constexpr EditTexts kTrimLoadingSegmentTexts = {text::kDemoTrimmed, text::kNothingToTrim};
// The repair's result text is composed from what it recovered (demo/repair.h).
inline constexpr EditTexts kRepairDemoTexts = {text::kDemoRepaired, text::kDemoNotBroken};

// The result text with "%d" replaced by the count in decimal; a text without
// the placeholder is returned unchanged.
std::string ResultText(std::string_view resultText, std::uint64_t changes);
// What an edit that succeeded did: the command's result text, or its text for
// finding nothing to change.
std::string ResultText(const EditTexts& texts, std::uint64_t changes);

// Why the resolution conversion refuses to start, before anything is asked or
// opened: a new size outside the allowed lists (the text gives the list of
// sizes), then a current width or height of 0. Empty when it may start.
std::string_view ConvertResolutionRefusal(std::uint32_t currentWidth, std::uint32_t currentHeight,
                                          std::uint32_t newWidth, std::uint32_t newHeight);

}  // namespace rewindor
