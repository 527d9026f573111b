#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <memory>
#include <utility>

#include "cli/demo_paths.h"
#include "cli/json.h"
#include "demo/edits.h"
#include "demo/messages.h"
#include "demo/names.h"
#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "demo/repair.h"
#include "demo/utf8.h"
#include "rewindor_version.h"

namespace rewindor::cli {

const char kUsage[] =
    "Usage: rewindor-cli COMMAND [OPTIONS] PATH...\n"
    "\n"
    "Commands:\n"
    "  info                 show what each demo holds\n"
    "  remove-fades         remove the fade-to-black screen fades\n"
    "  strip-chat           blank the team chat messages\n"
    "  trim-loading         cut away the start of the loading segment\n"
    "  convert-resolution   change the recorded screen size (needs --to)\n"
    "  repair               rebuild the directory of a demo the game never finished\n"
    "\n"
    "A PATH is a demo file or a folder; a folder gives its .dem files.\n"
    "\n"
    "Options:\n"
    "  --json        one JSON object per demo, one per line\n"
    "  -r            look for demos in subfolders too\n"
    "  --dry-run     edits only: report what would change, write nothing\n"
    "  --to WxH      convert-resolution: the new size\n"
    "  --from WxH    convert-resolution: the size to replace\n"
    "                (default: the size the demo records)\n"
    "  -h, --help    show this text\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 all went well, 1 a demo failed, 2 wrong usage.\n";

const char kNoResolutionFound[] =
    "The demo was not changed: the screen resolution it records could not be found; give it with --from WxH.";

namespace {

constexpr char kProgram[] = "rewindor-cli";

// ---------------------------------------------------------------------------
// The information reader, run as the window runs it.

// The main window as the tool stands in for it: it keeps what the reader shows.
class CaptureWindow final : public InfoWindow {
 public:
  explicit CaptureWindow(std::string path) : path_(std::move(path)) {}

  std::string DemoPath() override { return path_; }
  void SetInfoText(std::string_view text) override { summary = text; }
  void ClearPlayers() override { players.clear(); }
  void AddPlayer(std::string_view name) override { players.emplace_back(name); }
  void AddPlayersNotListed(std::uint64_t count) override { playersNotListed = count; }
  void LoadMapPicture(const std::string&) override {}  // the tool shows no picture
  void Redraw() override {}
  void ReportError(std::string_view text, const SystemError& why) override {
    error = std::string(text) + ": " + why.text;
  }

  std::string summary;
  std::vector<std::string> players;
  std::uint64_t playersNotListed = 0;
  std::string error;

