#include "demo/text_match.h"

#include <algorithm>
#include <iterator>

#include "demo/case_folding_table.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

constexpr char kFieldSeparator = '\0';

void AppendField(std::string& key, std::string_view utf8) {
  if (!key.empty()) key += kFieldSeparator;
  key += FoldCase(utf8);
}

}  // namespace

char32_t FoldCodePoint(char32_t c) {
  using case_folding::kRanges;
  // The last range that starts at or before c.
  const auto* next = std::upper_bound(std::begin(kRanges), std::end(kRanges), c,
                                      [](char32_t value, const case_folding::Range& r) { return value < r.first; });
  if (next == std::begin(kRanges)) return c;
  const case_folding::Range& r = *std::prev(next);
  if (c > r.last || (c - r.first) % r.stride != 0) return c;
  return static_cast<char32_t>(static_cast<std::int64_t>(c) + r.delta);
}

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte < 0x80) {  // ASCII, most of what demos hold
      out += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
      ++i;
      continue;
    }
    const std::size_t start = i;
    const std::int32_t c = DecodeUtf8(utf8, i);
    if (c < 0) {
      out += utf8[start];
    } else {
      AppendUtf8(out, FoldCodePoint(static_cast<char32_t>(c)));
    }
  }
  return out;
}

bool TextFinder::FoundIn(std::string_view searchKey) const {
  if (folded_.empty()) return true;
  if (folded_.find(kFieldSeparator) != std::string::npos) return false;  // it would span two fields
  return searchKey.find(folded_) != std::string_view::npos;
}

std::string DemoSearchKey(const DemoSearchTexts& texts, const DemoTextDecoder& decode) {
  std::string key;
  AppendField(key, texts.fileName);
  for (std::string_view demoText : {texts.map, texts.server, texts.recorder}) AppendField(key, decode(demoText));
  for (std::span<const std::string> names : {texts.players, texts.roster}) {
    for (const std::string& name : names) AppendField(key, decode(name));
  }
  for (const std::string& id : texts.steamIds) AppendField(key, id);
  return key;
}

std::string TextSearchKey(std::initializer_list<std::string_view> utf8Texts) {
  std::string key;
  for (std::string_view text : utf8Texts) AppendField(key, text);
  return key;
}

bool DemoMatches(const DemoSearchTexts& texts, const TextFinder& finder, const DemoTextDecoder& decode) {
  return finder.empty() || finder.FoundIn(DemoSearchKey(texts, decode));
}

}  // namespace rewindor
