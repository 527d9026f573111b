#include "demo/info.h"

#include "demo/names.h"
#include "demo/search.h"
#include "demo/utf8.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// On x86-64 built by GCC or Clang the scan also has an AVX2 form, taken where
// the processor has it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define REWINDOR_SCAN_AVX2 1
#include <immintrin.h>
#endif

namespace rewindor {

namespace {

// Positions 0 .. N-7 are tested: searching the image without its last byte
// gives exactly those, since a 6-byte marker then ends at N-2 at the latest.
ByteView Searchable(ByteView image) { return image.size() < 7 ? ByteView{} : image.first(image.size() - 1); }

bool IsDelimiter(std::uint8_t c) { return c == '\\' || c == ',' || c == '\n' || c == 0; }

std::string SignedByteText(ByteView image, std::size_t offset) {
  if (offset >= image.size()) return {};
  return std::to_string(static_cast<int>(static_cast<std::int8_t>(image[offset])));
}

// The player names of all player-info windows in one walk over the file.
// Windows overlap, but they tokenise alike: a window's first token starts at
// its marker's tab, so it is never "name", and for the windows before it the
// token that holds that tab is either taken as a name or is not "name" either;
// after it every window that still runs is in the same state at the same
// token boundary. So each token is looked at once, for all windows at a time:
// when the state makes it a name, each window that ends inside it finds it cut
// at the window's end, and the windows that hold all of it find it whole. The
// names come in the order that walking the windows one after the other gives.
//
// The walk sees the file piece by piece (SetBytes). It never looks back before
// the last limit it advanced to, nor further ahead of it than a token's first
// kLongToken bytes: a longer token runs on past every window that was running
// when it started (those windows started at or before it), so it counts as
// that long until its end is found, byte by byte, as later pieces come.
class PlayerNameWalk {
 public:
  static constexpr std::size_t kLongToken = kPlayerInfoWindowSize + 2;

  PlayerNameWalk(std::size_t size, const std::function<void(std::string_view)>& found) : n_(size), found_(found) {}

  // The file's bytes from `base` on.
  void SetBytes(ByteView bytes, std::size_t base) {
    bytes_ = bytes;
    base_ = base;
  }

  // Markers come in increasing order.
  void AddWindow(std::size_t marker) {
    Advance(marker);
    const std::size_t end = std::min(marker + kPlayerInfoWindowSize, n_);
    if (inLongToken_) {
      // The marker lies in a long token: its window finds nothing unless that token ends inside it.
      SeekTokenEnd(end);
    } else if (pos_ <= marker) {
      // The token at the marker starts there for the earlier windows too.
      pos_ = marker;
      Take(marker, TokenEnd(marker));
    }
    // Otherwise the marker lies in the token just taken, which was its first.
    // A window that ends inside its first token finds nothing.
    if (!inLongToken_ && end > pos_) ends_.push_back(end);
  }

  // Takes every token that starts before `limit` inside a window.
  void Advance(std::size_t limit) {
    while (!ends_.empty() && !inLongToken_) {
      const std::size_t stop = std::min(limit, ends_.back());
      std::size_t start = pos_;
      while (start < stop && IsDelimiter(At(start))) ++start;
      pos_ = start;
      if (start >= stop) return;
      Take(start, TokenEnd(start));
    }
    // No window runs past a long token: all that is left is to find its end.
    if (inLongToken_) SeekTokenEnd(limit);
  }

 private:
  std::uint8_t At(std::size_t i) const { return bytes_[i - base_]; }
  const char* Chars(std::size_t i) const { return reinterpret_cast<const char*>(bytes_.data() + (i - base_)); }

  // The end of the token at `i`, or where its first kLongToken bytes end.
  std::size_t TokenEnd(std::size_t i) const {
    const std::size_t cap = std::min(i + kLongToken, n_);
    while (i < cap && !IsDelimiter(At(i))) ++i;
    return i;
  }

