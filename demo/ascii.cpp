#include "demo/ascii.h"

#include <algorithm>

namespace rewindor {

namespace {

bool SameLetter(char a, char b) { return FoldAscii(a) == FoldAscii(b); }

}  // namespace

std::string FoldAsciiCase(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
  return folded;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameLetter);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), SameLetter) != text.end();
}

std::string_view BeforeLastBackslash(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? path : path.substr(0, slash);
}

}  // namespace rewindor
