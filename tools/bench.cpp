// rewindor-bench: how fast the information reader and the edits are on a
// large demo, against the bare file read (and write) and against GNU grep.
//
//   rewindor-bench [--mib N] [--dir FOLDER] [--runs N] [--corpus FOLDER] [--cli PATH] [--game-finder]
//   rewindor-bench --write-demo MIB PATH     (only writes the demo, for profiling)
//
// Builds a demo of N MiB (256 by default) with player-info blocks, chat,
// fades and a build announcement at a realistic density, then prints from one
// run: the bare read, `info`, their ratio, `info` with the demo facts (playing
// time, server, players) against `info` alone, the scans' throughput in memory
// and the peak memory of a process that does nothing but `info`; the same for
// each edit against a bare read plus write; grep's time for the same markers;
// and `info` on demos packed with player names and player-info markers
// against demos of the same size without them. Then, over a folder of real demos (--corpus, by default the test
// corpus, all its .dem files below it): `info` with and without the facts, and
// the whole `rewindor-cli info --json -r` against grep over the same files;
// the same over the corpus copied into a folder of --folder (172) demos, with
// the peak memory of the whole folder against its largest demo alone; and the
// library's reading of a folder of --library (1,000) such demos against
// `info --json` over it.
// Last, `events` against `messages` over the copied folder, and the events
// against the bare decoding in memory (alone with --events).
// First of all (alone with --game-finder), the game finder on hostile Steam files.
// Times are the best of --runs (3) with the file in the page cache.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "demo/edits.h"
#include "demo/events.h"
#include "demo/facts.h"
#include "demo/info.h"
#include "demo/messages.h"
#include "demo/net_messages.h"
#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "demo/repair.h"
#include "demo/resolution.h"
#include "launch/game_finder.h"
#include "library/inbox.h"
#include "library/model.h"
#include "library/reader.h"
#include "tools/demo_builder.h"

using namespace rewindor;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// `prepare`, when given, runs untimed before each run.
double Seconds(const std::function<void()>& work, int runs, const std::function<void()>& prepare = nullptr) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    if (prepare) prepare();
    auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// Peak resident memory (MiB) of a fresh process of this program that runs
// one command alone (`--child-...`) and reports its own high-water mark, so
// nothing of the benchmark's memory is counted (a child's rusage would be).
double PeakMiBOf(const std::string& childArgs) {
  std::string command = "/proc/" + std::to_string(getpid()) + "/exe " + childArgs;
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return -1;
  double kib = -1;
  if (std::fscanf(child, "%lf", &kib) != 1) kib = -1;
  pclose(child);
  return kib / 1024.0;
}

// This process's peak resident memory in KiB.
long HighWaterKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

Bytes ReadBare(const std::string& path) {
  std::unique_ptr<DemoFile> file = NativeFileSystem().OpenForReading(path);
  Bytes image;
  if (!file || ReadWhole(*file, image) != ReadOutcome::kOk) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return image;
}

// What `cat FILE >/dev/null` does: the file read front to back through one
// 128 KiB buffer, nothing kept.
void ReadThrough(const std::string& path) {
  std::unique_ptr<DemoFile> file = NativeFileSystem().OpenForReading(path);
  std::uint64_t size = 0;
  if (!file || !file->Size(size)) std::exit(1);
  static std::vector<std::uint8_t> buffer(std::size_t{128} << 10);
  for (std::uint64_t at = 0; at < size; at += buffer.size()) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
    if (!file->ReadAt(at, MutableByteView(buffer.data(), n))) std::exit(1);
  }
}

// The bare cost of an edit's file work: read the demo whole, write it to a
// temp file beside it, flush, and put it in its place.
void ReadWriteBare(const std::string& path) {
  std::unique_ptr<DemoFile> file = NativeFileSystem().OpenForEditing(path);
  Bytes image;
  ReadWhole(*file, image);
  std::unique_ptr<TempFile> temp = file->CreateTemp();
  temp->Write(image);
  temp->Flush();
  file->ReplaceWith(*temp);
}

// What the main window reads from one demo (no picture looked up), with or
// without the facts (the frames walked in the same pass), as `rewindor-cli info` reads it.
void ReadReport(const std::string& path, bool withFacts) {
  const DemoReport report = ReadDemoReport(NativeFileSystem(), path, {.facts = withFacts});
  if (report.error) {
    std::fprintf(stderr, "%s\n", report.error->Words().c_str());
    std::exit(1);
  }
}

void Info(const std::string& path) { ReadReport(path, false); }

void ToolInfo(const std::string& path, bool withFacts) { ReadReport(path, withFacts); }

builder::Demo LargeDemo(std::uint64_t bytes) {
  builder::Demo demo;
  demo.recordLayout = false;
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::BuildAnnouncement(4554), builder::ServerInfoMessage({.maxPlayers = 16, .slot = 3})}));
  builder::Gameplay play;
  play.targetBytes = bytes;
  play.fadesPerMinute = 2;
  play.teamChatsPerMinute = 6;
  play.allChatsPerMinute = 6;
  play.playerInfoPerMinute = 1;
  play.players = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf", "Hotel", "India", "Juliett"};
  demo.playback().items.push_back(play);
  return demo;
}

