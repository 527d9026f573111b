// rewindor-cli: the demo commands without a window, for scripts and batches.
// Everything here is portable; the console and the command line of the
// platform are in console.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/details.h"
#include "demo/files.h"
#include "demo/info.h"
#include "demo/resolution.h"

namespace rewindor::cli {

// Where the tool writes; texts are UTF-8.
class Console {
 public:
  virtual ~Console() = default;
  virtual void Out(std::string_view text) = 0;
  virtual void Err(std::string_view text) = 0;
};

enum ExitStatus : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Runs one command line (the arguments after the program's name) and returns
// the exit status.
int RunCli(const std::vector<std::string>& args, FileSystem& files, Console& console);

extern const char kUsage[];

// "WxH" (or "WXH"), decimal, each part fitting 32 bits.
std::optional<Resolution> ParseScreenSize(std::string_view text);

// convert-resolution without --from, on a demo whose size cannot be told.
extern const char kNoResolutionFound[];

// What the information reader found in one demo, its texts as UTF-8.
struct InfoReport {
  std::string error;  // set when the demo could not be read: "<fixed text>: <reason>"
  DemoInspection inspection;
  std::string summary;                 // the six lines, as the window shows them
  std::vector<std::string> players;    // first-seen order
  std::uint64_t playersNotListed = 0;  // distinct names beyond those listed
  DemoDetails details;                 // playing time, server, recorder, roster, the screen size it records
};
// The demo is read once, front to back, through a window of fixed size.
InfoReport InspectDemoFile(FileSystem& files, const std::string& path);

}  // namespace rewindor::cli
