// Finding the game without asking the user: where Steam is installed, which of
// its libraries holds Half-Life, or where a Half-Life from before Steam was
// installed; and which of the game's mod folders hold demos. Every decision is
// portable and tested on bytes; the platform only answers the few questions of
// GameSources (launch/game_finder_win.cpp, launch/game_finder_posix.cpp).
//
// Finding never reports anything: whatever is missing, unreadable, oversized
// or malformed is passed over, and the next place is tried.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/folders.h"
#include "demo/registry.h"

namespace rewindor {

// --- Steam's KeyValues texts (libraryfolders.vdf, appmanifest_*.acf) -------------

// What a KeyValues text holds, in file order.
class KeyValuesVisitor {
 public:
  virtual ~KeyValuesVisitor() = default;
  virtual void BlockStart(std::string_view key) = 0;
  virtual void BlockEnd() = 0;
  virtual void Leaf(std::string_view key, std::string_view value) = 0;
};

// Reads `"key" "value"` pairs and `"key" { ... }` blocks: quoted texts with the
// escapes \\ \" \n \t (any other backslash stays as written), unquoted words,
// and `//` comments to the end of the line. One pass with a depth counter, so
// any text, nested however deep, costs time linear in its size and fixed
// memory. False for a malformed text: an open quote or block at the end, a
// stray "}", a block or the end where a value was due; the visitor has then
// seen its first part.
bool ReadKeyValues(std::string_view text, KeyValuesVisitor& visitor);

struct SteamLibrary {
  std::string path;            // as written in the file, escapes undone
  bool holdsHalfLife = false;  // its "apps" lists 70 (Half-Life) or 10 (Counter-Strike)
};
// The libraries that libraryfolders.vdf lists, in file order, in the current
// form ("libraryfolders" { "0" { "path" "..." "apps" { "70" "..." } } }) and in
// the old one ("LibraryFolders" { "1" "D:\\Games\\SteamLibrary" }); keys in
// any letter case. Nothing from a malformed text.
std::vector<SteamLibrary> ParseLibraryFolders(std::string_view vdf);
// The "installdir" of an appmanifest_*.acf ("AppState" { "installdir" "..." }),
// when it is a plain folder name without a control byte.
std::optional<std::string> ParseInstallDir(std::string_view acf);

// --- What the platform answers ---------------------------------------------------

// Where the finder looks: the registry and hl.exe on Windows, the Steam
// folders under the home folder and hl_linux on Linux.
enum class GameSystem { kWindows, kLinux };

// The platform's sources answer a path with a NUL in it as missing: the
// system would look at the path cut there, another file. Folders are listed
// as demo/folders.h has it (what could not be opened is passed over), and
// IsFile is true for a regular file.
class GameSources : public Folders {
 public:
  virtual ~GameSources() = default;
  // A text value (REG_SZ) as UTF-8, the key taken as named (a 32-bit program
  // is not redirected); nothing when it is missing, of another type or longer
  // than a path may be.
  virtual std::optional<std::string> RegistryText(RegistryHive hive, std::string_view key, std::string_view name) = 0;
  // The user's home folder; empty when there is none.
  virtual std::string HomeFolder() = 0;
  // A regular file of at most `maxBytes` bytes, whole; nothing for anything else.
  virtual std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) = 0;
};

// Steam's files are a few kilobytes; a larger one is passed over unread.
inline constexpr std::size_t kMaxSteamFileBytes = 1 << 20;
// The libraries of one Steam folder that are looked into (real ones have a few).
inline constexpr std::size_t kMaxSteamLibraries = 64;

// Where the game was found (FoundGame::source).
namespace game_source {
// In the Steam folder that the registry names (Windows).
inline constexpr char kSteamRegistry[] = "steam-registry";
// In the Steam folder under the home folder (Linux).
inline constexpr char kSteamHome[] = "steam-home";
// In another library of that Steam, listed in libraryfolders.vdf; followed by
// a blank and the library's folder.
inline constexpr char kSteamLibrary[] = "steam-library";
// In the folder of a Half-Life installed before Steam (Windows).
inline constexpr char kHalfLifeRegistry[] = "half-life-registry";
}  // namespace game_source

struct FoundGame {
  std::string executable;  // hl.exe, cstrike.exe or hl_linux, full path
  std::string folder;      // the executable's folder
  std::string source;      // one of game_source, the library's folder after kSteamLibrary
};

// Tries, in this order, and takes the first executable that exists:
// - Windows: the Steam folder of HKCU\Software\Valve\Steam "SteamPath", then of
//   "InstallPath" under HKLM\SOFTWARE\WOW6432Node\Valve\Steam, then under
//   HKLM\SOFTWARE\Valve\Steam; then hl.exe and cstrike.exe in the folder of
//   HKCU\Software\Valve\Half-Life "InstallPath".
// - Linux: the Steam folders ~/.steam/steam, ~/.local/share/Steam and Flatpak's
//   ~/.var/app/com.valvesoftware.Steam/.local/share/Steam.
// In each Steam folder, its libraries: those whose "apps" list Half-Life or
// Counter-Strike first, then the Steam folder itself, then the others; in
// each, steamapps\common\<installdir>\hl.exe (hl_linux), the installdir taken
// from appmanifest_70.acf (else appmanifest_10.acf, else "Half-Life"). A folder
// that is not on a drive of the machine (a network share, a relative path) or
// that holds a NUL or another control byte is passed over.
std::optional<FoundGame> FindGame(GameSources& sources, GameSystem system);

struct DemoFolder {
  std::string path;
  std::size_t demos = 0;
};
// Every folder directly inside the game folder that holds at least one demo
// (a file named *.dem, letter case ignored; subfolders not searched), most
// demos first, ties by name.
std::vector<DemoFolder> DemoFolders(GameSources& sources, std::string_view gameFolder, GameSystem system);

// The folder a start without a demo lists: the program folder, unless it
// holds no demo and the game folder (empty: none known) has a mod folder with
// demos; then the one with the most.
std::string StartFolder(GameSources& sources, const std::string& programFolder, std::string_view gameFolder,
                        GameSystem system);

// The platform's sources, and which rules it follows.
GameSources& NativeGameSources();
GameSystem NativeGameSystem();

}  // namespace rewindor
