#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "cli/demo_paths.h"
#include "cli/events_output.h"
#include "cli/game_command.h"
#include "cli/json.h"
#include "demo/edits.h"
#include "demo/events.h"
#include "demo/messages.h"
#include "demo/names.h"
#include "demo/net_messages.h"
#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "demo/report.h"
#include "demo/repair.h"
#include "demo/text_match.h"
#include "demo/utf8.h"
#include "rewindor_version.h"

namespace rewindor::cli {

const char kUsage[] =
    "Usage: rewindor-cli COMMAND [OPTIONS] PATH...\n"
    "\n"
    "Commands:\n"
    "  info                 show what each demo holds\n"
    "  messages             list every network message of each demo, frame by frame\n"
    "  events               list the kills, chat, round ends, team scores, screen fades\n"
    "                       and name changes, each with its time and round\n"
    "  remove-fades         remove the fade-to-black screen fades\n"
    "  strip-chat           blank the team chat messages\n"
    "  trim-loading         cut away the start of the loading segment\n"
    "  convert-resolution   change the recorded screen size (needs --to)\n"
    "  repair               rebuild the directory of a demo the game never finished\n"
    "  game                 find the game (as the window does) and its folders with demos;\n"
    "                       takes no PATH: rewindor-cli game [--json]\n"
    "\n"
    "A PATH is a demo file or a folder; a folder gives its .dem files.\n"
    "\n"
    "Options:\n"
    "  --json        one JSON object per demo, one per line (messages: per message,\n"
    "                then one per demo; events: per event, then one per demo)\n"
    "  -r            look for demos in subfolders too\n"
    "  --find TEXT   info: only the demos whose file name, map, server,\n"
    "                recorder or a player's name or Steam ID holds TEXT (any letter case);\n"
    "                events: only the events whose names or chat text hold TEXT\n"
    "  --dry-run     edits only: report what would change, write nothing\n"
    "  --to WxH      convert-resolution: the new size\n"
    "  --from WxH    convert-resolution: the size to replace\n"
    "                (default: the size the demo records)\n"
    "  -h, --help    show this text\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 all went well, 1 a demo failed (game: no game found), 2 wrong usage.\n";

const char kNoResolutionFound[] =
    "The demo was not changed: the screen resolution it records could not be found; give it with --from WxH.";

namespace {

constexpr char kProgram[] = "rewindor-cli";

// The details after the players: English, no screen size (the JSON has it),
// the roster uncounted, a playing time as the repair tells it, the demo's
// texts as they are.
constexpr DetailsWording kDetailsWording = {
    .playingTime = "Playing time: ",
    .frames = "Frames: ",
    .server = "Server: ",
    .maxPlayers = "Max players: ",
    .recorder = "Recorded by: ",
    .finished = "Finished: ",
    .resolution = {},
    .roster = "Roster:",
    .steamIds = "Steam IDs:",
    .unknown = "unknown",
    .yes = "Yes",
    .no = "No",
    .notADemo = "No (not a demo)",
    .beingWritten = "No (being written)",
    .hltvRecorder = "none (HLTV)",
    .unreasonableTimeUnknown = false,
    .blankControls = false,
};

// ---------------------------------------------------------------------------
// The command line.

enum class Command {
  kInfo,
  kMessages,
  kEvents,
  kRemoveFades,
  kStripChat,
  kTrimLoading,
  kConvertResolution,
  kRepair,
  kGame
};

struct Options;
// One command: its name, and for an edit its texts and how its step is made
// from the options (the repair's step and texts are its own).
struct CommandRow {
  std::string_view name;
  Command command;
  const EditTexts* texts;
  EditStep (*makeStep)(const Options& options);
};

struct Options {
  const CommandRow* command = nullptr;
  bool json = false;
  bool recursive = false;
  bool dryRun = false;
  std::optional<std::string> find;  // info --find TEXT
  std::optional<Resolution> to;
  std::optional<Resolution> from;
  std::vector<std::string> paths;
};

// The conversion replaces --from, or without it the size the demo itself records.
EditStep ConvertResolutionStepFor(const Options& o) {
  const Resolution to = *o.to;
  const std::optional<Resolution> from = o.from;
  return [to, from](MutableByteView image) {
    std::optional<Resolution> current = from ? from : DetectResolution(image);
    if (!current) return EditResult::Refusal(kNoResolutionFound);
    return ConvertResolutionStep(image, current->width, current->height, to.width, to.height);
  };
}

// A step that the options do not change.
template <EditResult (*step)(MutableByteView)>
EditStep FixedStep(const Options&) {
  return step;
}

constexpr CommandRow kCommands[] = {
    {"info", Command::kInfo, nullptr, nullptr},
    {"messages", Command::kMessages, nullptr, nullptr},
    {"events", Command::kEvents, nullptr, nullptr},
    {"remove-fades", Command::kRemoveFades, &kRemoveFadeToBlackTexts, FixedStep<RemoveFadeToBlackStep>},
    {"strip-chat", Command::kStripChat, &kStripTeamChatTexts, FixedStep<StripTeamChatStep>},
    {"trim-loading", Command::kTrimLoading, &kTrimLoadingSegmentTexts, FixedStep<TrimLoadingSegmentStep>},
    {"convert-resolution", Command::kConvertResolution, &kConvertResolutionTexts, ConvertResolutionStepFor},
    {"repair", Command::kRepair, nullptr, nullptr},
    {"game", Command::kGame, nullptr, nullptr},
};

struct ParsedArgs {
  bool help = false;
  bool version = false;
  std::string usageError;
  Options options;
};

// An option's value: what follows the '=' after its name (`nameSize`
// characters), or without one the next argument, taken (none at the end).
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i, std::size_t nameSize) {
  const std::string& arg = args[i];
  if (nameSize < arg.size()) return arg.substr(nameSize + 1);
  if (i + 1 < args.size()) return args[++i];
  return std::nullopt;
}

// Reads the option at args[i], with its value, into `parsed`: the usage
// error, or empty.
std::string ReadOption(const std::vector<std::string>& args, std::size_t& i, ParsedArgs& parsed) {
  Options& o = parsed.options;
  const std::string& arg = args[i];
  if (arg == "-h" || arg == "--help") {
    parsed.help = true;
  } else if (arg == "--version") {
    parsed.version = true;
  } else if (arg == "--json") {
    o.json = true;
  } else if (arg == "-r" || arg == "--recursive") {
    o.recursive = true;
  } else if (arg == "--dry-run") {
    o.dryRun = true;
  } else if (arg == "--find" || arg.starts_with("--find=")) {
    o.find = OptionValue(args, i, std::string_view("--find").size());
    if (!o.find) return "--find needs a TEXT";
  } else if (arg.starts_with("--to") || arg.starts_with("--from")) {
    const std::string name = arg.substr(0, arg.find('='));
    if (name != "--to" && name != "--from") return "unknown option " + arg;
    const std::optional<std::string> value = OptionValue(args, i, name.size());
    if (!value) return name + " needs a size WxH";
    std::optional<Resolution> size = ParseScreenSize(*value);
    if (!size) return name + " needs a size WxH, not \"" + *value + "\"";
    (name == "--to" ? o.to : o.from) = size;
  } else {
    return "unknown option " + arg;
  }
  return {};
}

// Takes the command and its paths from the arguments that are no options,
// and checks that the options go with it: the usage error, or empty.
std::string ReadCommand(const std::vector<std::string>& positional, Options& o) {
  if (positional.empty()) return "no command given";
  auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                            [&](const CommandRow& c) { return c.name == positional.front(); });
  if (known == std::end(kCommands)) return "unknown command " + positional.front();
  o.command = known;
  o.paths.assign(positional.begin() + 1, positional.end());
  const Command command = known->command;
  const bool finds = command == Command::kInfo || command == Command::kEvents;
  if ((finds || command == Command::kMessages) && o.dryRun) return "--dry-run is for the edit commands";
  if (!finds && o.find) return "--find is for info and events";
  if (command != Command::kConvertResolution && (o.to || o.from)) return "--to and --from are for convert-resolution";
  if (command == Command::kConvertResolution && !o.to) return "convert-resolution needs --to WxH";
  if (command == Command::kGame) {
    // It finds the game where the window would: nothing to point it at.
    if (!o.paths.empty()) return "game takes no PATH " + o.paths.front();
    if (o.recursive || o.dryRun) return "game takes no option but --json";
    return {};
  }
  if (o.paths.empty()) return "no PATH given";
  return {};
}

