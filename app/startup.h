// What the program does before its main window opens: the demo path given on
// the command line (in its long form), the program folder, the .DEM file
// association, and the single instance, which hands its demo to the running
// one (app/hand_over.h). The decisions are portable and tested natively;
// app/startup_win.cpp holds the Win32 side that the program's entry calls.
#pragma once

#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "demo/files.h"
#include "demo/registry.h"

namespace rewindor {

// The named mutex held by the running instance, and the title its main window
// is found by.
inline constexpr char kInstanceMutexName[] = "RewindorII";
inline constexpr char kMainWindowTitle[] = "Rewindor";

// --- The command line ---------------------------------------------------------

// The argument text after the program's own name: a name that opens with a
// quotation mark ends after the closing one (or at the end); any other name at
// the first blank or control character; the blanks and control characters
// after it are skipped.
std::string_view ArgumentText(std::string_view commandLine);
// The demo path in the argument: trailing blanks dropped, then one pair of
// surrounding quotation marks (a path the shell quoted because of its blanks).
std::string ArgumentPath(std::string_view argument);

// --- Long paths -----------------------------------------------------------------

class PathLookup {
 public:
  virtual ~PathLookup() = default;
  enum class Service { kDone, kFailed, kUnavailable };
  // The system's long form of an existing path (GetLongPathName), whole.
  virtual Service SystemLongPath(const std::string& path, std::string& longPath) = 0;
  // The name a directory search for `path` reports for its first entry.
  virtual std::optional<std::string> FirstEntryName(const std::string& path) = 0;
};

// The long form of `source` (every component under its long name), within
// 259 characters, or empty when there is none. With the system service a path
// that names nothing gives empty; without it, the fallback below.
std::string ExpandToLongPath(std::string_view source, PathLookup& lookup);
// Component by component: each component that the directory knows is replaced
// by the name it reports, others are kept as written; the components are
// joined by single backslashes as in the source (so relative, rooted and
// network paths keep their form) and one trailing backslash is dropped.
// Drive parts, "." and "..", and names with wildcards are not looked up.
// Empty when the result would exceed 259 characters.
std::string LongPathFallback(std::string_view source, PathLookup& lookup);

// --- The .DEM file association ------------------------------------------------

// A key of the association that could not be written: what failed, and why.
struct AssociationFailure {
  std::string_view text;
  SystemError why;
};

namespace text {
inline constexpr char kCannotCreateCommandKey[] = "Could not create the rewindor registry key";
inline constexpr char kCannotSetCommand[] = "Could not set the shellcommand key value";
inline constexpr char kCannotCreateIconKey[] = "Could not create the defaulticon registry key";
inline constexpr char kCannotSetIcon[] = "Could not set the defaulticon key value";
inline constexpr char kCannotCreateExtensionKey[] = "Could not create the .dem registry key";
inline constexpr char kCannotSetExtension[] = "Could not set the .dem key value";
inline constexpr char kAssociationSkipped[] = "The .dem files were not associated with Rewindor";
inline constexpr char kReasonPercentInPath[] =
    "The program's path holds a % sign, which the shell would fill in when it opens a demo. "
    "Move the program to a folder without one.";
}  // namespace text

// Writes, per user (HKEY_CURRENT_USER\Software\Classes), the open command
// "\"<exe>\" \"%1\"", the icon "<exe>,0" and ".DEM" = "rewindor", in this
// order. Each failure is returned, in order, and the next key is still done. The shell
// fills in every %-sequence of the command, the program's own path too: a
// path with % is written in its short form (`shortPath`, the system's 8.3
// form, empty when there is none) when that has no %; otherwise nothing is
// written and the one failure says why.
std::vector<AssociationFailure> RegisterShellAssociation(std::string_view executablePath, Registry& registry,
                                                         std::string_view shortPath = {});

// --- Win32 (app/startup_win.cpp) ------------------------------------------------
#ifdef _WIN32

struct StartupFacts {
  std::string pendingDemoPath;  // long form of the command line's path, or empty
  std::string executablePath;
  std::string programFolder;
  std::vector<AssociationFailure> associationFailures;  // to be shown, in order, each in an error box
};
// The system's long-path service and directory search.
PathLookup& NativePathLookup();

// Reads the command line and the executable's path and writes the file
// association (returning its failures): everything start-up does
// before it chooses between the two instance roads.
StartupFacts PrepareStartup();

// Holds the single-instance mutex for this process's life.
class InstanceGuard {
 public:
  InstanceGuard() = default;
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;
  ~InstanceGuard();
  // Creates the mutex owned by this thread. False when another instance
  // already has it: take the hand-over road. Creating (rather than opening
  // first and creating after) leaves no moment in which two starts both see
  // no instance. A mutex that cannot be created at all still opens a window.
  bool BecomeFirstInstance(std::string_view mutexName = kInstanceMutexName);
  // Gives the mutex up (when the main window has ended).
  void Release();
  // The road of a start that found another instance: that instance's main
  // window is shown (restored when minimised or hidden) and given the demo,
  // and false is returned. Another start may still be opening its window, or
  // one may be closing: until its window appears this start waits, for a few
  // seconds at most, and when the other instance ends meanwhile it takes the
  // mutex over and returns true, to open its own window.
  bool HandOverOrTakeOver(std::string_view pendingDemoPath);

 private:
  void* mutex_ = nullptr;
  bool owned_ = false;
};

// Brings the running instance's main window to the foreground, restored when
// it is minimised or hidden, and, when the path is not empty, hands it over
// and waits until it has been taken. False when there is no such window.
bool HandOverToRunningInstance(std::string_view pendingDemoPath);

#endif

}  // namespace rewindor