  // Looks for the end of the long token up to `limit`.
  void SeekTokenEnd(std::size_t limit) {
    const std::size_t stop = std::min(limit, n_);
    while (pos_ < stop && !IsDelimiter(At(pos_))) ++pos_;
    if (pos_ < stop || pos_ == n_) inLongToken_ = false;
  }

  void Take(std::size_t start, std::size_t end) {
    pos_ = end;
    inLongToken_ = end < n_ && !IsDelimiter(At(end));
    while (!ends_.empty() && ends_.front() <= start) ends_.pop_front();
    if (ends_.empty()) {
      nextIsName_ = false;
      return;
    }
    if (nextIsName_) {
      for (std::size_t windowEnd : ends_) {
        if (windowEnd >= end) break;
        Found(start, windowEnd);
      }
      if (ends_.back() >= end) Found(start, end);
      nextIsName_ = false;
    } else {
      nextIsName_ = end - start == 4 && std::memcmp(Chars(start), "name", 4) == 0;
    }
  }

  void Found(std::size_t start, std::size_t end) {
    const std::string_view name(Chars(start), end - start);
    found_(name.substr(0, Utf8CutLength(name, kMaxPlayerNameBytes)));
  }

  ByteView bytes_;
  std::size_t base_ = 0;
  std::size_t n_;
  const std::function<void(std::string_view)>& found_;
  std::deque<std::size_t> ends_;  // of the windows still running, in order
  std::size_t pos_ = 0;           // the end of the last token taken (of a long one: how far it was looked at)
  bool inLongToken_ = false;      // the last token taken is long and its end not found yet
  bool nextIsName_ = false;
};

#if defined(REWINDOR_SCAN_AVX2)
// ScanMarkers' candidate test for 32 positions at a time, where the
// processor has AVX2. Returns the first position it did not look at.
template <class Test>
__attribute__((target("avx2"))) std::size_t ScanCandidatesAvx2(const std::uint8_t* d, std::size_t i, std::size_t n,
                                                               Test& test) {
  const __m256i hltvKey = _mm256_set1_epi8(0x08), buildKey = _mm256_set1_epi8('B'), infoKey = _mm256_set1_epi8('\t');
  const __m256i hltvNext = _mm256_set1_epi8('H'), buildNext = _mm256_set1_epi8('U'), infoNext = _mm256_set1_epi8('f');
  for (; i + 33 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i + 1));
    const __m256i hit = _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(v, hltvKey), _mm256_cmpeq_epi8(w, hltvNext)),
                        _mm256_and_si256(_mm256_cmpeq_epi8(v, buildKey), _mm256_cmpeq_epi8(w, buildNext))),
        _mm256_and_si256(_mm256_cmpeq_epi8(v, infoKey), _mm256_cmpeq_epi8(w, infoNext)));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
    while (mask != 0) {
      test(i + static_cast<std::size_t>(__builtin_ctz(mask)));
      mask &= mask - 1;
    }
  }
  return i;
}
#endif

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

bool ScanHltv(ByteView image) { return FindPattern(Searchable(image), kHltvMarker) != kNotFound; }

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
  if (auto p = FindLastPattern(data, kBuildMarker)) build = BuildNumberAt(image, *p);
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
      found(token.substr(0, Utf8CutLength(token, kMaxPlayerNameBytes)));
      nextIsName = false;
    } else {
      nextIsName = token == "name";
    }
  }
}