ParsedArgs ParseArgs(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else {
      parsed.usageError = ReadOption(args, i, parsed);
      if (!parsed.usageError.empty() || parsed.help || parsed.version) return parsed;
    }
  }
  parsed.usageError = ReadCommand(positional, parsed.options);
  return parsed;
}

// Sizes that no demo may be given are refused before any file is opened.
std::string RefusedSizes(const Options& o) {
  if (o.command->command != Command::kConvertResolution) return {};
  if (!IsAllowedNewResolution(o.to->width, o.to->height)) return text::kWrongResolution;
  if (o.from && !IsSearchableResolution(o.from->width, o.from->height)) return text::kZeroCurrentResolution;
  return {};
}

// ---------------------------------------------------------------------------
// The message listing: a line for each message and for each frame that did
// not decode, gathered and written in large pieces.

constexpr char kMessageColumns[] = "seg   frame      offset length   id name\n";

class MessageListing final : public MessageSink {
 public:
  MessageListing(bool json, Console& console) : json_(json), console_(console) {}

  void OnMessage(const FramePlace& place, const NetMessage& message) override {
    if (kBufferSize - used_ < kLongestLine) Flush();
    if (json_) {
      Place(place);
      Put(", \"offset\": ");
      Number(message.offset);
      Put(", \"length\": ");
      Number(message.length);
      Put(", \"id\": ");
      Number(message.id);
      Put(", \"name\": ");
      Name(message.name);
      Put("}\n");
    } else {
      Columns(place, message.offset);
      Column(message.length, 6);
      Column(message.id, 4);
      Put(message.name);
      Put("\n");
    }
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    if (failure == nullptr) return;
    if (kBufferSize - used_ < kLongestLine) Flush();
    if (json_) {
      Place(place);
      Put(", \"offset\": ");
      Number(failure->offset);
      Flush();
      console_.Out(", \"error\": " + JsonString(failure->reason) + "}\n");
    } else {
      Columns(place, failure->offset);
      Flush();
      console_.Out("error: " + failure->reason + "\n");
    }
  }
  void Flush() {
    if (used_ != 0) console_.Out(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;
  // A message's line at its longest: the keys, five numbers, a name of 16
  // bytes each written as \u00XX.
  static constexpr std::size_t kLongestLine = 512;

  void Put(std::string_view text) {
    std::memcpy(buffer_.data() + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Number(std::uint64_t value) {
    used_ = static_cast<std::size_t>(std::to_chars(buffer_.data() + used_, buffer_.data() + kBufferSize, value).ptr -
                                     buffer_.data());
  }
  // A name of plain characters as it is (the engine's names, most registered
  // ones); any other through JsonString.
  void Name(std::string_view name) {
    const bool plain =
        std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    if (!plain) return Put(JsonString(name));
    Put("\"");
    Put(name);
    Put("\"");
  }
  void Place(const FramePlace& place) {
    Put("{\"segment\": ");
    Number(place.segment);
    Put(", \"frame\": ");
    Number(place.index);
  }
  // Segment, frame and offset, right-aligned.
  void Columns(const FramePlace& place, std::size_t offset) {
    Column(place.segment, 3);
    Column(place.index, 7);
    Column(offset, 11);
  }
  void Column(std::uint64_t value, std::size_t width) {
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const auto size = static_cast<std::size_t>(end - digits);
    if (size < width) {
      std::memset(buffer_.data() + used_, ' ', width - size);
      used_ += width - size;
    }
    Put(std::string_view(digits, size));
    Put(" ");
  }

  bool json_;
  Console& console_;
  std::array<char, kBufferSize> buffer_;
  std::size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Running a batch.

class Batch {
 public:
  Batch(const Options& options, FileSystem& files, Console& console) : o_(options), files_(files), console_(console) {}

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
    switch (o_.command->command) {
      case Command::kInfo: return Info(path);
      case Command::kMessages: return Messages(path);
      case Command::kEvents: return Events(path);
      case Command::kRepair: return Repair(path);
      default: return Edit(path);
    }
  }

  void Edit(const std::string& path) {
    EditOutcome outcome = EditDemo(files_, path, o_.command->makeStep(o_), o_.dryRun);
    if (!outcome.ok()) return FailEdit(path, outcome);
    // The fade and chat edits tell where the messages did not decode and the byte patterns ran.
    const Command command = o_.command->command;
    const bool byMessages = command == Command::kRemoveFades || command == Command::kStripChat;
    const std::uint64_t undecoded = outcome.result.framesNotDecoded;
    std::string result = ResultText(*o_.command->texts, outcome.result.changes);
    if (undecoded > 0) result += " (" + std::to_string(undecoded) + " frames not decoded: searched by byte pattern)";
    ReportEdited(path, result, [&](JsonObject& json) {
      json.AddInt("replacements", static_cast<std::int64_t>(outcome.result.changes))
          .AddInt("bytesRemoved", static_cast<std::int64_t>(outcome.bytesRemoved()));
      if (byMessages) json.AddInt("framesNotDecoded", static_cast<std::int64_t>(undecoded));
    });
  }

  void Repair(const std::string& path) {
    RepairReport report;
    EditOutcome outcome = EditDemo(
        files_, path, [&](MutableByteView image) { return RepairDemo(image, report); }, o_.dryRun);
    if (!outcome.ok()) return FailEdit(path, outcome);
    ReportEdited(path, RepairResultText(report), [&](JsonObject& json) {
      json.AddBool("repaired", report.repaired)
          .AddFloat("duration", static_cast<float>(report.duration))
          .AddInt("frames", report.frames)
          .AddInt("bytesDropped", static_cast<std::int64_t>(report.bytesDropped))
          .AddInt("mendedTimes", static_cast<std::int64_t>(report.mendedTimes));
    });
  }

  // What an edit or a repair did to one demo: "PATH: result", or one JSON
  // object with the command's own figures between its name and dryRun.
  void ReportEdited(const std::string& path, const std::string& result,
                    const std::function<void(JsonObject&)>& addFigures) {
    if (!o_.json) {
      console_.Out(path + ": " + result + (o_.dryRun ? " (dry run: nothing written)\n" : "\n"));
      return;
    }
    JsonObject json;
    json.Add("path", path).Add("command", o_.command->name);
    addFigures(json);
    console_.Out(json.AddBool("dryRun", o_.dryRun).Add("result", result).Line());
  }

  void FailEdit(const std::string& path, const EditOutcome& outcome) {
    std::string why(outcome.FailureText());
    if (outcome.failure != EditFailure::kRefused) why += ": " + outcome.why.text;
    Fail(path, why);
  }

  void Events(const std::string& path) {
    const DemoReport report = ReadDemoReport(files_, path, {.events = true});
    if (report.error) return Fail(path, report.error->Words());
    const DemoEvents& events = report.events;
    if (!events.totals.notDecoded.empty()) return Fail(path, events.totals.notDecoded);
    std::string out = o_.json ? std::string() : Separator() + path + "\n";
    for (const DemoEvent& event : events.events) {
      if (finder_ && !finder_->FoundIn(EventSearchKey(event))) continue;
      out += o_.json ? EventJson(path, event) : EventLine(event);
    }
    out += o_.json ? EventsSummaryJson(path, events) : EventsSummaryLines(events);
    console_.Out(out);
  }

  void Info(const std::string& path) {
    InfoReport report = InspectDemoFile(files_, path);
    if (!report.error.empty()) return Fail(path, report.error);
    if (finder_ && !Matches(path, report)) return;
    if (o_.json) return console_.Out(InfoJson(path, report));
    std::string text = Separator() + path + "\n" + report.summary + "\nPlayers:\n";
    for (const std::string& name : report.players) text += name + "\n";
    if (report.playersNotListed > 0) text += NotListedText(report.playersNotListed) + "\n";
    for (const DetailsLine& line : DescribeDemo(report.details, kDetailsWording)) {
      text += line.text + line.demoText + "\n";
    }
    console_.Out(text);
  }

  static std::string InfoJson(const std::string& path, const InfoReport& report) {
    const DemoInspection& inspection = report.inspection;
    const DemoFacts& facts = report.details.facts;
    JsonObject json;
    json.Add("path", path)
        .Add("engineVersion", inspection.engineVersion)
        .Add("demoVersion", inspection.header.demoVersion)
        .Add("networkVersion", inspection.header.networkVersion)
        .Add("map", inspection.header.mapName)
        .Add("mod", inspection.header.gameDir)
        .AddBool("hltv", inspection.hltv)
        .AddInt("build", inspection.buildNumber)
        .Add("players", report.players)
        .AddInt("playersNotListed", static_cast<std::int64_t>(report.playersNotListed))
        .Add("summary", report.summary);
    facts.resolution ? json.Add("resolution", ResolutionText(*facts.resolution)) : json.AddNull("resolution");
    auto text = [&](std::string_view key, const std::optional<std::string>& value) {
      value ? json.Add(key, *value) : json.AddNull(key);
    };
    auto number = [&](std::string_view key, std::optional<std::int64_t> value) {
      value ? json.AddInt(key, *value) : json.AddNull(key);
    };
    facts.duration ? json.AddFloat("duration", static_cast<float>(*facts.duration)) : json.AddNull("duration");
    number("frames", facts.frames);
    text("server", facts.server);
    number("maxPlayers", facts.maxPlayers);
    text("recorder", facts.recorder);
    std::vector<JsonObject> steamIds;
    for (const PlayerSteamId& player : facts.steamIds) {
      steamIds.push_back(std::move(JsonObject().Add("name", player.name).Add("steamId", player.steamId)));
    }
    json.Add("roster", facts.roster)
        .AddInt("rosterNotListed", static_cast<std::int64_t>(facts.rosterNotListed))
        .AddBool("demo", facts.demo);
    // A file that is no demo was never recorded, so it is neither finished nor not.
    facts.demo ? json.AddBool("finished", facts.finished) : json.AddNull("finished");
    return json.Add("steamIds", steamIds).Line();
  }

  void Messages(const std::string& path) {
    std::unique_ptr<DemoFile> file = files_.OpenForReading(path);
    if (!file) return Fail(path, "cannot open: " + files_.LastError().text);
    std::size_t size = 0;
    if (const ReadOutcome sized = ReadableSize(*file, size); sized != ReadOutcome::kOk) {
      return Fail(path, "cannot read: " + ReadFailureReason(sized, files_).text);
    }
    if (!o_.json) console_.Out(Separator() + path + "\n" + kMessageColumns);
    auto listing = std::make_unique<MessageListing>(o_.json, console_);
    DecodeTotals totals;
    const ReadOutcome outcome = DecodeDemoMessages(*file, *listing, totals);
    listing->Flush();
    if (outcome != ReadOutcome::kOk) return Fail(path, "cannot read: " + ReadFailureReason(outcome, files_).text);
    if (!totals.notDecoded.empty()) return Fail(path, totals.notDecoded);
    if (totals.failed != 0) failed_ = true;
    if (!o_.json) {
      console_.Out(std::to_string(totals.frames) + " network frames: " + std::to_string(totals.decoded) + " decoded, " +
                   std::to_string(totals.failed) + " failed\n");
      return;
    }
    console_.Out(JsonObject()
                     .Add("path", path)
                     .Add("command", "messages")
                     .AddInt("frames", static_cast<std::int64_t>(totals.frames))
                     .AddInt("decoded", static_cast<std::int64_t>(totals.decoded))
                     .AddInt("failed", static_cast<std::int64_t>(totals.failed))
                     .Line());
  }

  // The report's texts are those the tool prints, already decoded as it
  // decodes demo texts (which leaves them as they are now): what is found is
  // what is shown.
  bool Matches(const std::string& path, const InfoReport& report) const {
    const std::string fileName = PathToUtf8(PathFromUtf8(path).filename());
    const DemoFacts& facts = report.details.facts;
    std::vector<std::string> steamIds;
    for (const PlayerSteamId& player : facts.steamIds) steamIds.push_back(player.steamId);
    const DemoSearchTexts texts{fileName,
                                report.inspection.header.mapName,
                                FieldText(facts.server),
                                FieldText(facts.recorder),
                                report.players,
                                facts.roster,
                                steamIds};
    return DemoMatches(texts, *finder_, DemoTextToUtf8);
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
  std::optional<TextFinder> finder_ = o_.find ? std::optional<TextFinder>(*o_.find) : std::nullopt;
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

InfoReport InspectDemoFile(FileSystem& files, const std::string& path) {
  // The facts the window does not show come from the very same read; the
  // tool shows no map picture.
  DemoReport read = ReadDemoReport(files, path, {.facts = true});
  InfoReport report;
  if (read.error) {
    report.error = read.error->Words();
    return report;
  }
  report.inspection = std::move(read.inspection);
  report.details = {std::move(read.facts), report.inspection.hltv};
  DemoHeader& header = report.inspection.header;
  header.mapName = DemoTextToUtf8(header.mapName);
  header.gameDir = DemoTextToUtf8(header.gameDir);
  // The window's own text unless a demo text in it needs converting; then
  // each text is converted by itself, so one odd text cannot garble the other.
  report.summary = IsValidUtf8(read.summary) ? read.summary : ComposeDemoSummary(report.inspection);
  for (const std::string& name : read.players) report.players.push_back(DemoTextToUtf8(name));
  report.playersNotListed = read.playersNotListed;
  DemoFacts& facts = report.details.facts;
  if (facts.server) facts.server = DemoTextToUtf8(*facts.server);
  if (facts.recorder) facts.recorder = DemoTextToUtf8(*facts.recorder);
  for (std::string& name : facts.roster) name = DemoTextToUtf8(name);
  for (PlayerSteamId& player : facts.steamIds) player.name = DemoTextToUtf8(player.name);
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
  if (parsed.options.command->command == Command::kGame) {
    return RunGameCommand(parsed.options.json, NativeGameSources(), NativeGameSystem(), console);
  }
  if (std::string refused = RefusedSizes(parsed.options); !refused.empty()) {
    console.Err(refused + "\n");
    return kExitFailed;
  }
  return Batch(parsed.options, files, console).Run();
}

}  // namespace rewindor::cli
