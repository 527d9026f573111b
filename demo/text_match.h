// Finding demos by a text: the file name, map, server, recorder, any
// player's name or Steam ID contains it in whole letters, letter case ignored
// alike for Latin, Cyrillic and every other script (Unicode simple case
// folding, the same in every locale), and ё taken for е. The command-line
// tool's `info --find` and the library's filter
// both go by DemoMatches.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "demo/info.h"

namespace rewindor {

// The simple case folding of one code point (itself when it has none).
char32_t FoldCodePoint(char32_t c);
// A UTF-8 text folded code point by code point. Bytes that are not UTF-8 are
// kept as they are, so a text that is not UTF-8 still finds itself.
std::string FoldCase(std::string_view utf8);

// A text as every search compares it (the tool's --find, the library's and
// the timeline's filters): as the tool shows it, a text that is not UTF-8
// byte by byte as U+0080-U+00FF (DemoTextToUtf8); folded; and ё as е, written
// as one letter or as е with a combining diaeresis. Always valid UTF-8, so
// one such text is found in another only at whole letters.
std::string SearchText(std::string_view text);

// A text to look for, made a SearchText once.
class TextFinder {
 public:
  explicit TextFinder(std::string_view needle) : folded_(SearchText(needle)) {}
  // An empty text is found everywhere.
  bool empty() const { return folded_.empty(); }
  // Whether a search key (DemoSearchKey) holds the text within one of its
  // fields. A text with a zero byte in it is found nowhere.
  bool FoundIn(std::string_view searchKey) const;

 private:
  std::string folded_;
};

// What a demo is found by. The file name is UTF-8 (as the file system gives
// it); the rest are the demo's own bytes, empty when unknown.
struct DemoSearchTexts {
  std::string_view fileName;
  std::string_view map;
  std::string_view server;
  std::string_view recorder;
  std::span<const std::string> players;   // the information scan's names (DemoPlayers)
  std::span<const std::string> roster;    // the user-info updates' names (DemoFacts::roster)
  std::span<const std::string> steamIds;  // the players' Steam IDs, in decimal
};

// A text that may be unknown, as a field: empty when unknown.
inline std::string_view FieldText(const std::optional<std::string>& text) {
  return text ? std::string_view(*text) : std::string_view();
}

// The fields as SearchText, the demo's texts decoded first as the caller shows them,
// and joined by a zero byte, which neither a field nor a text looked for holds:
// a key to keep for a demo that is looked up again and again.
std::string DemoSearchKey(const DemoSearchTexts& texts, const DemoTextDecoder& decode);

// A search key of UTF-8 texts, one field each.
std::string TextSearchKey(std::initializer_list<std::string_view> utf8Texts);

// Whether any field contains the text; always true for an empty text.
bool DemoMatches(const DemoSearchTexts& texts, const TextFinder& finder, const DemoTextDecoder& decode);

}  // namespace rewindor