void ScanPlayerNames(ByteView image, const std::function<void(std::string_view)>& found) {
  ByteView data = Searchable(image);
  for (std::size_t p = FindPattern(data, kPlayerInfoMarker); p != kNotFound;
       p = FindPattern(data, kPlayerInfoMarker, p + 1)) {
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

namespace {

// Calls test(i) for every position i from `i` up to `to` where a marker's key
// byte and the byte after it match, and maybe for others; `n` bytes can be read.
template <class Test>
void ForEachCandidate([[maybe_unused]] const std::uint8_t* d, std::size_t i, std::size_t to, std::size_t n,
                      Test& test) {
  // The blocks test no position from `to` on and read no byte from `n` on
  // (none without SSE2: a position at a time).
  [[maybe_unused]] const std::size_t blocks = std::min(to + 1, n);
#if defined(REWINDOR_SCAN_AVX2)
  if (__builtin_cpu_supports("avx2")) i = ScanCandidatesAvx2(d, i, blocks, test);
#endif
#if defined(__SSE2__)
  // Sixteen positions at a time: a position is tested when its key byte and
  // the byte after it both match one marker (08 'H', 'B' 'U', tab 'f').
  const __m128i hltvKey = _mm_set1_epi8(0x08), buildKey = _mm_set1_epi8('B'), infoKey = _mm_set1_epi8('\t');
  const __m128i hltvNext = _mm_set1_epi8('H'), buildNext = _mm_set1_epi8('U'), infoNext = _mm_set1_epi8('f');
  for (; i + 17 <= blocks; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 1));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(v, hltvKey), _mm_cmpeq_epi8(w, hltvNext)),
                                            _mm_and_si128(_mm_cmpeq_epi8(v, buildKey), _mm_cmpeq_epi8(w, buildNext))),
                               _mm_and_si128(_mm_cmpeq_epi8(v, infoKey), _mm_cmpeq_epi8(w, infoNext)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    while (mask != 0) {
      test(i + static_cast<std::size_t>(__builtin_ctz(mask)));
      mask &= mask - 1;
    }
  }
#endif
  for (; i < to; ++i) test(i);
}

}  // namespace

struct MarkerScanner::State {
  State(std::size_t size, const NameKeyOf& key) : n(size), names(key), walk(size, keep) {}

  std::size_t n;
  std::size_t scanned = 0;
  bool hltv = false;
  int buildNumber = 0;
  NameTally names;
  const std::function<void(std::string_view)> keep = [this](std::string_view name) { names.Add(name); };
  PlayerNameWalk walk;
};

MarkerScanner::MarkerScanner(std::size_t fileSize, const NameKeyOf& key) : s_(std::make_unique<State>(fileSize, key)) {}
MarkerScanner::~MarkerScanner() = default;

std::size_t MarkerScanner::scanned() const { return s_->scanned; }

void MarkerScanner::Scan(ByteView piece, std::size_t base, std::size_t to) {
  State& s = *s_;
  if (to <= s.scanned) return;
  if (s.n < 7) {
    s.scanned = to;
    return;
  }
  const std::uint8_t* d = piece.data();
  const std::size_t lastStart = s.n - 7;  // the last start position a scan tests
  s.walk.SetBytes(piece, base);
  // Each marker has a key byte (its first non-zero one: 08 of the HLTV marker
  // at index 1, 'B', and the tab); every key byte found is tested as part of
  // its marker. Zero bytes, which fill much of a demo, are never keys. `j`
  // counts from the piece's start, `i` from the file's.
  auto test = [&](std::size_t j) {
    const std::size_t i = base + j;
    switch (d[j]) {
      case 0x08:
        if (i >= 1 && i - 1 <= lastStart && std::memcmp(d + j - 1, kHltvMarker.data(), 6) == 0) s.hltv = true;
        break;
      case 'B':
        if (i <= lastStart && std::memcmp(d + j, kBuildMarker.data(), 6) == 0) s.buildNumber = BuildNumberAt(piece, j);
        break;
      case '\t':
        if (i <= lastStart && std::memcmp(d + j, kPlayerInfoMarker.data(), 6) == 0) s.walk.AddWindow(i);
        break;
      default: break;
    }
  };
  ForEachCandidate(d, s.scanned - base, to - base, piece.size(), test);
  s.walk.Advance(to);
  s.scanned = to;
}

MarkerScan MarkerScanner::Finish() {
  State& s = *s_;
  MarkerScan result;
  result.hltv = s.hltv;
  if (s.hltv) return result;
  for (std::string_view name : s.names.kept()) result.names.emplace_back(name);
  result.namesNotListed = s.names.notListed();
  result.buildNumber = s.buildNumber;
  return result;
}

