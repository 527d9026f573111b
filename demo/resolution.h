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
  void Count(const Frame& frame);  // a frame being visited
  std::optional<Resolution> Result(ByteView image, const DemoWalk& walk) const;
  // The most frequent viewport counted.
  std::optional<Resolution> Walked() const;

 private:
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> viewports_;
};

// DetectResolution's fallback over a file that comes piece by piece, front
// to back: Scan tests the positions up to `to` given `piece`, the file's bytes
// from `base` on, which reach 16 bytes past `to` or the file's end.
class SizeRecordScan {
 public:
  void Scan(ByteView piece, std::size_t base, std::size_t to);
  std::optional<Resolution> Result() const;

 private:
  std::size_t scanned_ = 0;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> counts_;
  std::uint64_t plausible_ = 0;
};

// Screen sizes that the size-record fallback believes.
inline constexpr std::uint32_t kMinPlausibleWidth = 320;
inline constexpr std::uint32_t kMaxPlausibleWidth = 7680;
inline constexpr std::uint32_t kMinPlausibleHeight = 200;
inline constexpr std::uint32_t kMaxPlausibleHeight = 4320;

}  // namespace rewindor
