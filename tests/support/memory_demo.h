// A demo opened from bytes in memory, and what a reading of a demo holds, for
// the tests and the fuzz targets that read a demo through a file window.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <tuple>

#include "demo/facts.h"

namespace rewindor {

// Reads within `bytes`, which a test may point elsewhere between reads; never written.
class MemoryDemo : public DemoFile {
 public:
  explicit MemoryDemo(ByteView image = {}) : bytes(image) {}
  bool Size(std::uint64_t& size) override {
    size = bytes.size();
    return true;
  }
  bool ReadAt(std::uint64_t offset, MutableByteView into) override {
    if (offset > bytes.size() || into.size() > bytes.size() - offset) return false;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  }
  std::unique_ptr<TempFile> CreateTemp() override { return nullptr; }
  bool ReplaceWith(TempFile&) override { return false; }
  ByteView bytes;
};

// Every fact a reading gives, to compare two readings of one demo.
inline auto ReadingFacts(const DemoReading& r) {
  const DemoInspection& i = r.inspection;
  const DemoFacts& f = r.facts;
  return std::tie(i.header.demoVersion, i.header.networkVersion, i.header.mapName, i.header.gameDir, i.hltv,
                  i.buildNumber, i.engineVersion, i.playerNames, i.playersNotListed, f.duration, f.frames, f.server,
                  f.maxPlayers, f.recorder, f.roster, f.rosterNotListed, f.finished, f.resolution);
}

}  // namespace rewindor
