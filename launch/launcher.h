// LaunchGame: plays the current demo in the game. The demo is copied into the
// mod folder as "rewindor.dem", the game is started with a command line for
// one of four modes and waited for, and the copy is deleted after it ends.
// The window hands in what its fields and boxes hold and shows what came of
// it; the platform is reached through the interface below, so the whole
// sequence runs and is tested without either.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "demo/files.h"

namespace rewindor {

// CreateProcess takes a command line of at most 32767 characters with its
// terminator.
inline constexpr std::size_t kMaxCommandLineChars = 32766;

namespace text {
inline constexpr char kNoDemoLoaded[] = "No demo-file loaded.";
inline constexpr char kGameNotLocated[] = "You have not located your hl.exe/cstrike.exe.";
inline constexpr char kCannotCopyDemo[] = "Could not copy demo-file";
inline constexpr char kCannotStartGame[] = "Could not start HL.EXE/CSTRIKE.EXE";
inline constexpr char kBadModName[] =
    "Демка называет папку мода так, что её нельзя взять (нужно простое имя папки). "
    "Ничего не скопировано и не запущено.";
inline constexpr char kCopyPathTooLong[] =
    "Путь копии демки в папке мода был бы длиннее 259 знаков. Ничего не скопировано и не запущено.";
inline constexpr char kCommandLineTooLong[] =
    "Командная строка игры была бы длиннее, чем принимает Windows (32767 знаков). "
    "Ничего не скопировано и не запущено.";
}  // namespace text

// What is to be played, as the main window holds it when "Смотреть" is pressed.
struct LaunchRequest {
  std::string demoPath;
  std::string gamePath;     // hl.exe or cstrike.exe
  std::string gameOptions;  // passed on as typed
  std::string demoSpeed;    // passed on as typed, its first 19 characters
  // The mode boxes: the first checked, in this order, decides; with none the
  // demo is played at the speed.
  bool viewDemo = false;
  bool timeDemo = false;
  bool startMovie = false;
  // The mod of the last demo read successfully, as UTF-8 (the window converts
  // the demo's bytes as it shows them); empty before the first.
  std::string mod;
};

// What came of a launch, for the window to show.
struct LaunchOutcome {
  enum class Kind {
    kPlayed,   // the game was started and has ended
    kRefused,  // nothing copied or started: a box captioned "Rewindor" with `text`
    kFailed,   // ReportError: "<text>: <why>"
  };
  Kind kind = Kind::kPlayed;
  std::string text;
  SystemError why;
};

// The platform's part. Paths and texts are UTF-8.
class GamePlatform {
 public:
  virtual ~GamePlatform() = default;
  // Gives the file the normal attributes (clears read-only); a missing file is no error.
  virtual void SetNormalAttributes(const std::string& path) = 0;
  // Copies a file, replacing one already at `to`.
  virtual bool CopyReplacing(const std::string& from, const std::string& to) = 0;
  // Starts `application` with `commandLine` (inheriting no handles, in the
  // program's own folder and environment) and waits until it has ended.
  // False when it could not be started.
  virtual bool RunToEnd(const std::string& application, const std::string& commandLine) = 0;
  // Deletes a file; a failure is not looked at.
  virtual void RemoveFile(const std::string& path) = 0;
  // The reason for the last failed CopyReplacing or RunToEnd.
  virtual SystemError LastError() = 0;
};

enum class LaunchMode { kPlayback, kView, kTime, kMovie };

// What the launcher derives from its inputs; exposed for the tests.
// The longest mod name the launcher passes on.
inline constexpr std::size_t kMaxModNameChars = 64;
// True for a plain folder name that can only mean one folder beside the game
// and one -game value: 1 to 64 ASCII letters, digits, '_', '-' and '.', not
// beginning with '-' or '.' (an option, or "." and "..") nor ending with '.'
// (Windows drops it from folder names). The empty name is
// accepted too: with no demo read yet it names the game folder itself.
bool IsUsableModName(std::string_view mod);
std::string ComposeCommandLine(LaunchMode mode, std::string_view executablePath, std::string_view options,
                               std::string_view mod, std::string_view speed);

// Plays the demo the request names.
LaunchOutcome LaunchGame(const LaunchRequest& request, GamePlatform& platform);

// The Win32 platform (launch/launcher_win.cpp).
#ifdef _WIN32
GamePlatform& NativeGamePlatform();
#endif

}  // namespace rewindor
