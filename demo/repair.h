// Repairing a demo the game never finished: the directory rebuilt from the frames.
#pragma once

#include <cstdint>
#include <string>

#include "demo/bytes.h"
#include "demo/edits.h"

namespace rewindor {

// What a repair recovered.
struct RepairReport {
  bool repaired = false;  // false: the demo was finished, nothing to repair
  double duration = 0;    // the Playback segment's playing time, in seconds
  std::int64_t frames = 0;  // its network frames
  std::uint64_t bytesDropped = 0;  // cut from the end: a partial frame, a zero-filled tail
};

// The edit step of the repair. A finished demo (frames.h, IsFinished) is left
// alone: `changes` 0, and the report gives the directory's playing time
// and frames. Any other demo is rebuilt from its frames after the header:
//  - LOADING runs to its closing frame, and takes the closing frames that
//    follow it right away;
//  - Playback runs from there to its own closing frame, or to the end of its
//    last whole frame: bytes that are not a whole frame, a type-0 frame and a
//    frame whose time is earlier than the one before it end it. Without a
//    closing frame it gets one, with the last frame's time and the next number;
//  - then a directory of the two entries, its offset at byte 540.
// Every byte up to the end of Playback's last whole frame is kept as it was,
// but for the directory offset; what lay after it is dropped. The new file is
// the image's stretch (0, end of Playback) followed by `appended`.
// Refused, with the image untouched: a file that is not a protocol-5 demo,
// one cut inside LOADING, one without a network frame of the game, and one
// whose repaired size would not fit the directory's 32-bit offsets.
EditResult RepairDemo(MutableByteView image, RepairReport& report);

// "Демка починена! ..." with the report's figures, or, when nothing was
// repaired, that the demo is whole.
std::string RepairResultText(const RepairReport& report);

}  // namespace rewindor
