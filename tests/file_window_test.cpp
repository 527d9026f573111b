// The one pass through a window: the information reader and the facts read
// from a file front to back must be exactly what they are from the whole
// image, whatever the window's size; patterns across a window's edge are
// found; a file that shrinks, grows or fails while it is read gives an error
// or the facts of what it held, never a mix.
#include "demo/file_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <tuple>

#include "demo/facts.h"
#include "demo/net_messages.h"
#include "demo/resolution.h"
#include "tests/support/damaged_directories.h"
#include "tests/support/corpus.h"
#include "tests/support/memory_demo.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

// A demo file in memory that can lose its end after a number of reads
// (another program cutting it), fail a read, or hold more than its size said.
class StoredDemo final : public MemoryDemo {
 public:
  explicit StoredDemo(Bytes image) : held_(std::move(image)), size_(held_.size()) { bytes = held_; }
  std::size_t shrinkAfterReads = SIZE_MAX;  // then the file is cut to half
  std::size_t failAfterReads = SIZE_MAX;
  std::size_t reads = 0;

  // The size asked for is what the file held at first; bytes added later
  // (a recording game) lie beyond it.
  void Append(ByteView more) {
    held_.insert(held_.end(), more.begin(), more.end());
    bytes = held_;
  }
  bool Size(std::uint64_t& size) override {
    size = size_;
    return true;
  }
  bool ReadAt(std::uint64_t offset, MutableByteView into) override {
    if (++reads > failAfterReads) return false;
    if (reads > shrinkAfterReads) bytes = bytes.first(std::min(bytes.size(), size_ / 2));
    return MemoryDemo::ReadAt(offset, into);
  }

 private:
  Bytes held_;
  std::size_t size_;
};

// Windows smaller than a frame header, than a network frame's fixed part, a
// little over a scan block, and the real one.
constexpr std::size_t kWindows[] = {16, 61, 512, 4096, kFileWindowSize};

void ExpectStreamedAsWhole(const Bytes& image, const std::string& what) {
  const DemoReading whole = ReadDemo(image);
  for (std::size_t window : kWindows) {
    StoredDemo file(image);
    DemoReading streamed;
    ASSERT_EQ(ReadDemo(file, streamed, {.window = window}), ReadOutcome::kOk) << what << " window " << window;
    EXPECT_EQ(ReadingFacts(streamed), ReadingFacts(whole)) << what << " window " << window;
  }
}

// A Playback that pauses longer than the walk's bounds allow, which only the
// directory vouches for, followed by more than a small window holds: the walk
// looks ahead to the closing frame and comes back.
b::Demo PausedDemo() {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::ServerInfoMessage({.maxPlayers = 4, .slot = 1})}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 2, .playerInfoPerMinute = 60, .players = {"Ann", "Bob"}});
  for (int i = 0; i < 200; ++i) {
    b::Frame frame = b::NetFrame({b::NoiseMessage(0x30, 900, static_cast<std::uint64_t>(i))});
    frame.time = 5000 + 0.015625f * static_cast<float>(i);  // over an hour after the last
    frame.number = 200 + i;
    demo.playback().items.push_back(frame);
  }
  return demo;
}

TEST(FileWindow, EveryWindowReadsWhatTheWholeImageHolds) {
  std::vector<std::pair<std::string, b::Demo>> demos = {
      {"client sample", b::ClientSample()}, {"HLTV sample", b::HltvSample()}, {"paused", PausedDemo()}};
  for (const DirectoryDamage& damage : DirectoryDamages()) {
    b::Demo demo = b::ClientSample();
    demo.damage.editEntries = damage.edit;
    demo.damage.entryCount = damage.count;
    demos.emplace_back(damage.what, demo);
  }
  b::Demo unfinished = b::ClientSample();
  unfinished.damage.noDirectory = true;
  demos.emplace_back("no directory", unfinished);
  for (const auto& [what, demo] : demos) ExpectStreamedAsWhole(b::Build(demo).bytes, what);
}

// Every message and frame end, as a sink sees them.
class MessageLog final : public MessageSink {
 public:
  void OnMessage(const FramePlace& place, const NetMessage& m) override {
    log.push_back({place.segment, place.index, m.offset, m.length, m.id});
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    log.push_back({place.segment, place.index, failure ? failure->offset : 0, failure ? 1u : 0u, 255});
  }
  std::vector<std::array<std::size_t, 5>> log;
};

