#include "demo/info.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace rewindor {

namespace {

// Positions 0 .. N-7 are tested: searching the image without its last byte
// gives exactly those, since a 6-byte marker then ends at N-2 at the latest.
ByteView Searchable(ByteView image) {
  return image.size() < 7 ? ByteView{} : image.first(image.size() - 1);
}

// The first match of `marker` at or after `from`, or npos. The search jumps
// with memchr to the marker's first byte and compares the rest.
template <std::size_t N>
std::size_t Find(ByteView data, const std::array<std::uint8_t, N>& marker, std::size_t from) {
  const std::uint8_t* begin = data.data();
  const std::uint8_t* end = begin + data.size();
  if (data.size() < N) return std::string_view::npos;
  const std::uint8_t* last = end - N;  // the last start that leaves room for the marker
  const std::uint8_t* p = begin + from;
  while (p <= last) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, marker[0], static_cast<std::size_t>(last - p) + 1));
    if (p == nullptr) break;
    if (std::memcmp(p + 1, marker.data() + 1, N - 1) == 0) return static_cast<std::size_t>(p - begin);
    ++p;
  }
  return std::string_view::npos;
}

bool IsDelimiter(std::uint8_t c) { return c == '\\' || c == ',' || c == '\n' || c == 0; }

std::string SignedByteText(ByteView image, std::size_t offset) {
  if (offset >= image.size()) return {};
  return std::to_string(static_cast<int>(static_cast<std::int8_t>(image[offset])));
}

bool IsPlainName(std::string_view s) {
  if (s.empty() || s == "." || s == "..") return false;
  return s.find_first_of("\\/:") == std::string_view::npos;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string HeaderText(ByteView image, std::size_t offset, std::size_t size) {
  if (offset >= image.size()) return {};
  std::size_t avail = std::min({size, image.size() - offset, kMaxPathChars});
  const std::uint8_t* p = image.data() + offset;
  const void* zero = std::memchr(p, 0, avail);
  std::size_t len = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - p) : avail;
  return {reinterpret_cast<const char*>(p), len};
}

DemoHeader DecodeDemoHeader(ByteView image) {
  DemoHeader h;
  h.demoVersion = SignedByteText(image, kDemoProtocolOffset);
  h.networkVersion = SignedByteText(image, kNetworkProtocolOffset);
  h.mapName = HeaderText(image, kMapNameOffset, kHeaderTextSize);
  h.gameDir = HeaderText(image, kGameDirOffset, kHeaderTextSize);
  return h;
}

bool ScanHltv(ByteView image) {
  return Find(Searchable(image), kHltvMarker, 0) != std::string_view::npos;
}

int BuildNumberAt(ByteView image, std::size_t markerPos) {
  // atoi over the bytes p+5 .. p+9 (the marker's space and four more), never past the image.
  std::size_t start = markerPos + 5;
  std::size_t end = std::min(start + 5, image.size());
  std::size_t i = start;
  auto isSpace = [](std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < end && isSpace(image[i])) ++i;
  bool negative = false;
  if (i < end && (image[i] == '+' || image[i] == '-')) negative = image[i++] == '-';
  int value = 0;
  for (; i < end && image[i] >= '0' && image[i] <= '9'; ++i) value = value * 10 + (image[i] - '0');
  return negative ? -value : value;
}

int ScanBuildNumber(ByteView image) {
  ByteView data = Searchable(image);
  int build = 0;
  for (std::size_t p = Find(data, kBuildMarker, 0); p != std::string_view::npos;
       p = Find(data, kBuildMarker, p + 1)) {
    build = BuildNumberAt(image, p);
  }
  return build;
}

void PlayerNamesInWindow(ByteView window, const std::function<void(std::string_view)>& found) {
  // Tokens are maximal runs of bytes other than backslash, comma, line feed
  // and zero (which the window turns into line feeds). The token after "name"
  // is a player name, and is not itself looked at as a key.
  const char* p = reinterpret_cast<const char*>(window.data());
  std::size_t n = window.size(), i = 0;
  bool nextIsName = false;
  while (i < n) {
    while (i < n && IsDelimiter(static_cast<std::uint8_t>(p[i]))) ++i;
    if (i == n) break;
    std::size_t start = i;
    while (i < n && !IsDelimiter(static_cast<std::uint8_t>(p[i]))) ++i;
    std::string_view token(p + start, i - start);
    if (nextIsName) {
      found(token.substr(0, kMaxPlayerNameBytes));
      nextIsName = false;
    } else {
      nextIsName = token == "name";
    }
  }
}

void ScanPlayerNames(ByteView image, const std::function<void(std::string_view)>& found) {
  ByteView data = Searchable(image);
  for (std::size_t p = Find(data, kPlayerInfoMarker, 0); p != std::string_view::npos;
       p = Find(data, kPlayerInfoMarker, p + 1)) {
    std::size_t len = std::min(kPlayerInfoWindowSize, image.size() - p);
    PlayerNamesInWindow(image.subspan(p, len), found);
  }
}

std::string EngineVersionText(int buildNumber, std::string_view networkVersion) {
  if (buildNumber == 2056) return "1.1.1.0";
  if (buildNumber == 2006) return "1.1.0.9";
  static constexpr std::pair<std::string_view, std::string_view> kByNetwork[] = {
      {"45", "1.1.0.8"}, {"43", "1.1.0.4"}, {"42", "1.1.0.1"}, {"41", "1.1.0.0"},
      {"40", "1.0.1.6"}, {"39", "1.0.1.3"}, {"38", "1.0.0.9"}, {"37", "1.0.0.8"},
  };
  for (const auto& [network, engine] : kByNetwork) {
    if (network == networkVersion) return std::string(engine);
  }
  return "N/A";
}

DemoFacts InspectDemo(ByteView image) {
  DemoFacts f;
  f.header = DecodeDemoHeader(image);
  f.hltv = ScanHltv(image);
  if (!f.hltv) f.buildNumber = ScanBuildNumber(image);
  f.engineVersion = EngineVersionText(f.buildNumber, f.header.networkVersion);
  return f;
}

std::string ComposeDemoSummary(const DemoFacts& f) {
  std::string s;
  s.reserve(128 + f.header.mapName.size() + f.header.gameDir.size());
  s += "Half-Life Version: " + f.engineVersion;
  s += "\nDemo Version: " + f.header.demoVersion;
  s += "\nNetwork Version: " + f.header.networkVersion;
  s += "\nMap: " + f.header.mapName;
  s += "\nMod: " + f.header.gameDir;
  s += f.hltv ? "\nHLTV: Yes" : "\nHLTV: No";
  return s;
}

std::optional<std::string> MapPicturePath(std::string_view programFolder, std::string_view mod,
                                          std::string_view map) {
  if (!IsPlainName(mod) || !IsPlainName(map)) return std::nullopt;
  std::string path;
  path.reserve(programFolder.size() + mod.size() + map.size() + 12);
  path.append(programFolder).append("\\").append(mod).append("\\maps\\").append(map).append(".bmp");
  if (path.size() > kMaxPathChars) return std::nullopt;
  return path;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::vector<std::string> DemoPlayers(ByteView image, const DemoFacts& facts) {
  std::vector<std::string> names;
  if (facts.hltv) return names;
  std::unordered_set<std::string> seen;  // folded forms
  ScanPlayerNames(image, [&](std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
    if (seen.insert(std::move(folded)).second) names.emplace_back(name);
  });
  return names;
}

}  // namespace rewindor
