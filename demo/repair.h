// Repairing a demo the game never finished: the directory rebuilt from the frames.
#pragma once

#include <cstdint>
#include <string>

#include "demo/bytes.h"
#include "demo/edits.h"

namespace rewindor {

// What a repair recovered.
struct RepairReport {
  bool repaired = false;           // false: the demo was finished, nothing to repair
  double duration = 0;             // the Playback segment's playing time, in seconds
  std::int64_t frames = 0;         // its network frames
  std::uint64_t bytesDropped = 0;  // cut from the end: a partial frame, a zero-filled tail, garbage
  std::uint64_t mendedTimes = 0;   // frames kept with a mended time and number
};

// The edit step of the repair, by the frame walk of frames.h (the rule the
// facts go by too). A finished demo (DemoWalk::finished) is left alone:
// `changes` 0, and the report gives its playing time and frames. Any
// other demo is rebuilt from what the walk kept:
//  - LOADING, to its closing frame and the closing frames right after it;
//  - Playback (and any segment after it) as PlaybackRun runs it: to its own
//    closing frame, or to the end of its last frame that walks and follows
//    the frames before it; a type-0 frame, bytes that are not a whole frame
//    and a frame whose time or number does not follow end it. A single frame
//    with a damaged time or number, that the frames after it carry on
//    without, is kept with the time and number of the frame before it.
//    Without a closing frame the last segment gets one, with its last time
//    and the next number;
//  - then a directory of one entry per segment, its offset at byte 540, each
//    entry with the CD track of the old directory's where that could be read.
// Every byte up to the end of the last segment is kept as it was, but for the
// directory offset and the mended frames' times and numbers; what lay after
// it is dropped. The new file is the image's stretch (0, end) followed by
// `appended`.
// Refused, with the image untouched: a file that is not a protocol-5 demo,
// one cut inside LOADING, one without a network frame of the game, and one
// whose repaired size would not fit the directory's 32-bit offsets.
EditResult RepairDemo(MutableByteView image, RepairReport& report);

// "Демка починена! ..." with the report's figures, and the number of frame
// times mended when there were any; or, when nothing was repaired, that the
// demo is whole.
std::string RepairResultText(const RepairReport& report);

}  // namespace rewindor
