// The screen size a demo really records, for the resolution conversion's
// "current size" and for the command-line tool.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "demo/bytes.h"
#include "demo/frames.h"

namespace rewindor {

struct Resolution {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  friend bool operator==(const Resolution&, const Resolution&) = default;
};

// The size as the program writes it: "WxH" in decimal.
std::string ResolutionText(const Resolution& size);

// The most frequent non-zero viewport (x = y = 0) of the network message
// frames, found by walking the demo's frames (from the directory, or from the
// header on when there is none). When not one frame can be walked (another
// header layout, a damaged file), the 14-byte size records with a plausible screen size are counted
// instead, and one answer is given only when it clearly dominates. None when
// the frames record no viewport (HLTV demos) or no answer is certain.
std::optional<Resolution> DetectResolution(ByteView image);

// DetectResolution's counting, for a walk shared with other readers: Count
// each frame walked, then ask for the result with the whole walk.
class ViewportTally {
 public:
  void Count(ByteView image, const Frame& frame);
  std::optional<Resolution> Result(ByteView image, const DemoWalk& walk) const;

 private:
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> viewports_;
};

// Screen sizes that the size-record fallback believes.
inline constexpr std::uint32_t kMinPlausibleWidth = 320;
inline constexpr std::uint32_t kMaxPlausibleWidth = 7680;
inline constexpr std::uint32_t kMinPlausibleHeight = 200;
inline constexpr std::uint32_t kMaxPlausibleHeight = 4320;

}  // namespace rewindor