 private:
  std::string path_;
};

// ---------------------------------------------------------------------------
// The command line.

enum class Command { kInfo, kRemoveFades, kStripChat, kTrimLoading, kConvertResolution, kRepair };

constexpr std::pair<std::string_view, Command> kCommands[] = {
    {"info", Command::kInfo},
    {"remove-fades", Command::kRemoveFades},
    {"strip-chat", Command::kStripChat},
    {"trim-loading", Command::kTrimLoading},
    {"convert-resolution", Command::kConvertResolution},
    {"repair", Command::kRepair},
};

struct Options {
  Command command = Command::kInfo;
  bool json = false;
  bool recursive = false;
  bool dryRun = false;
  std::optional<Resolution> to;
  std::optional<Resolution> from;
  std::vector<std::string> paths;
};

struct ParsedArgs {
  bool help = false;
  bool version = false;
  std::string usageError;
  Options options;
};

ParsedArgs ParseArgs(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  Options& o = parsed.options;
  auto fail = [&](std::string why) {
    parsed.usageError = std::move(why);
    return parsed;
  };
  bool optionsEnded = false;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      parsed.help = true;
      return parsed;
    } else if (arg == "--version") {
      parsed.version = true;
      return parsed;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "-r" || arg == "--recursive") {
      o.recursive = true;
    } else if (arg == "--dry-run") {
      o.dryRun = true;
    } else if (arg.starts_with("--to") || arg.starts_with("--from")) {
      std::string name = arg.substr(0, arg.find('='));
      if (name != "--to" && name != "--from") return fail("unknown option " + arg);
      std::string value;
      if (name.size() < arg.size()) {
        value = arg.substr(name.size() + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail(name + " needs a size WxH");
      }
      std::optional<Resolution> size = ParseScreenSize(value);
      if (!size) return fail(name + " needs a size WxH, not \"" + value + "\"");
      (name == "--to" ? o.to : o.from) = size;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (positional.empty()) return fail("no command given");
  auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                            [&](const auto& c) { return c.first == positional.front(); });
  if (known == std::end(kCommands)) return fail("unknown command " + positional.front());
  o.command = known->second;
  o.paths.assign(positional.begin() + 1, positional.end());
  if (o.command == Command::kInfo && o.dryRun) return fail("--dry-run is for the edit commands");
  if (o.command != Command::kConvertResolution && (o.to || o.from)) {
    return fail("--to and --from are for convert-resolution");
  }
  if (o.command == Command::kConvertResolution && !o.to) return fail("convert-resolution needs --to WxH");
  if (o.paths.empty()) return fail("no PATH given");
  return parsed;
}

std::string_view CommandName(Command command) {
  for (const auto& [name, c] : kCommands) {
    if (c == command) return name;
  }
  return {};
}

const PatchSettings& SettingsFor(Command command) {
  switch (command) {
    case Command::kRemoveFades:
      return kRemoveFadeToBlackSettings;
    case Command::kStripChat:
      return kStripTeamChatSettings;
    case Command::kConvertResolution:
      return kConvertResolutionSettings;
    case Command::kRepair:
      return kRepairDemoSettings;
    case Command::kInfo:
    case Command::kTrimLoading:
      break;
  }
  return kTrimLoadingSegmentSettings;
}

EditStep EditStepFor(const Options& o) {
  switch (o.command) {
    case Command::kRemoveFades:
      return RemoveFadeToBlackStep;
    case Command::kStripChat:
      return StripTeamChatStep;
    case Command::kTrimLoading:
      return TrimLoadingSegmentStep;
    case Command::kConvertResolution:
    case Command::kRepair:
    case Command::kInfo:
      break;
  }
  const Resolution to = *o.to;
  const std::optional<Resolution> from = o.from;
  return [to, from](MutableByteView image) {
    // Without --from, the size the demo itself records is the one replaced.
    std::optional<Resolution> current = from ? from : DetectResolution(image);
    if (!current) {
      EditResult refused;
      refused.refused = true;
      refused.refusal = kNoResolutionFound;
      return refused;
    }
    return ConvertResolutionStep(image, current->width, current->height, to.width, to.height);
  };
}

// Sizes that no demo may be given are refused before any file is opened.
std::string RefusedSizes(const Options& o) {
  if (o.command != Command::kConvertResolution) return {};
  if (!IsAllowedNewResolution(o.to->width, o.to->height)) return text::kWrongResolution;
  if (o.from && !IsSearchableResolution(o.from->width, o.from->height)) return text::kZeroCurrentResolution;
  return {};
}

// ---------------------------------------------------------------------------
// Running a batch.

class Batch {
 public:
  Batch(const Options& options, FileSystem& files, Console& console)
      : o_(options), files_(files), console_(console) {}

  int Run() {
    for (const std::string& path : o_.paths) {
      PathExpansion expansion = ExpandPath(path, o_.recursive);
      if (!expansion.problem.empty()) Fail(path, expansion.problem);
      for (const std::string& demo : expansion.demos) RunOne(demo);
    }
    return failed_ ? kExitFailed : kExitOk;
  }

 private:
  void RunOne(const std::string& path) {
    if (o_.command == Command::kInfo) {
      Info(path);
    } else if (o_.command == Command::kRepair) {
      Repair(path);
    } else {
      Edit(path);
    }
  }

