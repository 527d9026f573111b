// Repairing a demo the game never finished: the directory rebuilt from the frames.
#pragma once

#include <cstdint>

#include "demo/bytes.h"

namespace rewindor {

// What a repair recovered.
struct RepairReport {
  bool repaired = false;  // false: the demo was finished, nothing to repair
  double duration = 0;    // the Playback segment's playing time, in seconds
  std::int64_t frames = 0;  // its network frames
  std::uint64_t bytesDropped = 0;  // cut from the end: a partial frame, a zero-filled tail
};

}  // namespace rewindor
