// ReadDemoReport: opens one demo, reads it once and returns everything a
// reader of a demo needs (the main window, the command-line tool, the details
// view, the library): the summary lines, the player names, the facts, where
// its map picture may be, and, when it cannot be read, why in words.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/events.h"
#include "demo/facts.h"
#include "demo/files.h"
#include "demo/image_buffer.h"
#include "demo/info.h"
#include "demo/names.h"

namespace rewindor {

// What the main window keeps between reads.
struct ReaderState {
  std::string programFolder;  // where map pictures are looked for (UTF-8)
  std::string currentMod;     // the mod of the demo read last with success
  // How the demo's map and mod name are read for the picture's path; the
  // window reads them as it shows them.
  DemoTextDecoder decodeDemoText = DemoTextToUtf8;
  // The bytes each read of the file asks for (file_window.h).
  std::size_t window = kFileWindowSize;
  // The player names also hold every player of the demo's roster (its
  // user-info updates), each name once: what the main window shows.
  bool playersFromRoster = false;
};

// Why a demo could not be read: a fixed text of demo/messages.h and the
// system's reason.
struct DemoReadError {
  std::string_view text;
  SystemError why;

  // "<text>: <reason>" (ComposeErrorReport).
  std::string Words() const;
};

// What ReadDemoReport is to read and work out.
struct DemoReportOptions {
  std::string_view programFolder = {};              // where the map pictures are looked for (UTF-8)
  std::string_view gameFolder = {};                 // the folder of the game the user named; empty: no overview
  DemoTextDecoder decodeDemoText = DemoTextToUtf8;  // the map and mod name in a picture's path
  // What tells two player names apart: two names with the same key are one
  // name. The main window's list compares names in its own way.
  NameKeyOf playerKey = FoldAsciiCase;
  bool facts = false;              // the frames are walked for the facts
  bool playersFromRoster = false;  // the roster's names join the players (implies the facts)
  // The events are read. Read whole into a buffer, they join the rest from the
  // one read. Through the window, the message decoder reads the file on its
  // own: the report then holds the events alone (or the error), with no
  // inspection, facts, summary, players or pictures.
  bool events = false;
  std::size_t window = kFileWindowSize;  // the bytes each read of the file asks for
  // Given: the demo is read whole into it and the report's `image` views it
  // until its next read. Otherwise it is read front to back through a window
  // (ReadDemo of facts.h): the memory held does not grow with the demo.
  ImageBuffer* buffer = nullptr;
};

struct DemoReport {
  std::optional<DemoReadError> error;  // set: nothing else below is
  DemoInspection inspection;           // the header and the marker scan's names
  DemoFacts facts;                     // only when asked for
  std::string summary;                 // the six lines, joined by a line feed
  // Each name once, first seen first: the scan's, then (when asked) the
  // roster's it lacks; then how many more distinct names were not listed.
  std::vector<std::string> players;
  std::uint64_t playersNotListed = 0;
  std::string mod;  // the demo's game folder name, as in its header
  // The map picture: the program folder's, to be shown as it is, and then the
  // game's overviews in the order they are tried until one loads.
  std::optional<std::string> picture;
  std::vector<std::string> overviews;
  ByteView image;     // with a buffer: the demo's bytes
  DemoEvents events;  // only when asked for
};

DemoReport ReadDemoReport(FileSystem& files, const std::string& path, const DemoReportOptions& options = {});

// Opens the demo at `path` and reads it whole into a shared buffer that
// `image` then views; on failure says why with the information reader's
// texts, `image` untouched.
std::optional<DemoReadError> ReadDemoImage(FileSystem& files, const std::string& path, ImageBuffer& buffer,
                                           ByteView& image);

}  // namespace rewindor