  void Edit(const std::string& path) {
    EditOutcome outcome = EditDemo(files_, path, EditStepFor(o_), o_.dryRun);
    if (!outcome.ok()) return FailEdit(path, outcome);
    std::string result = ResultText(SettingsFor(o_.command), outcome.result.replacements);
    if (o_.json) {
      console_.Out(JsonObject()
                       .Add("path", path)
                       .Add("command", CommandName(o_.command))
                       .AddInt("replacements", static_cast<std::int64_t>(outcome.result.replacements))
                       .AddInt("bytesRemoved", static_cast<std::int64_t>(outcome.bytesRemoved()))
                       .AddBool("dryRun", o_.dryRun)
                       .Add("result", result)
                       .Line());
    } else {
      console_.Out(path + ": " + result + (o_.dryRun ? " (dry run: nothing written)\n" : "\n"));
    }
  }

  void Repair(const std::string& path) {
    RepairReport report;
    EditOutcome outcome =
        EditDemo(files_, path, [&](MutableByteView image) { return RepairDemo(image, report); }, o_.dryRun);
    if (!outcome.ok()) return FailEdit(path, outcome);
    const std::string result = RepairResultText(report);
    if (o_.json) {
      console_.Out(JsonObject()
                       .Add("path", path)
                       .Add("command", CommandName(o_.command))
                       .AddBool("repaired", report.repaired)
                       .AddFloat("duration", static_cast<float>(report.duration))
                       .AddInt("frames", report.frames)
                       .AddInt("bytesDropped", static_cast<std::int64_t>(report.bytesDropped))
                       .AddInt("mendedTimes", static_cast<std::int64_t>(report.mendedTimes))
                       .AddBool("dryRun", o_.dryRun)
                       .Add("result", result)
                       .Line());
    } else {
      console_.Out(path + ": " + result + (o_.dryRun ? " (dry run: nothing written)\n" : "\n"));
    }
  }

  void FailEdit(const std::string& path, const EditOutcome& outcome) {
    std::string why(outcome.FailureText());
    if (outcome.failure != EditFailure::kRefused) why += ": " + outcome.why.text;
    Fail(path, why);
  }

  void Info(const std::string& path) {
    DemoReport report = InspectDemoFile(files_, path);
    if (!report.error.empty()) return Fail(path, report.error);
    if (o_.json) {
      JsonObject json;
      json.Add("path", path)
          .Add("engineVersion", report.facts.engineVersion)
          .Add("demoVersion", report.facts.header.demoVersion)
          .Add("networkVersion", report.facts.header.networkVersion)
          .Add("map", report.facts.header.mapName)
          .Add("mod", report.facts.header.gameDir)
          .AddBool("hltv", report.facts.hltv)
          .AddInt("build", report.facts.buildNumber)
          .Add("players", report.players)
          .AddInt("playersNotListed", static_cast<std::int64_t>(report.playersNotListed))
          .Add("summary", report.summary);
      if (report.details.resolution) {
        json.Add("resolution", ScreenSizeText(*report.details.resolution));
      } else {
        json.AddNull("resolution");
      }
      AddDetails(json, report.details);
      console_.Out(json.Line());
      return;
    }
    std::string text = Separator() + path + "\n" + report.summary + "\nPlayers:\n";
    for (const std::string& name : report.players) text += name + "\n";
    if (report.playersNotListed > 0) text += NotListedText(report.playersNotListed) + "\n";
    console_.Out(text + DetailsText(report.details, report.facts.hltv));
  }

  static void AddDetails(JsonObject& json, const DemoFacts& d) {
    auto text = [&](std::string_view key, const std::optional<std::string>& value) {
      value ? json.Add(key, *value) : json.AddNull(key);
    };
    auto number = [&](std::string_view key, std::optional<std::int64_t> value) {
      value ? json.AddInt(key, *value) : json.AddNull(key);
    };
    d.duration ? json.AddFloat("duration", static_cast<float>(*d.duration)) : json.AddNull("duration");
    number("frames", d.frames);
    text("server", d.server);
    number("maxPlayers", d.maxPlayers);
    text("recorder", d.recorder);
    json.Add("roster", d.roster)
        .AddInt("rosterNotListed", static_cast<std::int64_t>(d.rosterNotListed))
        .AddBool("finished", d.finished);
  }

