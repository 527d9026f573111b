// ReadDemoInfo: reads the demo named in the main window's path field and
// shows what it holds. It reaches the window only through InfoWindow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "demo/facts.h"
#include "demo/files.h"
#include "demo/image_buffer.h"
#include "demo/info.h"
#include "demo/names.h"

namespace rewindor {

// The main window as the information reader sees it.
class InfoWindow {
 public:
  virtual ~InfoWindow() = default;
  // Control 1000, at most 259 characters.
  virtual std::string DemoPath() = 0;
  // Control 1007: its whole text replaced. Lines are joined by a line feed.
  virtual void SetInfoText(std::string_view text) = 0;
  // List 1037: emptied; added to.
  virtual void ClearPlayers() = 0;
  virtual void AddPlayer(std::string_view name) = 0;
  // After the players: the line for `count` distinct names beyond those
  // listed ("и ещё N"), which a sorted list keeps last.
  virtual void AddPlayersNotListed(std::uint64_t count) { AddPlayer(NotListedText(count)); }
  // What the list compares when it looks for an entry without regard to
  // letter case: two names with the same key are one entry. By default the
  // name with its ASCII letters in lower case.
  virtual std::string PlayerKey(std::string_view name) { return FoldAsciiCase(name); }
  // Loads the map picture from a bitmap file as the new map picture; a
  // missing or unreadable file leaves none, silently.
  virtual void LoadMapPicture(const std::string& path) = 0;
  // The map's overview from the game, tried when the program folder gives no
  // picture: the folder of the game named in the window (empty: no game),
  // whether a map picture is loaded now, and an overview loaded as the map
  // picture, to be shown whole in the picture box (false, silently, when the
  // file is missing or unreadable). By default there is no game.
  virtual std::string GameFolder() { return {}; }
  virtual bool HasMapPicture() { return false; }
  virtual bool LoadMapOverview(const std::string& /*path*/) { return false; }
  // Repaints the whole window, background erased.
  virtual void Redraw() = 0;
  // A message box captioned "Error": "<text>: <the system's reason>".
  virtual void ReportError(std::string_view text, const SystemError& why) = 0;
  // After a failed read has been reported: a window that shows one demo at a
  // time says here that this demo could not be read, and why (the main window
  // empties its information, players and picture). By default nothing changes.
  virtual void ShowUnreadable(const SystemError& /*why*/) {}
};

// What the reader leaves behind between reads.
struct ReaderState {
  std::string programFolder;  // read: where map pictures are looked for (UTF-8)
  std::string currentMod;     // written by each successful read
  // How the demo's map and mod name are read for the picture's path; the
  // window reads them as it shows them.
  DemoTextDecoder decodeDemoText = DemoTextToUtf8;
  // The bytes each read of the file asks for (file_window.h).
  std::size_t window = kFileWindowSize;
  // The player list also names every player of the demo's roster (its
  // user-info updates), each name once: what the main window shows.
  bool playersFromRoster = false;
};

// Opens the demo at `path` and reads it whole into `image`. On failure it
// reports the failure through `report` with the information reader's texts and
// returns false, `image` untouched.
using ReadFailureReport = std::function<void(std::string_view text, const SystemError& why)>;
bool ReadDemoImage(FileSystem& files, const std::string& path, Bytes& image, const ReadFailureReport& report);
// The same into a shared buffer: on success `image` views the demo's bytes in it.
bool ReadDemoImage(FileSystem& files, const std::string& path, ImageBuffer& buffer, ByteView& image,
                   const ReadFailureReport& report);

// Returns true when the demo was read and shown; on failure the window and
// the state keep what the previous read left, and the failure was reported.
// The demo is read once, front to back, through a window (ReadDemo of
// facts.h). `read`, when given, is shown what the reader found and the facts
// from the same read, so a caller that wants more reads the file only once.
using DemoReadSink = std::function<void(const DemoReading& reading)>;
bool ReadDemoInfo(InfoWindow& window, FileSystem& files, ReaderState& state, const DemoReadSink& read = nullptr);

}  // namespace rewindor
