// The library's rows: a demo file as the folder's listing found it and what
// the demo holds, and the words of its date and size.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rewindor {

// A demo file as the folder's listing found it.
struct LibraryFile {
  std::string path;      // UTF-8
  std::string fileName;  // the path's last part
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
  std::string folder = {};    // its folder below the listed one ("" for the listed one itself)
};

// kNotADemo: read, but no demo (IsUsableDemo); kBeingWritten: an unfinished
// demo that another program (the game) still has open for writing.
enum class DemoState : std::uint8_t { kFinished, kUnfinished, kReadError, kNotADemo, kBeingWritten };

// One row: a demo file and what the demo holds, its texts as its own bytes.
struct LibraryRow {
  LibraryFile file;
  DemoState state = DemoState::kReadError;
  std::string error;  // kReadError: "<fixed text>: <reason>", as the window reports it
  std::string map;
  std::optional<double> duration;  // the playing time in seconds
  std::optional<std::string> server;
  std::optional<std::string> recorder;  // none for HLTV
  std::vector<std::string> players;     // the information reader's names
  std::vector<std::string> roster;      // the names the frames carry
  std::uint64_t rosterNotListed = 0;    // distinct names beyond those the roster keeps
  std::vector<std::string> steamIds;    // the players' Steam IDs, found by the filter
};

// A moment as the user's local calendar and clock tell it.
using LocalTimeOf = std::function<std::tm(std::int64_t utcSeconds)>;
std::tm SystemLocalTime(std::int64_t utcSeconds);

// "YYYY-MM-DD HH:MM" in local time; empty for a time that has no date.
std::string LibraryDateText(std::int64_t utcSeconds, const LocalTimeOf& localTime);
// A date's text as the window shows it (the user's own short date and time).
using DateTextOf = std::function<std::string(std::int64_t utcSeconds)>;
// Bytes below a kilobyte, then kilo-, mega- and gigabytes (of 1,024) with one
// decimal: "512 Б", "907,5 КБ", "1,3 МБ".
std::string LibrarySizeText(std::uint64_t bytes);

}  // namespace rewindor