void Line(const char* what, double value, const char* unit, const char* target = "") {
  std::printf("  %-44s %10.3f %-6s %s\n", what, value, unit, target);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The best wall time and the best processor time (user and system, of every
// process it started) of a shell command, of `runs` runs each. The processor
// time does not count what other programs on the machine take from it.
struct Timing {
  double wall = 1e30;
  double cpu = 1e30;
};
Timing TimeCommand(const std::string& command, int runs) {
  Timing best;
  auto used = [] {
    struct rusage r {};
    getrusage(RUSAGE_CHILDREN, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  };
  for (int i = 0; i < runs; ++i) {
    const double before = used();
    best.wall = std::min(best.wall, Seconds([&] { (void)std::system(command.c_str()); }, 1));
    best.cpu = std::min(best.cpu, used() - before);
  }
  return best;
}

// `paths` quoted for the shell, separated by spaces. With `withoutZero` the
// HLTV marker goes without its leading zero byte: grep takes a slower road
// for a pattern that holds a zero byte, about five times slower here, and
// without it is the harder yardstick.
Timing GrepTiming(const std::string& patterns, const std::string& paths, int runs, bool withoutZero = false) {
  {
    std::ofstream out(patterns, std::ios::binary);
    const std::size_t skip = withoutZero ? 1 : 0;
    out.write(reinterpret_cast<const char*>(kHltvMarker.data()) + skip, kHltvMarker.size() - skip);
    out << '\n';
    out.write(reinterpret_cast<const char*>(kBuildMarker.data()), kBuildMarker.size());
    out << '\n';
    out.write(reinterpret_cast<const char*>(kPlayerInfoMarker.data()), kPlayerInfoMarker.size());
    out << '\n';
  }
  // The output goes through a pipe: sent to /dev/null grep stops at the first match.
  const Timing t = TimeCommand("grep -c -a -F -f " + Quoted(patterns) + " " + paths + " | cat > /dev/null", runs);
  fs::remove(patterns);
  return t;
}
double GrepSeconds(const std::string& patterns, const std::string& paths, int runs) {
  return GrepTiming(patterns, paths, runs).wall;
}

// A demo of `size` bytes: the header, then `body` over and over (cut at the end).
Bytes RepeatedDemo(std::string_view body, std::size_t size) {
  Bytes d(size, 0);
  std::copy(std::begin(kDemoSignature), std::end(kDemoSignature), d.begin());
  for (std::size_t i = kHeaderSize; i < size; ++i)
    d[i] = static_cast<std::uint8_t>(body[(i - kHeaderSize) % body.size()]);
  return d;
}

// `info` on demos made to be slow to read (30,000 different player names; a
// file packed with player-info markers) against a demo of the same size with
// no marker at all.
void HostileNames(const fs::path& dir, int runs) {
  std::printf("info on hostile player names\n");
  std::string names;
  for (int i = 0; i < 30000; ++i) names += "\tfulls\\name\\p" + std::to_string(i) + "\\";
  struct Case {
    const char* name;
    Bytes demo;
  };
  Bytes named(kHeaderSize, 0);
  std::copy(std::begin(kDemoSignature), std::end(kDemoSignature), named.begin());
  named.insert(named.end(), names.begin(), names.end());
  const Case cases[] = {{"30,000 player names", std::move(named)},
                        {"12 MiB of player-info markers", RepeatedDemo("\tfulls", 12 << 20)},
                        {"60 MiB of player-info markers", RepeatedDemo("\tfulls", 60 << 20)}};
  const std::string hostile = (dir / "rewindor-bench-hostile.dem").string();
  const std::string plain = (dir / "rewindor-bench-plain.dem").string();
  auto put = [](const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  for (const Case& c : cases) {
    put(hostile, c.demo);
    put(plain, RepeatedDemo("no marker, no name: only the bytes of a recording\n", c.demo.size()));
    const double slow = Seconds([&] { Info(hostile); }, runs);
    const double usual = Seconds([&] { Info(plain); }, runs);
    std::printf(" %s (%.2f MiB)\n", c.name, static_cast<double>(c.demo.size()) / (1 << 20));
    Line("info (s)", slow, "s");
    Line("info on the same size without markers (s)", usual, "s");
    Line("ratio", slow / usual, "x", "(target <= 10)");
  }
  fs::remove(hostile);
  fs::remove(plain);
}

// The game finder on Steam files made to be slow: a libraryfolders.vdf of
// 10 MiB (passed over unread: Steam's files are read up to 1 MiB) and one of
// 1 MiB nested as deep as it goes, and the KeyValues reader on 10 MiB texts of
// both kinds. The finder runs as the window's start runs it, on a Steam folder
// in a home folder of its own.
void GameFinder(const fs::path& dir, int runs) {
  std::printf("game finder\n");
  const std::size_t tenMiB = 10 << 20;
  std::string many = "\"libraryfolders\"\n{\n";
  for (int i = 0; many.size() < tenMiB; ++i) {
    many += "\t\"" + std::to_string(i) + "\" { \"path\" \"/mnt/l" + std::to_string(i) +
            "\" \"apps\" { \"4000\" \"1\" } }\n";
  }
  many += "}\n";
  auto nested = [](std::size_t bytes) {
    const std::size_t depth = (bytes - 40) / 5;
    std::string text = "\"libraryfolders\" { ";
    for (std::size_t i = 0; i < depth; ++i) text += "\"a\"{";
    return text.append(depth, '}') + " }";
  };
  const std::string deep = nested(tenMiB);
  struct Null final : KeyValuesVisitor {
    void BlockStart(std::string_view) override {}
    void BlockEnd() override {}
    void Leaf(std::string_view, std::string_view) override {}
  } null;
  std::size_t libraries = 0;
  const double readMany = Seconds([&] { libraries = ParseLibraryFolders(many).size(); }, runs);
  const double readDeep = Seconds([&] { (void)ReadKeyValues(deep, null); }, runs);
  Line("10 MiB libraryfolders.vdf, read (ms)", readMany * 1e3, "ms");
  Line("  libraries in it", static_cast<double>(libraries), "");
  Line("  read (MB/s)", static_cast<double>(many.size()) / 1e6 / readMany, "MB/s");
  Line("10 MiB nested 2 million deep, read (ms)", readDeep * 1e3, "ms");

  const fs::path home = dir / "rewindor-bench-home";
  const fs::path steamapps = home / ".local/share/Steam/steamapps";
  fs::create_directories(steamapps / "common/Half-Life");
  std::ofstream(steamapps / "common/Half-Life/hl_linux") << "";
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  struct Case {
    const char* name;
    std::string vdf;
  } cases[] = {{"find: a usual vdf (ms)", R"("libraryfolders" { "0" { "path" "/x" } })"},
               {"find: 10 MiB vdf, passed over (ms)", many},
               {"find: 1 MiB vdf nested 200,000 deep (ms)", nested(kMaxSteamFileBytes)}};
  for (const Case& c : cases) {
    std::ofstream(steamapps / "libraryfolders.vdf", std::ios::binary) << c.vdf;
    const double find = Seconds([&] { (void)FindGame(NativeGameSources(), GameSystem::kLinux); }, runs);
    Line(c.name, find * 1e3, "ms");
  }
  setenv("HOME", savedHome.c_str(), 1);
  fs::remove_all(home);
}

// --- Damaged and hostile demos ----------------------------------------------

void Put(const std::string& path, ByteView bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A small demo as a killed game leaves it, up to the end of Playback's last
// frame before its closing frame: the server info and a print in loading,
// one network frame in play. 0 at byte 540.
Bytes UnfinishedHead() {
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame({builder::ServerInfoMessage({.maxPlayers = 32, .slot = 0})}));
  demo.playback().items.push_back(builder::NetFrame({builder::Print("go")}));
  builder::Built built = builder::Build(demo);
  const builder::SegmentRecord& playback = built.layout.segments.at(1);
  built.bytes.resize(static_cast<std::size_t>(playback.offset + playback.length - kFrameHeaderSize));
  StoreI32LE(built.bytes.data() + kDirectoryOffsetOffset, 0);
  return built.bytes;
}

// The frame header and a network frame's fixed part (zero) before `messages`.
Bytes NetworkFrame(ByteView messages) {
  Bytes frame(kNetMsgDataOffset, 0);
  frame[0] = kFrameNetMsg;
  StoreU32LE(&frame[kNetMsgDataOffset - kNetMsgLengthSize], static_cast<std::uint32_t>(messages.size()));
  frame.insert(frame.end(), messages.begin(), messages.end());
  return frame;
}

void PutEntry(Bytes& out, std::int32_t type, std::string_view title, float time, std::int32_t frames,
              std::size_t offset, std::size_t length) {
  std::uint8_t entry[kDirectoryEntrySize] = {};
  StoreI32LE(entry + kEntryTypeOffset, type);
  std::copy(title.begin(), title.end(), entry + kEntryTitleOffset);
  StoreI32LE(entry + kEntryCdTrackOffset, -1);
  StoreF32LE(entry + kEntryTrackTimeOffset, time);
  StoreI32LE(entry + kEntryFrameCountOffset, frames);
  StoreI32LE(entry + kEntrySegmentOffsetOffset, static_cast<std::int32_t>(offset));
  StoreI32LE(entry + kEntrySegmentLengthOffset, static_cast<std::int32_t>(length));
  out.insert(out.end(), entry, entry + kDirectoryEntrySize);
}

// The crafted directory that once made `info` and the repair quadratic: a
// demo of `mib` MiB of closing frames after the header, with a directory of
// `entries` entries, entry i from the i-th frame to the directory.
Bytes CraftedDirectory(std::size_t mib, int entries) {
  Bytes d(kHeaderSize, 0);
  std::copy(std::begin(kDemoSignature), std::end(kDemoSignature), d.begin());
  StoreI32LE(d.data() + kDemoProtocolOffset, kHeaderDemoProtocol);
  StoreI32LE(d.data() + kNetworkProtocolOffset, 48);
  std::uint8_t frame[kFrameHeaderSize] = {kFrameNextSection};
  while (d.size() < kHeaderSize + (mib << 20)) d.insert(d.end(), frame, frame + kFrameHeaderSize);
  const std::size_t directory = d.size();
  StoreI32LE(d.data() + kDirectoryOffsetOffset, static_cast<std::int32_t>(directory));
  std::uint8_t count[4];
  StoreI32LE(count, entries);
  d.insert(d.end(), count, count + 4);
  for (int i = 0; i < entries; ++i) {
    const std::size_t at = kHeaderSize + static_cast<std::size_t>(i) * kFrameHeaderSize;
    PutEntry(d, i == 0 ? 0 : 1, i == 0 ? kLoadingTitle : kPlaybackTitle, 0, 0, at, directory - at);
  }
  return d;
}

// A demo of player-info blocks (a marker every 4 KiB) holding `count`
// distinct names, "\name\n" and ten digits each.
Bytes DistinctNameTokens(std::size_t count) {
  Bytes d(kHeaderSize, 0);
  std::copy(std::begin(kDemoSignature), std::end(kDemoSignature), d.begin());
  std::string block;
  for (std::size_t i = 0; i < count; ++i) {
    if (block.empty()) block.assign(kPlayerInfoMarker.begin(), kPlayerInfoMarker.end());
    char name[24];
    std::snprintf(name, sizeof name, "\\name\\n%010zu", i);
    block += name;
    if (block.size() + 24 > kPlayerInfoWindowSize || i + 1 == count) {
      block += "\\";
      d.insert(d.end(), block.begin(), block.end());
      block.clear();
    }
  }
  return d;
}

// An unfinished demo of `mib` MiB whose network frames are full of valid
// user-info updates: each a name of its own, or all the same name.
void WriteUserInfoDemo(const std::string& path, std::size_t mib, bool distinct) {
  std::ofstream out(path, std::ios::binary);
  const Bytes head = UnfinishedHead();
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  std::uint64_t written = head.size(), name = 0;
  while (written < (std::uint64_t{mib} << 20)) {
    Bytes messages;
    while (messages.size() + 64 < kMaxNetMsgLength) {
      char info[32];
      std::snprintf(info, sizeof info, "\\name\\n%010llu", static_cast<unsigned long long>(distinct ? name++ : 0));
      const Bytes update = builder::UpdateUserInfoRaw(1, 2, info);
      messages.insert(messages.end(), update.begin(), update.end());
    }
    const Bytes frame = NetworkFrame(messages);
    out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    written += frame.size();
  }
}

double Repair(const std::string& path, int runs) {
  return Seconds(
      [&] {
        EditDemo(
            NativeFileSystem(), path,
            [](MutableByteView m) {
              RepairReport report;
              return RepairDemo(m, report);
            },
            /*dryRun=*/true);
      },
      runs);
}

void DamagedDemos(const fs::path& dir, int runs) {
  const std::string path = (dir / "rewindor-bench-damaged.dem").string();
  std::printf("a crafted directory: closing frames, entry i from the i-th frame to the directory\n");
  for (std::size_t mib : {20, 100}) {
    double info[2], repair[2];
    for (int k = 0; k < 2; ++k) {
      Put(path, CraftedDirectory(mib, k == 0 ? 2 : kMaxDirectoryEntries));
      info[k] = Seconds([&] { ToolInfo(path, true); }, runs);
      repair[k] = Repair(path, runs);
    }
    std::printf(" %zu MiB\n", mib);
    Line("rewindor-cli info, 2 entries (s)", info[0], "s");
    Line("rewindor-cli info, 1,024 entries (s)", info[1], "s");
    Line("  1,024 entries / 2", info[1] / info[0], "x", "(target: about 1, linear)");
    Line("repair --dry-run, 2 entries (s)", repair[0], "s");
    Line("repair --dry-run, 1,024 entries (s)", repair[1], "s");
    Line("  1,024 entries / 2", repair[1] / repair[0], "x", "(target: about 1, linear)");
  }
  std::printf("hostile names: rewindor-cli info (players, facts and roster)\n");
  struct Case {
    const char* name;
    std::function<void()> write;
  };
  const Case cases[] = {
      {"3.2 M distinct \\name\\ tokens in player-info blocks", [&] { Put(path, DistinctNameTokens(3200000)); }},
      {"56 MiB of user-info updates, each another name", [&] { WriteUserInfoDemo(path, 56, true); }},
      {"200 MiB of user-info updates of one name", [&] { WriteUserInfoDemo(path, 200, false); }},
  };
  for (const Case& c : cases) {
    c.write();
    const double mibSize = static_cast<double>(fs::file_size(path)) / (1 << 20);
    const double t = Seconds([&] { ToolInfo(path, true); }, runs);
    std::printf(" %s (%.1f MiB)\n", c.name, mibSize);
    Line("rewindor-cli info (s)", t, "s");
    Line("  per 10 MiB (s)", t / mibSize * 10, "s", "(target <= 1)");
    Line("peak memory (MiB)", PeakMiBOf("--child-tool-info - '" + path + "'"), "MiB", "");
    Line("  file size + 64 MiB (MiB)", mibSize + 64, "MiB", "(target: peak at most this)");
  }
  fs::remove(path);
}

struct Command {
  const char* name;
  EditStep step;
  bool unfinished = false;  // runs on the demo cut off without its directory
};
const Command kCommands[] = {
    {"remove-fades", RemoveFadeToBlackStep},
    {"strip-chat", StripTeamChatStep},
    {"convert-resolution 640x480 -> 800x600",
     [](MutableByteView m) { return ConvertResolutionStep(m, 640, 480, 800, 600); }},
    {"trim-loading", TrimLoadingSegmentStep},
    {"repair (no directory, last frame cut)",
     [](MutableByteView m) {
       RepairReport report;
       return RepairDemo(m, report);
     },
     true},
};

// The demo as the game leaves it when it is killed while recording: 0 at
// byte 540, no directory, and the last frame cut short.
void WriteUnfinished(const Bytes& finished, const std::string& path) {
  Bytes image = finished;
  StoreI32LE(image.data() + kDirectoryOffsetOffset, 0);
  const auto directory = static_cast<std::size_t>(ByteReader(finished, kDirectoryOffsetOffset).I32());
  image.resize(directory - kFrameHeaderSize - 300);  // the closing frame gone, 300 bytes of the frame before it
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

// Runs a program with its output sent to /dev/null and returns the peak
// resident memory (KiB) the system accounts to it. Run in a fresh child of
// the benchmark (`--child-peak`): a program started straight from the
// benchmark would be accounted the benchmark's own memory as well.
long SpawnedPeakKiB(char** argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  return usage.ru_maxrss;
}

double ChildPeakMiB(const std::vector<std::string>& args) {
  std::string command = "--child-peak";
  for (const std::string& a : args) command.append(" ").append(Quoted(a));
  return PeakMiBOf(command);
}

// A folder of `count` demos: the real demos copied over and over, each copy
// under a name of its own.
std::vector<std::string> CopiedDemos(const std::vector<std::string>& demos, const fs::path& folder, std::size_t count) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::vector<std::string> copies;
  for (std::size_t i = 0; copies.size() < count; ++i) {
    const fs::path& from = demos[i % demos.size()];
    const fs::path to = folder / (std::to_string(i / demos.size()) + "-" + from.filename().string());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    copies.push_back(to.string());
  }
  return copies;
}

std::string QuotedAll(const std::vector<std::string>& paths) {
  std::string quoted;
  for (const std::string& p : paths) quoted += Quoted(p) + " ";
  return quoted;
}

double MiBOf(const std::vector<std::string>& paths) {
  double bytes = 0;
  for (const std::string& p : paths) bytes += static_cast<double>(fs::file_size(p));
  return bytes / (1 << 20);
}

// `info --json -r` over the corpus copied into a folder of `count` demos,
// against grep, and its peak memory against that of its largest demo alone.
void CopiedFolder(const std::vector<std::string>& demos, const fs::path& dir, const std::string& cli, std::size_t count,
                  int runs) {
  const fs::path folder = dir / "rewindor-bench-folder";
  const std::vector<std::string> copies = CopiedDemos(demos, folder, count);
  const std::string quoted = QuotedAll(copies);
  std::printf("real demos copied into one folder: %zu files, %.1f MiB; best of %d runs, warm cache\n", copies.size(),
              MiBOf(copies), runs);
  const std::string command = "exec " + Quoted(cli) + " info --json -r " + Quoted(folder.string()) + " > /dev/null";
  (void)std::system(command.c_str());  // into the page cache
  const Timing tool = TimeCommand(command, runs);
  const std::string patterns = (dir / "rewindor-bench.patterns").string();
  const double grep = GrepSeconds(patterns, quoted, runs);
  const Timing grepFast = GrepTiming(patterns, quoted, runs, true);
  Line("rewindor-cli info --json -r FOLDER (s)", tool.wall, "s");
  Line("  its processor time (s)", tool.cpu, "s");
  Line("grep -c -a -F, three markers (s)", grep, "s");
  Line("grep, the HLTV marker without its zero (s)", grepFast.wall, "s");
  Line("  its processor time (s)", grepFast.cpu, "s");
  Line("info --json / grep", tool.wall / grep, "x", "(target <= 0.7)");
  Line("info --json / grep without the zero", tool.wall / grepFast.wall, "x", "(target <= 0.7)");
  Line("  the same in processor time", tool.cpu / grepFast.cpu, "x", "(target <= 0.7)");
  const std::string largest = *std::max_element(
      copies.begin(), copies.end(), [](const auto& a, const auto& b) { return fs::file_size(a) < fs::file_size(b); });
  Line("peak memory, info --json -r FOLDER (MiB)", ChildPeakMiB({cli, "info", "--json", "-r", folder.string()}), "MiB");
  Line("peak memory, info --json LARGEST alone (MiB)", ChildPeakMiB({cli, "info", "--json", largest}), "MiB");
  Line("  the largest demo (MiB)", static_cast<double>(fs::file_size(largest)) / (1 << 20), "MiB",
       "(target: the folder's peak is the largest demo's)");
  fs::remove_all(folder);
}

// What the library dialog waits for: its reader listing and reading a
// folder on its own thread, the rows handed to the model through the inbox,
// as the dialog will take them.
void LibraryReading(const fs::path& folder) {
  LibraryModel model(DemoTextToUtf8);
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  LibraryInbox inbox([&] {
    std::lock_guard<std::mutex> lock(mutex);
    done.notify_all();
  });
  struct Finishing final : LibrarySink {
    LibraryInbox& inbox;
    std::mutex& mutex;
    bool& finished;
    Finishing(LibraryInbox& i, std::mutex& m, bool& f) : inbox(i), mutex(m), finished(f) {}
    void Listed(const LibraryListing& listing) override { inbox.Listed(listing); }
    void RowRead(LibraryRow row) override { inbox.RowRead(std::move(row)); }
    void Finished() override {
      {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
      }
      inbox.Finished();
    }
  } sink(inbox, mutex, finished);
  LibraryReader reader(NativeFileSystem(), NativeFolders(), folder.string(), true, sink);
  std::unique_lock<std::mutex> lock(mutex);
  while (!finished) {  // NOLINT(bugprone-infinite-loop): the sink sets it under the lock
    done.wait(lock);
    lock.unlock();
    inbox.Drain(model);  // the dialog's thread takes the rows as they come
    lock.lock();
  }
  lock.unlock();
  inbox.Drain(model);
}

// The library's reading of a folder of `count` demos against `info --json` over it.
void LibraryFolder(const std::vector<std::string>& demos, const fs::path& dir, const std::string& cli,
                   std::size_t count, int runs) {
  const fs::path folder = dir / "rewindor-bench-library";
  const std::vector<std::string> copies = CopiedDemos(demos, folder, count);
  std::printf("the library: %zu demos, %.1f MiB; best of %d runs, warm cache\n", copies.size(), MiBOf(copies), runs);
  const std::string command = Quoted(cli) + " info --json -r " + Quoted(folder.string()) + " > /dev/null";
  (void)std::system(command.c_str());  // into the page cache
  const double tool = Seconds([&] { (void)std::system(command.c_str()); }, runs);
  const double library = Seconds([&] { LibraryReading(folder); }, runs);
  Line("rewindor-cli info --json -r FOLDER (s)", tool, "s");
  Line("the library's reading of FOLDER (s)", library, "s");
  Line("library / info --json", library / tool, "x", "(target <= 1.5)");
  fs::remove_all(folder);
}

}  // namespace

// The game opening the demo for writing while an edit of it runs: how long
// its open() waits when it comes as the edit starts reading the demo, as it
// starts writing the temp file and as it starts flushing it (three times
// each). The edit goes step by step as EditDemo takes it, changing one byte.
void WriterDuringEdit(const std::string& path, const std::string& work) {
  std::printf("a writer that comes during an edit\n");
  FileSystem& files = NativeFileSystem();
  const char* phases[] = {"reading", "writing", "flushing"};
  for (int phase = 0; phase < 3; ++phase) {
    double longest = 0;
    int refused = 0;
    for (int run = 0; run < 3; ++run) {
      fs::copy_file(path, work, fs::copy_options::overwrite_existing);
      ::sync();
      int go[2], waited[2];
      if (::pipe(go) != 0 || ::pipe(waited) != 0) return;
      const pid_t child = ::fork();
      if (child == 0) {
        char c;
        (void)!::read(go[0], &c, 1);
        const Clock::time_point start = Clock::now();
        const int fd = ::open(work.c_str(), O_WRONLY);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        (void)!::write(waited[1], &seconds, sizeof seconds);
        if (fd >= 0) ::close(fd);
        ::_exit(0);
      }
      auto start = [&](int now) {
        if (now == phase) (void)!::write(go[1], "g", 1);
      };
      bool done = false;
      if (std::unique_ptr<DemoFile> file = files.OpenForEditing(work)) {
        Bytes image;
        start(0);
        ReadWhole(*file, image);
        image[kHeaderSize] ^= 1;
        std::unique_ptr<TempFile> temp = file->CreateTemp();
        start(1);
        done = temp && temp->Write(image);
        start(2);
        done = done && temp->Flush() && file->ReplaceWith(*temp);
      }
      refused += !done && files.LastError().text == text::kReasonBeingWritten;
      double seconds = 0;
      (void)!::read(waited[0], &seconds, sizeof seconds);
      ::waitpid(child, nullptr, 0);
      for (int fd : {go[0], go[1], waited[0], waited[1]}) ::close(fd);
      longest = std::max(longest, seconds);
    }
    std::printf(" the writer comes as the edit starts %s (refused %d of 3)\n", phases[phase], refused);
    Line("writer's longest open() (ms)", longest * 1e3, "ms", "(target < 50)");
  }
  fs::remove(work);
}

// Counts the messages, so that the decoding cannot be left out.
class CountingSink final : public MessageSink {
 public:
  void OnMessage(const FramePlace&, const NetMessage& message) override { bytes += message.length; }
  void OnFrameEnd(const FramePlace&, const FrameFailure* failure) override { failed += failure != nullptr; }
  std::uint64_t bytes = 0, failed = 0;
};

// The message decoder on the real demos: in memory, and `messages --json`
// over their folder against `info --json` over it.
void Messages(const std::vector<std::string>& paths, const std::string& folder, const std::string& cli, int runs) {
  std::vector<Bytes> images;
  double total = 0;
  for (const std::string& p : paths) {
    Bytes image = ReadBare(p);
    if (!MessagesNotDecoded(image).empty()) continue;
    total += static_cast<double>(image.size());
    images.push_back(std::move(image));
  }
  std::printf("the message decoder: %zu real demos of protocol 48, %.1f MiB; best of %d runs\n", images.size(),
              total / (1 << 20), runs);
  CountingSink sink;
  const int passes = 20;  // the demos are small: each run decodes them this many times
  const double decode = Seconds(
      [&] {
        for (int i = 0; i < passes; ++i) {
          for (const Bytes& image : images) (void)DecodeDemoMessages(image, sink);
        }
      },
      runs);
  Line("decoding in memory (MB/s)", total * passes / 1e6 / decode, "MB/s", "(target >= 400)");
  Line("  frames that failed", static_cast<double>(sink.failed), "", "(target 0)");
  std::error_code ec;
  if (cli.empty() || !fs::exists(cli, ec)) return;
  const std::string info = "exec " + Quoted(cli) + " info --json -r " + Quoted(folder) + " > /dev/null";
  const std::string messages = "exec " + Quoted(cli) + " messages --json -r " + Quoted(folder) + " > /dev/null";
  (void)std::system(info.c_str());  // into the page cache
  const Timing infoRun = TimeCommand(info, runs);
  const Timing messagesRun = TimeCommand(messages, runs);
  Line("rewindor-cli info --json -r FOLDER (s)", infoRun.wall, "s");
  Line("rewindor-cli messages --json -r FOLDER (s)", messagesRun.wall, "s");
  Line("messages --json / info --json", messagesRun.wall / infoRun.wall, "x", "(target <= 3)");
  Line("  the same in processor time", messagesRun.cpu / infoRun.cpu, "x", "(target <= 3)");
}

// `events` costs at most 1.2 times `messages` over the same folder: as
// commands over the corpus copied into a folder of `count` demos, and in
// memory, the events against the bare decoding of the corpus demos.
void EventsAgainstMessages(const std::vector<std::string>& demos, const fs::path& dir, const std::string& cli,
                           std::size_t count, int runs) {
  std::vector<Bytes> images;
  double bytes = 0;
  for (const std::string& d : demos) {
    images.push_back(ReadBare(d));
    bytes += static_cast<double>(images.back().size());
  }
  std::printf("events against messages: the corpus in memory, %.1f MiB; best of %d runs\n", bytes / (1 << 20), runs);
  std::uint64_t sink = 0;
  const double decode = Seconds(
      [&] {
        for (const Bytes& image : images) {
          CountingSink counting;
          DecodeDemoMessages(image, counting);
          sink += counting.bytes;
        }
      },
      runs);
  const double events = Seconds(
      [&] {
        for (const Bytes& image : images) sink += ReadDemoEvents(image).events.size();
      },
      runs);
  Line("decoding alone (MB/s)", bytes / 1e6 / decode, "MB/s");
  Line("events (MB/s)", bytes / 1e6 / events, "MB/s");
  Line("events / decoding alone", events / decode, "x", "(target <= 1.2)");
  if (sink == 0) std::printf("  (nothing decoded)\n");
  // The fade and chat edits decode too; each run edits fresh copies.
  using Step = EditResult (*)(MutableByteView);
  for (auto [name, edit] : {std::pair<const char*, Step>{"remove-fades step (MB/s)", RemoveFadeToBlackStep},
                            std::pair<const char*, Step>{"strip-chat step (MB/s)", StripTeamChatStep}}) {
    const Step step = edit;  // a lambda captures no structured binding before C++20's later rules
    std::vector<Bytes> copies;
    const double t = Seconds(
        [&] {
          for (Bytes& c : copies) step(c);
        },
        runs, [&] { copies = images; });
    Line(name, bytes / 1e6 / t, "MB/s");
  }

  const fs::path folder = dir / "rewindor-bench-events";
  const std::vector<std::string> copies = CopiedDemos(demos, folder, count);
  std::printf("events against messages: %zu files, %.1f MiB; best of %d runs, warm cache\n", copies.size(),
              MiBOf(copies), runs);
  auto command = [&](const char* name) {
    return "exec " + Quoted(cli) + " " + name + " --json -r " + Quoted(folder.string()) + " > /dev/null";
  };
  (void)std::system(command("messages").c_str());  // into the page cache
  const Timing messages = TimeCommand(command("messages"), runs);
  const Timing tool = TimeCommand(command("events"), runs);
  Line("rewindor-cli messages --json -r FOLDER (s)", messages.wall, "s");
  Line("rewindor-cli events --json -r FOLDER (s)", tool.wall, "s");
  Line("events / messages", tool.wall / messages.wall, "x", "(target <= 1.2)");
  Line("  the same in processor time", tool.cpu / messages.cpu, "x", "(target <= 1.2)");
  fs::remove_all(folder);
}

// A child run for the memory figures: one command, nothing else. Its exit
// status, or none when the arguments ask for no child run.
std::optional<int> ChildRun(int argc, char** argv) {
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (argc == 4 && mode == "--write-demo") {  // the demo alone, for profiling
    builder::Built built = builder::Build(LargeDemo(std::strtoull(argv[2], nullptr, 10) << 20));
    std::ofstream(argv[3], std::ios::binary)
        .write(reinterpret_cast<const char*>(built.bytes.data()), static_cast<std::streamsize>(built.bytes.size()));
    return 0;
  }
  if (argc >= 3 && mode == "--child-peak") {
    std::printf("%ld\n", SpawnedPeakKiB(argv + 2));
    return 0;
  }
  if (argc != 4) return std::nullopt;
  if (mode == "--child-info") {
    Info(argv[3]);
  } else if (mode == "--child-tool-info") {
    ToolInfo(argv[3], true);
  } else if (mode == "--child-edit") {
    EditDemo(NativeFileSystem(), argv[3], kCommands[std::atoi(argv[2])].step, false);
  } else {
    return std::nullopt;
  }
  std::printf("%ld\n", HighWaterKiB());
  return 0;
}

struct BenchArgs {
  std::uint64_t mib = 256;
  int runs = 3;
  fs::path dir = fs::temp_directory_path();
  std::string corpus = REWINDOR_CORPUS_DIR;
  std::string cli;
  std::size_t folderDemos = 172, libraryDemos = 1000;
  bool gameFinderOnly = false, writerOnly = false;
  bool messagesOnly = false, eventsOnly = false;
};

// The arguments, or none (after the usage) when they are not understood.
std::optional<BenchArgs> ParseBenchArgs(int argc, char** argv) {
  BenchArgs a;
  std::error_code noExe;
  a.cli = (fs::read_symlink("/proc/self/exe", noExe).parent_path().parent_path() / "cli" / "rewindor-cli").string();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--mib" && i + 1 < argc) a.mib = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--runs" && i + 1 < argc) a.runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) a.dir = argv[++i];
    else if (arg == "--corpus" && i + 1 < argc) a.corpus = argv[++i];
    else if (arg == "--cli" && i + 1 < argc) a.cli = argv[++i];
    else if (arg == "--folder" && i + 1 < argc) a.folderDemos = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--library" && i + 1 < argc) a.libraryDemos = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--game-finder") a.gameFinderOnly = true;
    else if (arg == "--writer") a.writerOnly = true;
    else if (arg == "--messages") a.messagesOnly = true;
    else if (arg == "--events") a.eventsOnly = true;
    else {
      std::fprintf(stderr,
                   "usage: rewindor-bench [--mib N] [--dir FOLDER] [--runs N] [--corpus FOLDER] [--cli PATH]\n"
                   "                      [--folder N] [--library N] [--game-finder] [--writer] [--messages]\n"
                   "                      [--events]\n");
      return std::nullopt;
    }
  }
  return a;
}

