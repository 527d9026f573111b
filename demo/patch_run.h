// The frame that every demo edit runs in, and the four edit commands.
//
// EditDemo is the frame without questions, shared by the window's commands and
// the command-line tool: open the demo for editing (others may only read it),
// read it whole, refuse a file that does not start with the demo signature,
// run the edit step on the image, write the new content to a temp file beside
// the demo, flush it and put it in the demo's place in one step. The demo is
// at every moment either exactly as it was or wholly edited; on any failure
// the temp file is gone. The demo stays held until EditDemo
// returns, so `whileHeld` (the window's result box) runs with it still held.
//
// PatchRun is EditDemo with the window's dialogue around it: the demo path of
// control 1000, the command's question, the reports and the result box.
//
// Typical command-line use:
//   EditOutcome out = EditDemo(NativeFileSystem(), path, StripTeamChatStep, dryRun);
//   if (!out.ok()) print(out.FailureText(), out.failure == EditFailure::kRefused ? "" : out.why.text);
//   else print(ResultText(kStripTeamChatSettings.resultText, out.result.changes), out.bytesRemoved());
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
  // The fixed text the window shows for a failure (for kRefused, the refusal).
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

// --- The window side ---------------------------------------------------------

enum class MessageIcon { kInformation, kQuestion };
enum class MessageButtons { kOk, kOkCancel };

// The main window as the edit commands see it.
class PatchWindow {
 public:
  virtual ~PatchWindow() = default;
  // Control 1000, at most 259 characters.
  virtual std::string DemoPath() = 0;
  // A message box with no owner window; true when OK was pressed.
  virtual bool ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon,
                           MessageButtons buttons) = 0;
  // A message box captioned "Error": "<text>: <the system's reason>".
  virtual void ReportError(std::string_view text, const SystemError& why) = 0;
};

// How the four commands differ inside PatchRun.
struct PatchSettings {
  std::string_view question;    // asked (question icon, OK and Cancel) before the demo is opened
  bool shortReadInBox;          // a failed read: a "Rewindor" box, otherwise ReportError
  std::string_view resultText;  // "%d" stands for the number of changes
  MessageIcon resultIcon;
  MessageButtons resultButtons;  // the button pressed changes nothing
  // Shown (information icon, OK) when the step found nothing to change; when
  // empty, the result text with a count of 0 says so itself.
  std::string_view unchangedText;
};

inline constexpr PatchSettings kRemoveFadeToBlackSettings = {
    text::kAskRemoveFades, true, text::kFadesRemoved, MessageIcon::kQuestion, MessageButtons::kOkCancel,
    text::kNoFadesFound};
inline constexpr PatchSettings kStripTeamChatSettings = {
    text::kAskStripChat, false, text::kMessagesStripped, MessageIcon::kInformation, MessageButtons::kOk, {}};
inline constexpr PatchSettings kConvertResolutionSettings = {
    text::kAskConvertResolution, true, text::kResolutionConverted, MessageIcon::kQuestion,
    MessageButtons::kOkCancel, text::kNoSizeRecordsFound};
inline constexpr PatchSettings kTrimLoadingSegmentSettings = {
    text::kAskTrimLoading, false, text::kDemoTrimmed, MessageIcon::kInformation, MessageButtons::kOk,
    text::kNothingToTrim};
// The repair's result text is composed from what it recovered (demo/repair.h).
inline constexpr PatchSettings kRepairDemoSettings = {
    text::kAskRepairDemo, false, text::kDemoRepaired, MessageIcon::kInformation, MessageButtons::kOk,
    text::kDemoNotBroken};

// The result text with "%d" replaced by the count in decimal; a text without
// the placeholder is returned unchanged.
std::string ResultText(std::string_view resultText, std::uint64_t changes);
// What an edit that succeeded did: the command's result text, or its text for
// finding nothing to change.
std::string ResultText(const PatchSettings& settings, std::uint64_t changes);

// Asks, edits the demo of control 1000 and reports; returns when the last box
// has been closed. Every box of its own is captioned "Rewindor".
void PatchRun(PatchWindow& window, FileSystem& files, const PatchSettings& settings, const EditStep& step);

// The four commands (buttons "Убрать F2B", "Убрать слова команды", the
// resolution dialog and "Закреп. demo").
void RemoveFadeToBlack(PatchWindow& window, FileSystem& files);
void StripTeamChat(PatchWindow& window, FileSystem& files);
// Refuses a new size outside the allowed lists (with the list of sizes) and
// then a current width or height of 0, before any question.
void ConvertResolution(PatchWindow& window, FileSystem& files, std::uint32_t currentWidth,
                       std::uint32_t currentHeight, std::uint32_t newWidth, std::uint32_t newHeight);
void TrimLoadingSegment(PatchWindow& window, FileSystem& files);
// Asks, repairs the unfinished demo of control 1000 and says what was recovered
// (or why not); the window reads the demo again afterwards.
void RepairUnfinishedDemo(PatchWindow& window, FileSystem& files);

}  // namespace rewindor
