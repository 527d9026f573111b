// rewindor-bench: how fast the information reader and the edits are on a
// large demo, against the bare file read (and write) and against GNU grep.
//
//   rewindor-bench [--mib N] [--dir FOLDER] [--runs N] [--corpus FOLDER] [--cli PATH]
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
// the whole `rewindor-cli info --json -r` against grep over the same files.
// Times are the best of --runs (3) with the file in the page cache.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "demo/edits.h"
#include "demo/facts.h"
#include "demo/info.h"
#include "demo/patch_run.h"
#include "demo/read_info.h"
#include "demo/repair.h"
#include "demo/resolution.h"
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

// An information window that keeps nothing.
class NullWindow final : public InfoWindow {
 public:
  std::string path;
  std::size_t players = 0;
  std::string DemoPath() override { return path; }
  void SetInfoText(std::string_view) override {}
  void ClearPlayers() override { players = 0; }
  void AddPlayer(std::string_view) override { ++players; }
  void LoadMapPicture(const std::string&) override {}
  void Redraw() override {}
  void ReportError(std::string_view text, const SystemError& why) override {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(text.size()), text.data(), why.text.c_str());
    std::exit(1);
  }
};

void Info(const std::string& path) {
  NullWindow window;
  window.path = path;
  ReaderState state;
  ReadDemoInfo(window, NativeFileSystem(), state);
}

// What `rewindor-cli info` reads from one demo, with or without the facts.
// Without them, the resolution alone, as the tool read it before it showed the facts.
void ToolInfo(const std::string& path, bool withFacts) {
  NullWindow window;
  window.path = path;
  ReaderState state;
  ReadDemoInfo(window, NativeFileSystem(), state, [withFacts](ByteView image, const DemoInspection& inspection) {
    if (withFacts) {
      (void)ReadDemoFacts(image, inspection.hltv);
    } else {
      (void)DetectResolution(image);
    }
  });
}

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

// `paths` quoted for the shell, separated by spaces.
double GrepSeconds(const std::string& patterns, const std::string& paths, int runs) {
  {
    std::ofstream out(patterns, std::ios::binary);
    out.write(reinterpret_cast<const char*>(kHltvMarker.data()), kHltvMarker.size());
    out << '\n';
    out.write(reinterpret_cast<const char*>(kBuildMarker.data()), kBuildMarker.size());
    out << '\n';
    out.write(reinterpret_cast<const char*>(kPlayerInfoMarker.data()), kPlayerInfoMarker.size());
    out << '\n';
  }
  // The output goes through a pipe: sent to /dev/null grep stops at the first match.
  std::string command = "grep -c -a -F -f " + Quoted(patterns) + " " + paths + " | cat > /dev/null";
  double t = Seconds([&] { (void)std::system(command.c_str()); }, runs);
  fs::remove(patterns);
  return t;
}

// A demo of `size` bytes: the header, then `body` over and over (cut at the end).
Bytes RepeatedDemo(std::string_view body, std::size_t size) {
  Bytes d(size, 0);
  std::copy(std::begin(kDemoSignature), std::end(kDemoSignature), d.begin());
  for (std::size_t i = kHeaderSize; i < size; ++i) d[i] = static_cast<std::uint8_t>(body[(i - kHeaderSize) % body.size()]);
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
  return Seconds([&] {
    EditDemo(NativeFileSystem(), path, [](MutableByteView m) {
      RepairReport report;
      return RepairDemo(m, report);
    }, /*dryRun=*/true);
  }, runs);
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
  const std::size_t directory = static_cast<std::size_t>(LoadI32LE(finished.data() + kDirectoryOffsetOffset));
  image.resize(directory - kFrameHeaderSize - 300);  // the closing frame gone, 300 bytes of the frame before it
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

}  // namespace