// The real demos below `corpus`, for the figures that take them.
std::vector<std::string> CorpusDemos(const std::string& corpus) {
  std::vector<std::string> demos;
  std::error_code ec;
  if (!corpus.empty() && fs::is_directory(corpus, ec)) {
    for (const auto& entry : fs::recursive_directory_iterator(corpus, ec)) {
      if (entry.is_regular_file() && entry.path().extension() == ".dem") demos.push_back(entry.path().string());
    }
  }
  std::sort(demos.begin(), demos.end());
  return demos;
}

// The info figures on the built demo at `path`, whose bytes `image` holds.
void InfoFigures(const std::string& path, const Bytes& image, int runs) {
  const double size = static_cast<double>(image.size());
  const double gb = size / 1e9, mibSize = size / (1 << 20);
  std::printf("info\n");
  double bare = Seconds([&] { ReadBare(path); }, runs);
  double info = Seconds([&] { Info(path); }, runs);
  double scans = Seconds(
      [&] {
        DemoInspection inspection = InspectDemo(image);
        (void)DemoPlayers(inspection);
      },
      runs);
  double tool = Seconds([&] { ToolInfo(path, false); }, runs);
  double withFacts = Seconds([&] { ToolInfo(path, true); }, runs);
  double through = Seconds([&] { ReadThrough(path); }, runs);
  double facts = Seconds([&] { (void)ReadDemoFacts(image); }, runs);
  double grep = GrepSeconds(path + ".patterns", Quoted(path), runs);
  Line("bare read (s)", bare, "s");
  Line("info (s)", info, "s");
  Line("info / bare read", info / bare, "x", "(target <= 1.25)");
  Line("rewindor-cli info without the facts (s)", tool, "s");
  Line("rewindor-cli info with the facts (s)", withFacts, "s");
  Line("  with the facts / without", withFacts / tool, "x", "(target <= 1.25)");
  Line("read through a 128 KiB buffer, as cat (s)", through, "s");
  Line("  rewindor-cli info with the facts / cat", withFacts / through, "x", "(target <= 1.2)");
  Line("scans in memory (GB/s)", gb / scans, "GB/s", "(target >= 4)");
  Line("facts in memory (GB/s)", gb / facts, "GB/s");
  Line("peak memory of info (MiB)", PeakMiBOf("--child-info - '" + path + "'"), "MiB", "");
  Line("peak memory of rewindor-cli info with the facts (MiB)", PeakMiBOf("--child-tool-info - '" + path + "'"), "MiB",
       "(target: a window, not the file)");
  Line("  file size (MiB)", mibSize, "MiB", "");
  Line("grep -c -a -F, same three markers (s)", grep, "s");
  Line("info / grep", info / grep, "x", "(aim < 1)");
}