MarkerScan ScanMarkers(ByteView image, const NameKeyOf& key) {
  MarkerScanner scanner(image.size(), key);
  scanner.Scan(image, 0, image.size());
  return scanner.Finish();
}

DemoInspection InspectDemo(ByteView image, const NameKeyOf& key) {
  DemoInspection f;
  f.header = DecodeDemoHeader(image);
  MarkerScan scan = ScanMarkers(image, key);
  f.hltv = scan.hltv;
  f.buildNumber = scan.buildNumber;
  f.playerNames = std::move(scan.names);
  f.playersNotListed = scan.namesNotListed;
  f.engineVersion = EngineVersionText(f.buildNumber, f.header.networkVersion);
  return f;
}

std::string ComposeDemoSummary(const DemoInspection& inspection) {
  const DemoInspection& f = inspection;
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

namespace {

struct PictureNames {
  std::string mod, map;  // UTF-8
};

// The demo's mod and map as UTF-8, when both are plain names as bytes and as text.
std::optional<PictureNames> PlainPictureNames(std::string_view mod, std::string_view map,
                                              const DemoTextDecoder& decode) {
  if (!IsPlainName(mod) || !IsPlainName(map)) return std::nullopt;
  PictureNames names{decode(mod), decode(map)};
  if (!IsPlainName(names.mod) || !IsPlainName(names.map)) return std::nullopt;
  return names;
}

// "<folder>\<modFolder>\<pictures>\<map>.bmp", when it fits a path.
std::optional<std::string> PicturePath(std::string_view folder, std::string_view modFolder, std::string_view pictures,
                                       std::string_view map) {
  std::string path;
  path.reserve(folder.size() + modFolder.size() + pictures.size() + map.size() + 8);
  path.append(folder).append("\\").append(modFolder).append("\\").append(pictures).append("\\");
  path.append(map).append(".bmp");
  if (Utf16Length(path) > kMaxPathChars) return std::nullopt;
  return path;
}

}  // namespace

std::optional<std::string> MapPicturePath(std::string_view programFolder, std::string_view mod, std::string_view map,
                                          const DemoTextDecoder& decode) {
  std::optional<PictureNames> names = PlainPictureNames(mod, map, decode);
  if (!names) return std::nullopt;
  return PicturePath(programFolder, names->mod, "maps", names->map);
}

std::vector<std::string> MapOverviewPaths(std::string_view gameFolder, std::string_view mod, std::string_view map,
                                          const DemoTextDecoder& decode) {
  std::optional<PictureNames> names = PlainPictureNames(mod, map, decode);
  if (gameFolder.empty() || !names) return {};
  std::vector<std::string> modFolders = {names->mod, names->mod + "_addon", names->mod + "_downloads"};
  // A demo of the valve mod itself has that folder first already.
  if (!EqualIgnoringCase(names->mod, "valve")) modFolders.push_back("valve");
  std::vector<std::string> paths;
  for (const std::string& modFolder : modFolders) {
    if (auto path = PicturePath(gameFolder, modFolder, "overviews", names->map)) paths.push_back(std::move(*path));
  }
  return paths;
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string_view::npos;
}

bool HasDemoExtension(std::string_view fileName) {
  constexpr std::string_view kExtension = ".dem";
  return fileName.size() >= kExtension.size() &&
         EqualIgnoringCase(fileName.substr(fileName.size() - kExtension.size()), kExtension);
}

std::vector<std::string> DemoPlayers(const DemoInspection& inspection, const PlayerKeyOf& key) {
  return DemoPlayers(inspection, {}, key);
}

std::vector<std::string> DemoPlayers(const DemoInspection& inspection, const std::vector<std::string>& roster,
                                     const PlayerKeyOf& key) {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;  // the keys of the names kept
  seen.reserve(inspection.playerNames.size() + roster.size());
  for (const auto* list : {&inspection.playerNames, &roster}) {
    for (const std::string& name : *list) {
      if (seen.insert(key(name)).second) names.push_back(name);
    }
  }
  return names;
}

}  // namespace rewindor