// Each real demo: the reading and the decoder driven through the window hand
// over exactly what they do from the whole image, frame by frame, message by
// message; the file is read once, front to back, the directory at most once more.
TEST(FileWindow, TheRealDemosAsFromTheWholeImage) {
  if (CorpusDemos().empty()) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  for (const std::filesystem::path& path : CorpusDemos()) {
    const Bytes image = ReadImage(path);
    ExpectStreamedAsWhole(image, path.filename().string());
    StoredDemo once(image);
    DemoReading reading;
    ASSERT_EQ(ReadDemo(once, reading), ReadOutcome::kOk);
    EXPECT_LE(once.reads, 2 + image.size() / kFileWindowSize) << path;
    MessageLog whole;
    const DecodeTotals wholeTotals = DecodeDemoMessages(image, whole);
    for (std::size_t window : {std::size_t{61}, std::size_t{4096}, kFileWindowSize}) {
      StoredDemo file(image);
      MessageLog streamed;
      DecodeTotals totals;
      ASSERT_EQ(DecodeDemoMessages(file, streamed, totals, window), ReadOutcome::kOk) << path;
      EXPECT_EQ(streamed.log, whole.log) << path << " window " << window;
      EXPECT_EQ(std::tie(totals.frames, totals.failed, totals.notDecoded),
                std::tie(wholeTotals.frames, wholeTotals.failed, wholeTotals.notDecoded)) << path;
    }
    if (!wholeTotals.notDecoded.empty() || wholeTotals.frames <= 100) continue;
    StoredDemo failing(image);
    failing.failAfterReads = 2;
    MessageLog partial;
    DecodeTotals untouched;
    untouched.frames = 7;
    EXPECT_EQ(DecodeDemoMessages(failing, partial, untouched, 4096), ReadOutcome::kShortRead);
    EXPECT_EQ(untouched.frames, 7u);
  }
}

// A demo cut anywhere (a crash, a copy that stopped) reads as its whole image does.
TEST(FileWindow, TruncatedDemos) {
  const Bytes full = b::Build(b::ClientSample()).bytes;
  std::mt19937 random(3);
  std::vector<std::size_t> cuts = {1, 6, 7, 543, 544, 545, 1020, 1021, 1022};
  for (int i = 0; i < 40; ++i) cuts.push_back(random() % full.size());
  for (std::size_t cut : cuts) ExpectStreamedAsWhole(Bytes(full.begin(), full.begin() + cut), "cut at " + std::to_string(cut));
}

// Markers planted so that they straddle a window's edge at every split, and a
// player-info window that runs over several windows.
TEST(FileWindow, PatternsAcrossTheWindowsEdges) {
  const std::string hltv("\0\x08HLTV", 6);
  const std::string pieces[] = {"BUILD 2056 ", "\tfulls\\name\\Straddler\\model\\x", hltv};
  for (const std::string& piece : pieces) {
    for (std::size_t shift = 0; shift <= piece.size() + 1; ++shift) {
      Bytes image = b::Build(b::ClientSample()).bytes;
      const std::size_t edge = 4 * 512;  // a window's edge at window 512 and 16
      std::copy(piece.begin(), piece.end(), image.begin() + static_cast<std::ptrdiff_t>(edge - shift));
      ExpectStreamedAsWhole(image, "planted " + std::to_string(shift) + " before the edge");
      EXPECT_NE(ScanMarkers(image).hltv, piece != hltv) << "the plant is found at all";
    }
  }
}

// The scan fed piece by piece, as small as one position at a time, over
// markers, tokens longer than a player-info window and markers inside them.
TEST(MarkerScanner, PiecesGiveWhatTheWholeGives) {
  const std::string pieces[] = {"\tfulls", "\\", ",", "\n", std::string(1, '\0'), "name", "Alpha", "\tfull",
                                std::string(130, 'L'), std::string(3000, 'z'), std::string(5000, 'q'),
                                "BUILD 2006", std::string("\0\x08HLTV", 6)};
  std::mt19937 random(11);
  for (int round = 0; round < 60; ++round) {
    std::string text;
    const std::size_t size = random() % 24000;
    const std::size_t kinds = std::size(pieces) - (round % 2 == 0 ? 1 : 0);  // half without HLTV
    while (text.size() < size) text += pieces[random() % kinds];
    const ByteView image = AsBytes(text);
    const MarkerScan whole = ScanMarkers(image);
    for (std::size_t chunk : {1, 7, 100, 4096}) {
      MarkerScanner scanner(image.size());
      while (scanner.scanned() < image.size()) {
        const std::size_t to = std::min(scanner.scanned() + chunk, image.size());
        const std::size_t base = scanner.scanned() == 0 ? 0 : scanner.scanned() - 1;
        // A copy of exactly what the contract promises, so a look past it is a fault the sanitizers see.
        const Bytes piece(image.begin() + static_cast<std::ptrdiff_t>(base),
                          image.begin() + static_cast<std::ptrdiff_t>(std::min(to + kMarkerLookahead, image.size())));
        scanner.Scan(piece, base, to);
      }
      const MarkerScan pieced = scanner.Finish();
      EXPECT_EQ(std::tie(pieced.hltv, pieced.buildNumber, pieced.names),
                std::tie(whole.hltv, whole.buildNumber, whole.names)) << "round " << round << " chunk " << chunk;
    }
  }
}