// Each edit command on the built demo at `path` (its bytes `image`), run on a
// copy at `work`; the repair on the demo cut off as a killed game leaves it.
void EditFigures(const fs::path& dir, const std::string& path, const std::string& work, const Bytes& image, int runs) {
  const double gb = static_cast<double>(image.size()) / 1e9;
  std::printf("edits\n");
  const std::string unfinished = (dir / "rewindor-bench-unfinished.dem").string();
  WriteUnfinished(image, unfinished);
  // Each run edits a fresh copy (an edit that finds nothing left to change
  // writes nothing), with the copy's own writing done before the clock starts.
  auto fresh = [&](const std::string& source) {
    return [&] {
      fs::copy_file(source, work, fs::copy_options::overwrite_existing);
      ::sync();
    };
  };
  double bareRw = Seconds([&] { ReadWriteBare(work); }, runs, fresh(path));
  Line("bare read + write + replace (s)", bareRw, "s");
  for (std::size_t i = 0; i < std::size(kCommands); ++i) {
    const Command& c = kCommands[i];
    const std::string& source = c.unfinished ? unfinished : path;
    double t = Seconds([&] { EditDemo(NativeFileSystem(), work, c.step, false); }, runs, fresh(source));
    Bytes copy = c.unfinished ? ReadBare(unfinished) : image;
    double step = Seconds([&] { c.step(copy); }, runs);
    fresh(source)();
    double peak = PeakMiBOf("--child-edit " + std::to_string(i) + " '" + work + "'");
    std::printf(" %s\n", c.name);
    Line("command (s)", t, "s");
    Line("command / bare read + write", t / bareRw, "x", "(target <= 1.5)");
    Line("edit step in memory (GB/s)", gb / step, "GB/s", "(target >= 2)");
    Line("peak memory (MiB)", peak, "MiB", "(target <= file + 16 MiB)");
  }
  fs::remove(unfinished);
}

