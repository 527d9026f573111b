// The real demos the tests read, where the corpus is present.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "demo/bytes.h"

namespace rewindor {

inline Bytes ReadImage(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Every .dem under the corpus folder and its subfolders, in name order; none without the corpus.
inline std::vector<std::filesystem::path> CorpusDemos() {
  std::vector<std::filesystem::path> demos;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(REWINDOR_CORPUS_DIR, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().extension() == ".dem") demos.push_back(it->path());
  }
  std::sort(demos.begin(), demos.end());
  return demos;
}

}  // namespace rewindor
