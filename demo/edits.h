// The four edit steps: pure functions that change a demo held whole in memory
// (the DemoImage) and say what is to be written back. The fade and chat edits
// change whole network messages where the demo's messages decode, and fall
// back on their byte patterns where they do not; the others find fixed byte
// patterns wherever they occur. The file side (reading, writing, questions)
// is the patch frame's, in demo/patch_run.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "demo/bytes.h"
#include "demo/demo_format.h"

namespace rewindor {

// What an edit step did, or why it refused.
struct EditResult {
  // Set when the step refused the demo: the image is untouched, nothing is to
  // be written, and `refusal` (a text of demo/messages.h) says why.
  bool refused = false;
  std::string_view refusal;
  // What the step changed, each step counting in its own unit: fades
  // replaced, messages stripped, size records converted; for the trim the
  // fields lowered (directoryOffset and the directory's); for the repair 1,
  // the directory rebuilt. 0 means the step found nothing to change: the
  // image is as it was and the demo is not written at all.
  std::uint64_t changes = 0;
  // The new file: the `writeLength` bytes of the image from `writeStart`. For
  // every step but the trim and the repair that is the whole image (start 0,
  // its length).
  std::size_t writeStart = 0;
  std::size_t writeLength = 0;
  // Written after that stretch (the repair: a closing frame and the directory).
  std::vector<std::uint8_t> appended;
  // The new file is shorter than the old one (only the trim).
  bool cutFile = false;
  // The fade and chat edits: the network frames whose messages did not
  // decode (all of them in a demo of an older protocol), where the byte
  // patterns ran in place of the messages' own rule.
  std::uint64_t framesNotDecoded = 0;

  // A step's refusal for the reason `why`.
  static EditResult Refusal(std::string_view why) {
    EditResult r;
    r.refused = true;
    r.refusal = why;
    return r;
  }
};

// --- Fade-to-black removal ---------------------------------------------------
// A screen fade message (0x62): duration 0x3000, hold 0x3000, flags 5, colour
// black, alpha 255.
inline constexpr std::array<std::uint8_t, 11> kFadeToBlackPattern = {0x62, 0x00, 0x30, 0x00, 0x30, 0x05,
                                                                     0x00, 0x00, 0x00, 0x00, 0xFF};
// The message stream's no-operation message: a removed fade becomes 11 of them.
inline constexpr std::uint8_t kNopMessage = 0x01;

// A screen fade's payload: duration, hold, flags (16 bits each), red, green, blue, alpha.
inline constexpr std::size_t kScreenFadePayloadSize = 10;

// Where the demo's messages decode: every screen fade to black (colour 0, 0,
// 0, alpha 255, the fade-out flag set, any duration, hold and other flags)
// becomes no-operation bytes over its whole length. In a demo whose messages
// are not decoded, every fade-to-black pattern that ends before the image's
// last byte (starts 0 .. size-12) does; in a frame that does not decode,
// every one within its message block. `changes` counts the fades. Keeps the
// length.
EditResult RemoveFadeToBlackStep(MutableByteView image);

// --- Team-chat stripping -----------------------------------------------------
inline constexpr std::uint8_t kChatMessage = 0x4B;          // 'K': length, two bytes, text
inline constexpr std::uint8_t kStrippedChatMessage = 0x4A;  // 'J'
inline constexpr std::uint8_t kStrippedChatPayload[2] = {0x02, 0x00};
// A chat message's text starts this far after its message number.
inline constexpr std::size_t kChatTextOffset = 4;
// Team chat begins with one of these; only their first four characters are
// compared, so "*DEAD*(CT)" adds nothing to "*DEAD*(Terrorist)".
inline constexpr std::array<std::string_view, 4> kTeamChatPrefixes = {"(Terrorist)", "(Counter-Terrorist)",
                                                                      "*DEAD*(Terrorist)", "*DEAD*(CT)"};
inline constexpr std::size_t kTeamChatPrefixCompared = 4;

// Where the demo's messages decode: every chat message whose format key is a
// team key (ChatKeyOf: scope kTeam), or whose text begins (after an optional
// colour byte) as team chat, becomes no-operation bytes over its whole
// length. In a demo whose messages are not decoded, the cursor walk blanks
// every team chat message it finds; in a frame that does not decode, those
// within its message block. `changes` is the number of messages stripped.
// Keeps the length.
EditResult StripTeamChatStep(MutableByteView image);

// --- Resolution conversion ---------------------------------------------------
// The sizes a demo may be converted to; any width goes with any height.
inline constexpr std::array<std::uint32_t, 8> kAllowedWidths = {1280, 1152, 1024, 800, 640, 512, 480, 400};
inline constexpr std::array<std::uint32_t, 8> kAllowedHeights = {960, 864, 768, 600, 480, 384, 360, 300};
bool IsAllowedNewResolution(std::uint32_t width, std::uint32_t height);

// The size record: 8 zero bytes, width (low 16 bits), 2 zero bytes, height
// (low 16 bits). The height's upper half, after the record, is not part of it.
inline constexpr std::size_t kSizeRecordSize = 14;
inline constexpr std::size_t kSizeRecordWidthOffset = 8;
inline constexpr std::size_t kSizeRecordHeightOffset = 12;
std::array<std::uint8_t, kSizeRecordSize> SizeRecord(std::uint32_t width, std::uint32_t height);

// A current size whose width or height is 0 in its low 16 bits is never
// searched: fourteen nearly-zero bytes occur all over a demo.
bool IsSearchableResolution(std::uint32_t width, std::uint32_t height);

// Rewrites every size record of the current size that ends before the image's
// last byte (starts 0 .. size-15) with the new size, testing each position
// against the bytes as they stand after earlier replacements. Keeps the length.
// Only the low 16 bits of each size count; a new size equal to the current
// one changes nothing and counts none. Refuses a current size that is not
// searchable.
EditResult ConvertResolutionStep(MutableByteView image, std::uint32_t currentWidth, std::uint32_t currentHeight,
                                 std::uint32_t newWidth, std::uint32_t newHeight);

// --- Loading-segment trim ----------------------------------------------------
// A print message whose text starts "\x02\nBUILD": the build announcement.
inline constexpr std::array<std::uint8_t, 8> kBuildPrintMarker = {0x08, 0x02, 0x0A, 'B', 'U', 'I', 'L', 'D'};
// The upper half of a loading entry's segmentType and the start of its title.
inline constexpr std::array<std::uint8_t, 9> kLoadingTitleMarker = {0x00, 0x00, 'L', 'O', 'A', 'D', 'I', 'N', 'G'};
// Where the marker lies in its directory entry.
inline constexpr std::size_t kLoadingMarkerInEntry = 2;
// The announcement is the first message of its frame, so the kept data
// starts a frame's fixed part before it: cut = (announcement start) - 1021.
inline constexpr std::size_t kTrimAnnouncementBase = kHeaderSize + kNetMsgDataOffset;

// Removes the loading data between the header and the frame of the last build
// announcement, lowering directoryOffset, the loading entry's segmentLength
// and the segmentOffset of every entry after the loading entry by the cut. The
// new file (the header moved up to offset cut, then the kept data) is the
// stretch (cut, size - cut); `changes` counts the fields lowered (none
// for a cut of 0, which changes nothing). Refused, with the image
// untouched, when a marker is missing, the cut is negative, the LOADING title
// is not that of an entry of a directory that ends at the end of the file, the
// loading segment does not start right after the header, or the cut would reach
// past the loading segment, into the directory or into a later segment.
EditResult TrimLoadingSegmentStep(MutableByteView image);

}  // namespace rewindor
