#include "launch/launcher.h"

#include <algorithm>
#include <utility>

#include "demo/ascii.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

// The copy's name inside the mod folder, and the option that always follows the mod.
constexpr std::string_view kCopyName = "rewindor.dem";
constexpr std::string_view kFullscreen = "-fullscreen";
constexpr std::string_view kCommonTail = " -console -toconsole +exec config.cfg ";

bool HasBlank(std::string_view s) { return s.find_first_of(" \t") != std::string_view::npos; }

// Paths alike for Windows: ASCII letter case and the two separators do not count.
bool SamePath(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return c == '/' ? '\\' : FoldAscii(c); };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

LaunchMode ChosenMode(const LaunchRequest& request) {
  if (request.viewDemo) return LaunchMode::kView;
  if (request.timeDemo) return LaunchMode::kTime;
  if (request.startMovie) return LaunchMode::kMovie;
  return LaunchMode::kPlayback;
}

LaunchOutcome Refused(const char* text) { return {LaunchOutcome::Kind::kRefused, text, {}}; }
LaunchOutcome Failed(const char* text, SystemError why) { return {LaunchOutcome::Kind::kFailed, text, std::move(why)}; }

}  // namespace

bool IsUsableModName(std::string_view mod) {
  if (mod.empty()) return true;
  if (mod.size() > kMaxModNameChars || mod.front() == '-' || mod.front() == '.') return false;
  if (mod.back() == '.') return false;  // Windows drops it: the folder and the -game value would differ
  return std::all_of(mod.begin(), mod.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
  });
}

std::string ComposeCommandLine(LaunchMode mode, std::string_view executablePath, std::string_view options,
                               std::string_view mod, std::string_view speed) {
  std::string line;
  line.reserve(executablePath.size() + options.size() + mod.size() + speed.size() + 128);
  // The application name goes to CreateProcess separately; on the command line
  // a path with a blank must be quoted or the game reads its first word only.
  if (HasBlank(executablePath)) {
    line.append("\"").append(executablePath).append("\"");
  } else {
    line.append(executablePath);
  }
  line.append(" ").append(options).append(" -game ").append(mod).append(" ").append(kFullscreen);
  line.append(kCommonTail);
  switch (mode) {
    case LaunchMode::kView: line.append("+viewdemo ").append(kCopyName); break;
    case LaunchMode::kTime: line.append("+timedemo ").append(kCopyName); break;
    case LaunchMode::kMovie: line.append("+playdemo ").append(kCopyName).append(" 3 +startmovie rewindmovie 90"); break;
    case LaunchMode::kPlayback: line.append("+playdemo ").append(kCopyName).append(" ").append(speed); break;
  }
  return line;
}

LaunchOutcome LaunchGame(const LaunchRequest& request, GamePlatform& platform) {
  const std::string& demoPath = request.demoPath;
  const std::string& executablePath = request.gamePath;
  const std::string speed = CutToUtf16Length(request.demoSpeed, kMaxDemoSpeedChars);
  const std::string_view gameFolder = BeforeLastBackslash(executablePath);

  if (Utf16Length(demoPath) < 3) return Refused(text::kNoDemoLoaded);
  if (Utf16Length(executablePath) < 3) return Refused(text::kGameNotLocated);
  // The mod comes from the demo, which may come from anyone: it must not lead
  // the copy out of the game's folder nor add options to the command line.
  if (!IsUsableModName(request.mod)) return Refused(text::kBadModName);
  std::string copyPath(gameFolder);
  copyPath.append("\\").append(request.mod).append("\\").append(kCopyName);
  if (Utf16Length(copyPath) > kMaxPathChars) return Refused(text::kCopyPathTooLong);
  std::string commandLine =
      ComposeCommandLine(ChosenMode(request), executablePath, request.gameOptions, request.mod, speed);
  if (Utf16Length(commandLine) > kMaxCommandLineChars) return Refused(text::kCommandLineTooLong);

  // A demo that already is the copy is played where it lies: copying it onto
  // itself fails, and deleting "the copy" afterwards would delete the demo.
  bool inPlace = SamePath(demoPath, copyPath);
  if (!inPlace) {
    platform.SetNormalAttributes(copyPath);
    if (!platform.CopyReplacing(demoPath, copyPath)) return Failed(text::kCannotCopyDemo, platform.LastError());
  }
  // On a failure the copy stays; the next launch replaces it.
  if (!platform.RunToEnd(executablePath, commandLine)) return Failed(text::kCannotStartGame, platform.LastError());
  if (!inPlace) platform.RemoveFile(copyPath);
  return {};
}

}  // namespace rewindor