// The figures on the real demos, and on folders of copies of them.
void RealDemoFigures(const BenchArgs& a, const std::vector<std::string>& demos, const fs::path& dir) {
  if (demos.empty()) {
    std::printf("real demos: none found (--corpus FOLDER)\n");
    return;
  }
  double corpusBytes = 0;
  std::string quoted;
  for (const std::string& d : demos) {
    corpusBytes += static_cast<double>(fs::file_size(d));
    quoted += Quoted(d) + " ";
  }
  const int many = std::max(a.runs, 20);  // small files: more runs for a steady best
  std::printf("real demos: %s, %zu files, %.1f MiB; best of %d runs\n", a.corpus.c_str(), demos.size(),
              corpusBytes / (1 << 20), many);
  double folderInfo = Seconds(
      [&] {
        for (const std::string& d : demos) ToolInfo(d, false);
      },
      many);
  double folderFacts = Seconds(
      [&] {
        for (const std::string& d : demos) ToolInfo(d, true);
      },
      many);
  Line("rewindor-cli info without the facts (s)", folderInfo, "s");
  Line("rewindor-cli info with the facts (s)", folderFacts, "s");
  Line("  with the facts / without", folderFacts / folderInfo, "x", "(target <= 1.25)");
  std::error_code ec;
  if (a.cli.empty() || !fs::exists(a.cli, ec)) {
    std::printf("  rewindor-cli not found (--cli PATH)\n");
    return;
  }
  const std::string command = Quoted(a.cli) + " info --json -r " + Quoted(a.corpus) + " > /dev/null";
  double cliRun = Seconds([&] { (void)std::system(command.c_str()); }, many);
  double grepAll = GrepSeconds((dir / "rewindor-bench.patterns").string(), quoted, many);
  Line("rewindor-cli info --json -r FOLDER (s)", cliRun, "s");
  Line("grep -c -a -F, three markers, same files (s)", grepAll, "s");
  Line("rewindor-cli info --json / grep", cliRun / grepAll, "x", "(target < 1)");
  Messages(demos, a.corpus, a.cli, many);
  if (a.folderDemos > 0) CopiedFolder(demos, dir, a.cli, a.folderDemos, many);
  if (a.libraryDemos > 0) LibraryFolder(demos, dir, a.cli, a.libraryDemos, std::max(a.runs, 5));
  if (a.folderDemos > 0) EventsAgainstMessages(demos, dir, a.cli, a.folderDemos, many);
}

