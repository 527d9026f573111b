// "Починить недописанные": the unfinished demos shown, repaired one after
// the other, and one result for them all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "demo/files.h"
#include "library/rows.h"

namespace rewindor {

// The question asked first; when none of the demos shown is unfinished, the
// text that says so (an information, no question).
std::string LibraryRepairQuestion(std::size_t unfinished);

struct LibraryRepair {
  std::size_t recovered = 0;
  std::size_t refused = 0;
  std::string text;                   // the one result box
  std::vector<LibraryRow> refreshed;  // every demo tried, read again
};

// Repairs each demo (EditDemo with RepairDemo, as the repair command does;
// a lack of memory refuses that demo) and composes one result: what was recovered (each demo's name and the
// repair's own text), then what was refused (name and reason), a long list
// cut short with the number left out.
LibraryRepair RepairLibraryDemos(FileSystem& files, const std::vector<LibraryFile>& demos);

// Lines of each part of the result shown at most.
inline constexpr std::size_t kMaxRepairLines = 15;

}  // namespace rewindor
