// The few plain-text rules every layer shares: the letter case of ASCII
// letters (other bytes, UTF-8 ones too, always match only themselves) and the
// backslash that separates the parts of a Windows path.
#pragma once

#include <string>
#include <string_view>

namespace rewindor {

// An ASCII capital in lower case; any other byte as it is.
constexpr char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text with its ASCII letters in lower case: equal for texts that
// EqualIgnoringCase finds equal.
std::string FoldAsciiCase(std::string_view text);
// Equal but for the letter case of ASCII letters; other bytes must match exactly.
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// `part` occurs in `text`, the letter case of ASCII letters aside.
bool ContainsIgnoringCase(std::string_view text, std::string_view part);

// The text before the last backslash: a file's folder ("C:" for a file at a
// drive's root), a folder's parent. The whole text when it has none.
std::string_view BeforeLastBackslash(std::string_view path);

}  // namespace rewindor