static int Run(int argc, char** argv) {
  if (std::optional<int> child = ChildRun(argc, argv)) return *child;
  std::optional<BenchArgs> args = ParseBenchArgs(argc, argv);
  if (!args) return 2;
  const int runs = args->runs;
  // A folder of this run's own: other runs on the machine at the same time
  // would otherwise write and remove the same files under this one.
  struct RunFolder {
    fs::path path;
    ~RunFolder() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } runFolder{args->dir / ("rewindor-bench-" + std::to_string(getpid()))};
  fs::create_directories(runFolder.path);
  const fs::path dir = runFolder.path;
  const std::vector<std::string> demos = CorpusDemos(args->corpus);
  if (args->messagesOnly) {
    Messages(demos, args->corpus, args->cli, std::max(runs, 10));
    return 0;
  }
  if (args->eventsOnly) {
    if (!demos.empty()) EventsAgainstMessages(demos, dir, args->cli, args->folderDemos, std::max(runs, 20));
    return 0;
  }
  if (!args->writerOnly) GameFinder(dir, runs);
  if (args->gameFinderOnly) return 0;
  const std::string path = (dir / "rewindor-bench.dem").string();
  const std::string work = (dir / "rewindor-bench-edit.dem").string();
  {
    builder::Built built = builder::Build(LargeDemo(args->mib << 20));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(built.bytes.data()), static_cast<std::streamsize>(built.bytes.size()));
  }
  std::printf("demo: %s, %.1f MiB; best of %d runs, warm cache\n", path.c_str(),
              static_cast<double>(fs::file_size(path)) / (1 << 20), runs);
  ReadBare(path);  // into the page cache
  if (args->writerOnly) {
    WriterDuringEdit(path, work);
    fs::remove(path);
    return 0;
  }
  {
    const Bytes image = ReadBare(path);
    InfoFigures(path, image, runs);
    EditFigures(dir, path, work, image, runs);
  }
  WriterDuringEdit(path, work);
  fs::remove(path);
  HostileNames(dir, runs);
  DamagedDemos(dir, runs);
  RealDemoFigures(*args, demos, dir);
  return 0;
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {  // a full disk, a folder that cannot be made: said, not a crash
    std::fprintf(stderr, "rewindor-bench: %s\n", e.what());
    return 1;
  }
}
