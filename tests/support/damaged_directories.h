// The ways a directory that still reads can disagree with the frames it
// describes, for the tests of the facts and of the repair.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "tools/demo_builder.h"

namespace rewindor {

struct DirectoryDamage {
  const char* what;
  std::function<void(std::vector<builder::DirectoryEntry>&)> edit;  // of the entries (LOADING, Playback)
  std::optional<std::int32_t> count;                                // the entry count written instead
};

inline std::vector<DirectoryDamage> DirectoryDamages() {
  return {
      {"shorter", [](auto& e) { e[1].length -= 1; }, {}},
      {"longer", [](auto& e) { e[1].length += 1; }, {}},
      {"negative length", [](auto& e) { e[1].length = -40; }, {}},
      {"no Playback title", [](auto& e) { e[1].title = "Playbook"; }, {}},
      {"starts inside a frame", [](auto& e) { e[1].offset += 5; e[1].length -= 5; }, {}},
      {"a wrong frame count", [](auto& e) { e[1].frameCount = 12345; }, {}},
      {"another track time", [](auto& e) { e[1].trackTime = 999; }, {}},
      {"one entry", [](auto&) {}, 1},
  };
}

}  // namespace rewindor