int main(int argc, char** argv) {
  // A child run for the memory figures: one command, nothing else.
  if (argc == 4 && std::string(argv[1]) == "--write-demo") {  // the demo alone, for profiling
    builder::Built built = builder::Build(LargeDemo(std::strtoull(argv[2], nullptr, 10) << 20));
    std::ofstream(argv[3], std::ios::binary).write(reinterpret_cast<const char*>(built.bytes.data()),
                                                   static_cast<std::streamsize>(built.bytes.size()));
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--child-info") {
    Info(argv[3]);
    std::printf("%ld\n", HighWaterKiB());
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--child-tool-info") {
    ToolInfo(argv[3], true);
    std::printf("%ld\n", HighWaterKiB());
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--child-edit") {
    EditDemo(NativeFileSystem(), argv[3], kCommands[std::atoi(argv[2])].step, false);
    std::printf("%ld\n", HighWaterKiB());
    return 0;
  }
  std::uint64_t mib = 256;
  int runs = 3;
  fs::path dir = fs::temp_directory_path();
  std::string corpus = REWINDOR_CORPUS_DIR;
  std::error_code noExe;
  std::string cli = (fs::read_symlink("/proc/self/exe", noExe).parent_path().parent_path() / "cli" / "rewindor-cli").string();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--mib" && i + 1 < argc) mib = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (arg == "--corpus" && i + 1 < argc) corpus = argv[++i];
    else if (arg == "--cli" && i + 1 < argc) cli = argv[++i];
    else {
      std::fprintf(stderr, "usage: rewindor-bench [--mib N] [--dir FOLDER] [--runs N] [--corpus FOLDER] [--cli PATH]\n");
      return 2;
    }
  }
  const std::string path = (dir / "rewindor-bench.dem").string();
  const std::string work = (dir / "rewindor-bench-edit.dem").string();
  {
    builder::Built built = builder::Build(LargeDemo(mib << 20));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(built.bytes.data()),
                                                static_cast<std::streamsize>(built.bytes.size()));
  }
  const double size = static_cast<double>(fs::file_size(path));
  const double gb = size / 1e9, mibSize = size / (1 << 20);
  std::printf("demo: %s, %.1f MiB; best of %d runs, warm cache\n", path.c_str(), mibSize, runs);
  ReadBare(path);  // into the page cache

  std::printf("info\n");
  double bare = Seconds([&] { ReadBare(path); }, runs);
  double info = Seconds([&] { Info(path); }, runs);
  Bytes image = ReadBare(path);
  double scans = Seconds(
      [&] {
        DemoInspection facts = InspectDemo(image);
        (void)DemoPlayers(facts);
      },
      runs);
  double tool = Seconds([&] { ToolInfo(path, false); }, runs);
  double withFacts = Seconds([&] { ToolInfo(path, true); }, runs);
  double facts = Seconds([&] { (void)ReadDemoFacts(image); }, runs);
  double grep = GrepSeconds(path + ".patterns", Quoted(path), runs);
  Line("bare read (s)", bare, "s");
  Line("info (s)", info, "s");
  Line("info / bare read", info / bare, "x", "(target <= 1.25)");
  Line("rewindor-cli info without the facts (s)", tool, "s");
  Line("rewindor-cli info with the facts (s)", withFacts, "s");
  Line("  with the facts / without", withFacts / tool, "x", "(target <= 1.25)");
  Line("scans in memory (GB/s)", gb / scans, "GB/s", "(target >= 4)");
  Line("facts in memory (GB/s)", gb / facts, "GB/s");
  Line("peak memory of info (MiB)", PeakMiBOf("--child-info - '" + path + "'"), "MiB", "");
  Line("  file size + 16 MiB (MiB)", mibSize + 16, "MiB", "(target: peak at most this)");
  Line("grep -c -a -F, same three markers (s)", grep, "s");
  Line("info / grep", info / grep, "x", "(aim < 1)");

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
  fs::remove(work);
  fs::remove(unfinished);
  fs::remove(path);
  HostileNames(dir, runs);
  DamagedDemos(dir, runs);

  // A folder of real demos.
  std::vector<std::string> demos;
  std::error_code ec;
  if (!corpus.empty() && fs::is_directory(corpus, ec)) {
    for (const auto& entry : fs::recursive_directory_iterator(corpus, ec)) {
      if (entry.is_regular_file() && entry.path().extension() == ".dem") demos.push_back(entry.path().string());
    }
  }
  if (demos.empty()) {
    std::printf("real demos: none found (--corpus FOLDER)\n");
    return 0;
  }
  std::sort(demos.begin(), demos.end());
  double corpusBytes = 0;
  std::string quoted;
  for (const std::string& d : demos) {
    corpusBytes += static_cast<double>(fs::file_size(d));
    quoted += Quoted(d) + " ";
  }
  const int many = std::max(runs, 20);  // small files: more runs for a steady best
  std::printf("real demos: %s, %zu files, %.1f MiB; best of %d runs\n", corpus.c_str(), demos.size(),
              corpusBytes / (1 << 20), many);
  double folderInfo = Seconds([&] { for (const std::string& d : demos) ToolInfo(d, false); }, many);
  double folderFacts = Seconds([&] { for (const std::string& d : demos) ToolInfo(d, true); }, many);
  Line("rewindor-cli info without the facts (s)", folderInfo, "s");
  Line("rewindor-cli info with the facts (s)", folderFacts, "s");
  Line("  with the facts / without", folderFacts / folderInfo, "x", "(target <= 1.25)");
  if (cli.empty() || !fs::exists(cli, ec)) {
    std::printf("  rewindor-cli not found (--cli PATH)\n");
    return 0;
  }
  const std::string command = Quoted(cli) + " info --json -r " + Quoted(corpus) + " > /dev/null";
  double cliRun = Seconds([&] { (void)std::system(command.c_str()); }, many);
  double grepAll = GrepSeconds((dir / "rewindor-bench.patterns").string(), quoted, many);
  Line("rewindor-cli info --json -r FOLDER (s)", cliRun, "s");
  Line("grep -c -a -F, three markers, same files (s)", grepAll, "s");
  Line("rewindor-cli info --json / grep", cliRun / grepAll, "x", "(target < 1)");
  return 0;
}