// A size record planted across every split of a piece is counted once.
TEST(SizeRecordScan, PiecesGiveWhatTheWholeGives) {
  Bytes image(3000, 0x11);
  const std::uint8_t record[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0x03, 0, 0, 0x58, 0x02, 0, 0};  // 800x600
  for (std::size_t at = 100; at + 16 < image.size(); at += 97) std::copy(record, record + 16, image.begin() + at);
  SizeRecordScan whole;
  whole.Scan(image, 0, image.size());
  ASSERT_EQ(whole.Result(), (Resolution{800, 600}));
  for (std::size_t chunk : {1, 5, 16, 17, 333}) {
    SizeRecordScan pieced;
    for (std::size_t from = 0; from < image.size(); from += chunk) {
      const std::size_t base = from == 0 ? 0 : from - 1;
      pieced.Scan(ByteView(image).subspan(base, std::min(from + chunk + 16, image.size()) - base), base,
                  std::min(from + chunk, image.size()));
    }
    EXPECT_EQ(pieced.Result(), whole.Result()) << chunk;
  }
}

// Another program cuts the file, or the disk fails, half way: the read fails
// and the reading given is left as it was. Bytes written after the size was
// asked are not read: the facts are those of the file as it was then.
TEST(FileWindow, AFileThatChangesOrFailsWhileRead) {
  const Bytes image = b::Build(PausedDemo()).bytes;
  DemoReading before;
  before.inspection.header.mapName = "kept";
  for (std::size_t reads : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{20}}) {
    for (bool fail : {false, true}) {
      StoredDemo file(image);
      (fail ? file.failAfterReads : file.shrinkAfterReads) = reads;
      DemoReading reading = before;
      EXPECT_EQ(ReadDemo(file, reading, {.window = 4096}), ReadOutcome::kShortRead) << reads << fail;
      EXPECT_EQ(reading.inspection.header.mapName, "kept");
    }
  }
  StoredDemo growing(image);
  growing.Append(AsBytes(std::string("\tfulls\\name\\Late\\") + std::string(5000, 'x')));
  DemoReading reading;
  ASSERT_EQ(ReadDemo(growing, reading, {.window = 4096}), ReadOutcome::kOk);
  const DemoReading held = ReadDemo(image);
  EXPECT_EQ(ReadingFacts(reading), ReadingFacts(held)) << "grown while read";
}

// Memory does not grow with the demo: a window and its reserve.
TEST(FileWindow, HoldsAWindowNotTheFile) {
  b::Demo big;
  big.recordLayout = false;
  big.playback().items.push_back(b::Gameplay{.targetBytes = std::uint64_t{6} << 20});
  StoredDemo file(b::Build(big).bytes);
  std::uint64_t size = 0;
  file.Size(size);
  struct : StreamScan {
    std::size_t widest = 0;
    void Scan(ByteView piece, std::size_t, std::size_t) override { widest = std::max(widest, piece.size()); }
  } scan;
  FileWindow window(file, static_cast<std::size_t>(size), scan, 256 << 10);
  const DemoWalk walk = WalkDemo(window, [](std::size_t, const Frame& f) {
    if (f.IsNetwork()) {
      ASSERT_EQ(f.bytes.size(), f.size);
    }
  });
  ASSERT_TRUE(window.Finish());
  EXPECT_TRUE(walk.finished);
  EXPECT_LE(scan.widest, (256u << 10) + 80000u);
  EXPECT_LE(window.bytesRead(), size + 100000u) << "each byte read once, the directory once more";
}

}  // namespace
}  // namespace rewindor
