#include "launch/launcher.h"

#include <algorithm>

#include "demo/ascii.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"
#include "res/resource.h"

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

LaunchMode ChosenMode(LaunchWindow& window) {
  if (window.IsChecked(IDC_VIEWDEMO)) return LaunchMode::kView;
  if (window.IsChecked(IDC_TIMEDEMO)) return LaunchMode::kTime;
  if (window.IsChecked(IDC_STARTMOVIE)) return LaunchMode::kMovie;
  return LaunchMode::kPlayback;
}

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
    case LaunchMode::kView:
      line.append("+viewdemo ").append(kCopyName);
      break;
    case LaunchMode::kTime:
      line.append("+timedemo ").append(kCopyName);
      break;
    case LaunchMode::kMovie:
      line.append("+playdemo ").append(kCopyName).append(" 3 +startmovie rewindmovie 90");
      break;
    case LaunchMode::kPlayback:
      line.append("+playdemo ").append(kCopyName).append(" ").append(speed);
      break;
  }
  return line;
}

bool LaunchGame(LaunchWindow& window, GamePlatform& platform, std::string_view currentMod) {
  std::string demoPath = window.ControlText(IDC_DEMO_PATH, kMaxPathChars);
  std::string executablePath = window.ControlText(IDC_GAME_PATH, kMaxPathChars);
  std::string options = window.ControlText(IDC_GAME_OPTIONS, kMaxPathChars);
  std::string speed = window.ControlText(IDC_DEMO_SPEED, kMaxDemoSpeedChars);
  const std::string_view gameFolder = BeforeLastBackslash(executablePath);

  if (Utf16Length(demoPath) < 3) {
    window.ShowMessage(text::kNoDemoLoaded);
    return false;
  }
  if (Utf16Length(executablePath) < 3) {
    window.ShowMessage(text::kGameNotLocated);
    return false;
  }
  // The mod comes from the demo, which may come from anyone: it must not lead
  // the copy out of the game's folder nor add options to the command line.
  if (!IsUsableModName(currentMod)) {
    window.ShowMessage(text::kBadModName);
    return false;
  }
  std::string copyPath(gameFolder);
  copyPath.append("\\").append(currentMod).append("\\").append(kCopyName);
  if (Utf16Length(copyPath) > kMaxPathChars) {
    window.ShowMessage(text::kCopyPathTooLong);
    return false;
  }
  std::string commandLine = ComposeCommandLine(ChosenMode(window), executablePath, options, currentMod, speed);
  if (Utf16Length(commandLine) > kMaxCommandLineChars) {
    window.ShowMessage(text::kCommandLineTooLong);
    return false;
  }

  // A demo that already is the copy is played where it lies: copying it onto
  // itself fails, and deleting "the copy" afterwards would delete the demo.
  bool inPlace = SamePath(demoPath, copyPath);
  if (!inPlace) {
    platform.SetNormalAttributes(copyPath);
    if (!platform.CopyReplacing(demoPath, copyPath)) {
      window.ReportError(text::kCannotCopyDemo, platform.LastError());
      return false;
    }
  }
  if (!platform.RunToEnd(executablePath, commandLine)) {
    // The copy stays; the next launch replaces it.
    window.ReportError(text::kCannotStartGame, platform.LastError());
    return false;
  }
  if (!inPlace) platform.RemoveFile(copyPath);
  return true;
}

}  // namespace rewindor