  // The facts beyond the information box, one a line, then the roster.
  static std::string DetailsText(const DemoFacts& d, bool hltv) {
    constexpr char kUnknown[] = "unknown";
    std::string text;
    text += "Playing time: " + (d.duration ? PlayingTimeText(*d.duration) : kUnknown) + "\n";
    text += "Frames: " + (d.frames ? std::to_string(*d.frames) : kUnknown) + "\n";
    text += "Server: " + d.server.value_or(kUnknown) + "\n";
    text += "Max players: " + (d.maxPlayers ? std::to_string(*d.maxPlayers) : kUnknown) + "\n";
    text += "Recorded by: " + d.recorder.value_or(hltv ? "none (HLTV)" : kUnknown) + "\n";
    text += d.finished ? "Finished: Yes\n" : "Finished: No\n";
    text += "Roster:\n";
    for (const std::string& name : d.roster) text += name + "\n";
    if (d.rosterNotListed > 0) text += NotListedText(d.rosterNotListed) + "\n";
    return text;
  }

  // Plain output keeps a blank line between the demos' blocks.
  std::string Separator() { return std::exchange(printedBlock_, true) ? "\n" : ""; }

  void Fail(const std::string& path, std::string_view why) {
    failed_ = true;
    if (o_.json) {
      console_.Out(JsonObject().Add("path", path).Add("error", why).Line());
    } else {
      console_.Err(path + ": " + std::string(why) + "\n");
    }
  }

  const Options& o_;
  FileSystem& files_;
  Console& console_;
  bool failed_ = false;
  bool printedBlock_ = false;
};

}  // namespace

std::optional<Resolution> ParseScreenSize(std::string_view text) {
  std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, std::uint32_t& value) {
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size();
  };
  Resolution size;
  if (!number(text.substr(0, x), size.width) || !number(text.substr(x + 1), size.height)) return std::nullopt;
  return size;
}

std::string ScreenSizeText(const Resolution& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

DemoReport InspectDemoFile(FileSystem& files, const std::string& path) {
  DemoReport report;
  CaptureWindow window(path);
  ReaderState state;  // no program folder: the tool never loads the map picture
  // The facts the window does not show come from the very bytes it read.
  const auto readMore = [&](ByteView image, const DemoInspection& inspection) {
    report.facts = inspection;
    report.details = ReadDemoFacts(image, inspection.hltv);
  };
  if (!ReadDemoInfo(window, files, state, readMore)) {
    report = DemoReport{};
    report.error = window.error;
    return report;
  }
  DemoHeader& header = report.facts.header;
  header.mapName = DemoTextToUtf8(header.mapName);
  header.gameDir = DemoTextToUtf8(header.gameDir);
  // The window's own text unless a demo text in it needs converting; then
  // each text is converted by itself, so one odd text cannot garble the other.
  report.summary = IsValidUtf8(window.summary) ? window.summary : ComposeDemoSummary(report.facts);
  for (const std::string& name : window.players) report.players.push_back(DemoTextToUtf8(name));
  report.playersNotListed = window.playersNotListed;
  DemoFacts& details = report.details;
  if (details.server) details.server = DemoTextToUtf8(*details.server);
  if (details.recorder) details.recorder = DemoTextToUtf8(*details.recorder);
  for (std::string& name : details.roster) name = DemoTextToUtf8(name);
  return report;
}

int RunCli(const std::vector<std::string>& args, FileSystem& files, Console& console) {
  ParsedArgs parsed = ParseArgs(args);
  if (parsed.help) {
    console.Out(kUsage);
    return kExitOk;
  }
  if (parsed.version) {
    console.Out(std::string(kProgram) + " " + REWINDOR_VERSION_TEXT + "\n");
    return kExitOk;
  }
  if (!parsed.usageError.empty()) {
    console.Err(std::string(kProgram) + ": " + parsed.usageError + "\n" +
                "Usage: rewindor-cli COMMAND [OPTIONS] PATH...  (rewindor-cli --help tells more)\n");
    return kExitUsage;
  }
  if (std::string refused = RefusedSizes(parsed.options); !refused.empty()) {
    console.Err(refused + "\n");
    return kExitFailed;
  }
  return Batch(parsed.options, files, console).Run();
}

}  // namespace rewindor::cli
