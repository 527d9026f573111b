// What a demo holds beyond its summary: its playing time, frames,
// server, who recorded it and who played, and whether the game finished
// writing it. Read from the frames, never from fixed file positions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo/bytes.h"
#include "demo/file_window.h"
#include "demo/files.h"
#include "demo/info.h"
#include "demo/resolution.h"

namespace rewindor {

struct PlayerSteamId {
  std::string name;     // bytes as the demo holds them
  std::string steamId;  // the 64-bit ID in decimal, as the demo holds it
  bool operator==(const PlayerSteamId&) const = default;
};

struct DemoFacts {
  // Playing time in seconds and network frames (type 1) of the Playback
  // segment as the frame walk (frames.h) runs it, which is what the directory
  // of a finished demo says. The time is its last frame's.
  std::optional<double> duration;
  std::optional<std::int64_t> frames;
  std::optional<std::string> server;  // the server's host name, bytes as the demo holds them
  std::optional<int> maxPlayers;
  std::optional<std::string> recorder;  // none for HLTV and where no user-info names the recording slot
  // The roster: every distinct player name the user-info updates of the
  // frames carry (an HLTV demo's too), in first-seen order, up to
  // kMaxListedNames (names.h); the number of the others beside them. Not the
  // information scan's player names (DemoInspection::playerNames).
  std::vector<std::string> roster;
  std::uint64_t rosterNotListed = 0;
  // Each player with a Steam ID (not 0, not a bot; SteamIdOf), once per ID in
  // first-seen order with the last name they had, up to kMaxListedNames.
  std::vector<PlayerSteamId> steamIds;
  // The directory describes exactly the segments walked (DemoWalk::finished):
  // nothing for the repair to do.
  bool finished = false;
  // IsUsableDemo: a file without the signature or with another header is no
  // demo, and never counts as unfinished.
  bool demo = true;
  std::optional<Resolution> resolution;  // as DetectResolution tells it, from the same walk
};

DemoFacts ReadDemoFacts(ByteView image);
// The same for a caller that knows already whether the demo holds the HLTV
// marker (InspectDemo's hltv), sparing a pass over the image.
DemoFacts ReadDemoFacts(ByteView image, bool hltv);

// What the information reader (InspectDemo) and the facts take from one
// read of a demo.
struct DemoReading {
  DemoInspection inspection;
  DemoFacts facts;
};
DemoReading ReadDemo(ByteView image);

struct DemoReadOptions {
  bool facts = true;  // false: the information reader's part alone, no frame walked
  std::size_t window = kFileWindowSize;
  NameKeyOf key = FoldAsciiCase;  // how the information reader's names are told apart (InspectDemo)
};
// The same from an opened demo, read once, front to back, through a window
// of fixed size (file_window.h): the memory held does not grow with the
// demo. The outcome tells which step failed, as ReadWhole's does: a read that
// fails, or a file that turns out shorter than its size, is kShortRead, and
// `reading` is then left untouched. A file that grows meanwhile is read up to
// the size it had when asked, as a whole read would be.
ReadOutcome ReadDemo(DemoFile& file, DemoReading& reading, const DemoReadOptions& options = {});

// Longer than any recording (about 31 years): a larger time is damage.
inline constexpr double kMaxPlayingSeconds = 1e9;

// A playing time as minutes and seconds, "m:ss" (whole seconds, cut down);
// a time that is not a number, negative or beyond a few years shows as 0:00.
std::string PlayingTimeText(double seconds);

}  // namespace rewindor
