// The demo information reader's pure parts: the three marker scans, the
// engine version table, the summary text and the map picture path. They work
// on the whole file held in memory (the DemoImage) and never change it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/ascii.h"
#include "demo/bytes.h"
#include "demo/demo_format.h"
#include "demo/names.h"
#include "demo/utf8.h"

namespace rewindor {

inline constexpr std::array<std::uint8_t, 6> kHltvMarker = {0x00, 0x08, 'H', 'L', 'T', 'V'};
inline constexpr std::array<std::uint8_t, 6> kBuildMarker = {'B', 'U', 'I', 'L', 'D', ' '};
inline constexpr std::array<std::uint8_t, 6> kPlayerInfoMarker = {0x09, 'f', 'u', 'l', 'l', 's'};

inline constexpr std::size_t kPlayerInfoWindowSize = 4096;
inline constexpr std::size_t kMaxPlayerNameBytes = 127;

// A scan tests the start positions 0 .. N-7 of an N-byte image: a marker whose
// last byte is the file's last byte is not found.
bool ScanHltv(ByteView image);
// The number after the last build marker (atoi over its five bytes from the
// space), or 0 when there is none.
int ScanBuildNumber(ByteView image);
// Calls `found` with each player name in file order, repeats included.
void ScanPlayerNames(ByteView image, const std::function<void(std::string_view)>& found);

// The value of the five bytes after a build marker's letters, read like atoi.
int BuildNumberAt(ByteView image, std::size_t markerPos);
// The player names of one window (the bytes from a player-info marker on).
void PlayerNamesInWindow(ByteView window, const std::function<void(std::string_view)>& found);

std::string EngineVersionText(int buildNumber, std::string_view networkVersion);

// The three scans in one pass over the image, with the results of
// ScanHltv, ScanBuildNumber (0 for an HLTV demo) and ScanPlayerNames (none for
// an HLTV demo; each name once, exact repeats dropped, in first-seen order, up
// to kMaxListedNames of names.h, and the number of the other distinct names).
struct MarkerScan {
  bool hltv = false;
  int buildNumber = 0;
  std::vector<std::string> names;
  std::uint64_t namesNotListed = 0;
};
// The names are told apart by `key` (exact bytes without one), so that the
// names one key makes one never use up the list.
MarkerScan ScanMarkers(ByteView image, const NameKeyOf& key = nullptr);

// How far past the last position it tests a scan looks: the player-info
// window and a little more.
inline constexpr std::size_t kMarkerLookahead = kPlayerInfoWindowSize + 8;

// ScanMarkers over a file that comes piece by piece, front to back, in
// bounded memory. Each Scan tests the start positions from where the last one
// stopped up to `to` (exclusive), given `piece`, the file's bytes from `base`
// on: they hold the byte before the first position tested and reach
// kMarkerLookahead bytes past `to`, or the file's end. Once every position
// was tested, Finish gives what ScanMarkers gives for the whole file.
class MarkerScanner {
 public:
  // The names are told apart by `key`, as ScanMarkers tells them.
  explicit MarkerScanner(std::size_t fileSize, const NameKeyOf& key = nullptr);
  ~MarkerScanner();
  MarkerScanner(const MarkerScanner&) = delete;
  MarkerScanner& operator=(const MarkerScanner&) = delete;

  void Scan(ByteView piece, std::size_t base, std::size_t to);
  std::size_t scanned() const;  // the first position not tested yet
  MarkerScan Finish();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

struct DemoInspection {
  DemoHeader header;
  bool hltv = false;
  int buildNumber = 0;
  std::string engineVersion;
  // The information scan's player names, as ScanMarkers finds them in the
  // player-info blocks (none for an HLTV demo); not the roster of the
  // user-info updates (DemoFacts::roster).
  std::vector<std::string> playerNames;
  std::uint64_t playersNotListed = 0;  // the distinct names beyond them
};
// Header, scans (build and names only for a demo that is not HLTV) and the engine version.
// The names told apart by `key`, as DemoPlayers does.
DemoInspection InspectDemo(ByteView image, const NameKeyOf& key = FoldAsciiCase);

// The six-line information text, joined by line feeds.
std::string ComposeDemoSummary(const DemoInspection& inspection);

// Turns a text from a demo (bytes of unknown code page) into UTF-8.
using DemoTextDecoder = std::function<std::string(std::string_view)>;

// Where the map picture is looked for: "<program folder>\<mod>\maps\<map>.bmp"
// in UTF-8, or nothing when the map or the mod is not a plain name or the path
// would exceed 259 characters. The program folder is UTF-8 already; the mod
// and the map are the demo's bytes, each decoded by itself, so that a folder
// and a name in different encodings still make one path.
std::optional<std::string> MapPicturePath(std::string_view programFolder, std::string_view mod, std::string_view map,
                                          const DemoTextDecoder& decode = DemoTextToUtf8);

// Where the game keeps the map's top-down overview, in the order to try:
// "<game folder>\\<mod>\\overviews\\<map>.bmp", then the same in "<mod>_addon",
// "<mod>_downloads" (custom maps bring theirs there) and "valve". The names
// follow MapPicturePath's rules; a path that would not fit is left out, and
// there is none without a game folder.
std::vector<std::string> MapOverviewPaths(std::string_view gameFolder, std::string_view mod, std::string_view map,
                                          const DemoTextDecoder& decode = DemoTextToUtf8);

// True for a name that can only mean one file or folder inside another: not
// empty, not "." or "..", and without '\\', '/' or ':'.
bool IsPlainName(std::string_view name);
// A file name ending in ".dem", letter case ignored: what the tool and the
// library take for a demo in a folder.
bool HasDemoExtension(std::string_view fileName);

// The player names of a demo in first-seen order, a later name dropped when
// its `key` equals an earlier one's (by default: repeats that differ only in
// the letter case of ASCII letters); none for an HLTV demo. One key a name,
// one set look-up each.
using PlayerKeyOf = NameKeyOf;
std::vector<std::string> DemoPlayers(const DemoInspection& inspection, const PlayerKeyOf& key = FoldAsciiCase);
// The same, then every name of the demo's `roster` (DemoFacts::roster: its
// user-info updates, which also name the players of an HLTV demo) whose key
// is not yet among them.
std::vector<std::string> DemoPlayers(const DemoInspection& inspection, const std::vector<std::string>& roster,
                                     const PlayerKeyOf& key = FoldAsciiCase);

}  // namespace rewindor
