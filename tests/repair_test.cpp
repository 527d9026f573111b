// The repair of unfinished demos: every real recording cut inside Playback,
// checked by a walk of its own written here, and the demos it must refuse.
#include "demo/repair.h"
#include "demo/facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "demo/frames.h"
#include "demo/messages.h"
#include "tests/support/damaged_directories.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace fs = std::filesystem;
namespace b = builder;

// A frame as read here, plainly: type byte, time, number, then the body.
struct PlainFrame {
  std::size_t offset = 0, size = 0;
  std::uint8_t type = 0;
  std::uint32_t timeBits = 0;
  std::int32_t number = 0;
};

std::uint32_t U32(const Bytes& d, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, d.data() + at, 4);  // little-endian hosts only, as the tests run
  return v;
}
std::int32_t I32(const Bytes& d, std::size_t at) { return static_cast<std::int32_t>(U32(d, at)); }

// The whole frames from `pos` up to `end`, through the first closing frame
// and the closing frames right after it (the game writes a few at times).
std::vector<PlainFrame> PlainWalk(const Bytes& d, std::size_t pos, std::size_t end) {
  std::vector<PlainFrame> frames;
  while (pos + 9 <= end) {
    PlainFrame f{pos, 9, d[pos], U32(d, pos + 1), I32(d, pos + 5)};
    // A length field past the end makes the frame too long to stand.
    auto lengthAt = [&](std::size_t at) { return at + 4 <= end ? std::uint64_t{U32(d, at)} : std::uint64_t{1} << 40; };
    std::uint64_t body = 0;
    switch (f.type) {
      case 0: case 1: body = 468 + lengthAt(pos + 9 + 464); break;
      case 2: case 5: body = 0; break;
      case 3: body = 64; break;
      case 4: body = 32; break;
      case 6: body = 84; break;
      case 7: body = 8; break;
      case 8: body = 8 + lengthAt(pos + 9 + 4) + 16; break;
      case 9: body = 4 + lengthAt(pos + 9); break;
      default: return frames;
    }
    if (pos + 9 + body > end) return frames;
    f.size = static_cast<std::size_t>(9 + body);
    frames.push_back(f);
    pos += f.size;
    if (f.type == 5 && (pos >= end || d[pos] != 5)) break;
  }
  return frames;
}

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// The real recordings with a LOADING and a Playback entry.
std::vector<fs::path> RealRecordings() {
  std::vector<fs::path> found;
  const fs::path corpus(REWINDOR_CORPUS_DIR);
  for (const fs::path& dir : {corpus, corpus / "public-servers"}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& file : fs::directory_iterator(dir)) {
      if (file.path().extension() != ".dem") continue;
      const Bytes d = ReadFile(file.path());
      const std::size_t dir0 = d.size() > 544 ? static_cast<std::uint32_t>(I32(d, 540)) : 0;
      if (dir0 >= 544 && dir0 + 4 <= d.size() && I32(d, dir0) == 2 && dir0 + 4 + 184 == d.size()) {
        found.push_back(file.path());
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(Repair, RealRecordingsCutInsidePlayback) {
  const std::vector<fs::path> demos = RealRecordings();
  if (demos.empty()) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  for (const fs::path& path : demos) {
    SCOPED_TRACE(path.filename().string());
    const Bytes original = ReadFile(path);
    const std::size_t dir = static_cast<std::size_t>(I32(original, 540)) + 4;  // the entries
    const std::size_t loadingLength = static_cast<std::size_t>(I32(original, dir + 88));
    const std::size_t playback = static_cast<std::size_t>(I32(original, dir + 92 + 84));
    const std::vector<PlainFrame> frames = PlainWalk(original, playback, original.size());
    ASSERT_EQ(frames.back().type, 5);

    // As the game wrote it: finished, nothing to repair, not a byte changed.
    {
      Bytes image = original;
      RepairReport report;
      EditResult r = RepairDemo(image, report);
      EXPECT_TRUE(!r.refused && r.changes == 0 && r.appended.empty() && !report.repaired);
      EXPECT_EQ(image, original);
      EXPECT_EQ(U32(original, dir + 92 + 76), [&] {
        const float t = static_cast<float>(report.duration);
        std::uint32_t bits;
        std::memcpy(&bits, &t, 4);
        return bits;
      }());
    }

    // Only byte 540 lost: the game's own directory comes back, but for the CD
    // track, which the repair writes as the game's client does.
    {
      Bytes image = original;
      StoreI32LE(&image[540], 0);
      RepairReport report;
      EditResult r = RepairDemo(image, report);
      Bytes expected = original;
      StoreI32LE(&expected[dir + 72], -1);
      StoreI32LE(&expected[dir + 92 + 72], -1);
      Bytes out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.writeLength));
      out.insert(out.end(), r.appended.begin(), r.appended.end());
      EXPECT_EQ(out, expected);
      EXPECT_EQ(report.bytesDropped, 188u);  // the old directory
    }

    const std::size_t n = frames.size() - 1;  // without the closing frame
    std::size_t first = 0;                      // just after the first network frame
    while (frames[first++].type != 1) {
    }
    for (std::size_t k : {first, n / 3, n / 2, n - 1, n}) {
      const PlainFrame& next = frames[k];  // the first frame not kept
      struct Cut {
        std::size_t at, zeros;
      };
      for (const Cut cut : {Cut{next.offset, 0}, Cut{next.offset, 5000}, Cut{next.offset + 1, 0},
                            Cut{next.offset + next.size - 1, 0}}) {
        SCOPED_TRACE(testing::Message() << "frame " << k << " cut at " << cut.at << " zeros " << cut.zeros);
        Bytes image(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut.at));
        image.resize(cut.at + cut.zeros, 0);
        StoreI32LE(&image[540], 0);
        const Bytes before = image;
        RepairReport report;
        EditResult r = RepairDemo(image, report);
        ASSERT_FALSE(r.refused) << r.refusal;
        Bytes out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.writeLength));
        out.insert(out.end(), r.appended.begin(), r.appended.end());

        // Every whole frame before the cut, byte for byte; then the closing frame.
        const std::size_t kept = next.offset;
        const PlainFrame& last = frames[k - 1];
        ASSERT_EQ(out.size(), kept + 9 + 4 + 2 * 92);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + 540, before.begin()));
        EXPECT_TRUE(
            std::equal(out.begin() + 544, out.begin() + static_cast<std::ptrdiff_t>(kept), before.begin() + 544));
        EXPECT_EQ(out[kept], 5);
        EXPECT_EQ(U32(out, kept + 1), last.timeBits);
        EXPECT_EQ(I32(out, kept + 5), last.number + 1);

        // The directory, at byte 540, and the segments it names walk exactly.
        const std::size_t d = static_cast<std::size_t>(I32(out, 540));
        ASSERT_EQ(d, kept + 9);
        EXPECT_EQ(I32(out, d), 2);
        std::int32_t netFrames = 0;
        for (std::size_t i = 0; i < k; ++i) netFrames += frames[i].type == 1;
        struct Entry {
          std::int32_t type;
          const char* title;
          std::uint32_t timeBits;
          std::int32_t frames;
          std::size_t offset, length;
        };
        const Entry entries[] = {{0, "LOADING", 0, 0, 544, loadingLength},
                                 {1, "Playback", last.timeBits, netFrames, playback, kept + 9 - playback}};
        for (std::size_t e = 0; e < 2; ++e) {
          const std::size_t at = d + 4 + e * 92;
          EXPECT_EQ(I32(out, at), entries[e].type);
          EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[at + 4])), entries[e].title);
          EXPECT_EQ(I32(out, at + 68), 0);   // flags
          EXPECT_EQ(I32(out, at + 72), -1);  // CD track
          EXPECT_EQ(U32(out, at + 76), entries[e].timeBits);
          EXPECT_EQ(I32(out, at + 80), entries[e].frames);
          EXPECT_EQ(static_cast<std::size_t>(I32(out, at + 84)), entries[e].offset);
          ASSERT_EQ(static_cast<std::size_t>(I32(out, at + 88)), entries[e].length);
          const std::vector<PlainFrame> walked =
              PlainWalk(out, entries[e].offset, entries[e].offset + entries[e].length);
          ASSERT_FALSE(walked.empty());
          EXPECT_EQ(walked.back().type, 5);
          EXPECT_EQ(walked.back().offset + walked.back().size, entries[e].offset + entries[e].length);
        }
        float time;
        std::memcpy(&time, &last.timeBits, 4);
        EXPECT_EQ(report.duration, time);
        EXPECT_EQ(report.frames, netFrames);
        EXPECT_EQ(report.bytesDropped, cut.at + cut.zeros - kept);
        EXPECT_EQ(RepairResultText(report).rfind("Демка починена! Время: " + PlayingTimeText(time), 0), 0u);

        // The repaired demo is finished: a second repair changes nothing.
        RepairReport again;
        r = RepairDemo(out, again);
        EXPECT_FALSE(r.refused || again.repaired || r.changes > 0);
        EXPECT_EQ(again.duration, time);
        EXPECT_EQ(again.frames, netFrames);
      }
    }
  }
}

// Checks that `info` and the repair agree on `image` (which the repair may
// change): the playing time and frames, and a repaired demo reads as finished
// with the same. A refusal for want of game frames leaves `info` none either.
void ExpectAgreement(MutableByteView image, const std::string& what) {
  const DemoFacts facts = ReadDemoFacts(image);
  RepairReport report;
  const EditResult r = RepairDemo(image, report);
  if (r.refused) {
    if (r.refusal != text::kRepairNotADemo) {
      EXPECT_TRUE(!facts.frames || *facts.frames == 0) << what;
    }
    EXPECT_FALSE(facts.finished) << what;
    return;
  }
  EXPECT_EQ(facts.finished, !report.repaired) << what;
  EXPECT_EQ(facts.duration, std::optional<double>(report.duration)) << what;
  EXPECT_EQ(facts.frames, report.frames) << what;
  EXPECT_EQ(report.mendedTimes, 0u) << what << ": no real demo has a damaged time";
  if (!report.repaired) return;
  Bytes out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.writeLength));
  out.insert(out.end(), r.appended.begin(), r.appended.end());
  const DemoFacts repaired = ReadDemoFacts(out);
  EXPECT_TRUE(repaired.finished) << what;
  EXPECT_EQ(repaired.duration, facts.duration) << what;
  EXPECT_EQ(repaired.frames, facts.frames) << what;
}

// Every real recording as it is, and one cut at every frame boundary as a
// killed game leaves it (0 at byte 540).
TEST(Repair, InfoAndRepairAgreeOnRealDemos) {
  const fs::path corpus(REWINDOR_CORPUS_DIR);
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  for (const auto& file : fs::recursive_directory_iterator(corpus)) {
    if (file.path().extension() != ".dem") continue;
    Bytes image = ReadFile(file.path());
    ExpectAgreement(image, file.path().filename().string());
  }
  Bytes demo = ReadFile(corpus / "hl-singleplayer-c1a0.dem");
  std::vector<std::size_t> ends;
  WalkDemo(demo, [&](std::size_t, const Frame& f) { ends.push_back(f.end()); });
  ASSERT_GT(ends.size(), 900u);
  StoreI32LE(&demo[kDirectoryOffsetOffset], 0);
  for (std::size_t end : ends) {
    ExpectAgreement(MutableByteView(demo).first(end), "c1a0 cut at " + std::to_string(end));
    StoreI32LE(&demo[kDirectoryOffsetOffset], 0);  // as the repair found it
  }
}

// Moves the Playback frames from `from` on (the closing frame too) `seconds`
// later, and the Playback entry's track time with them when `entries` (where
// the directory's entries begin) is given: a demo with that silence in it, as
// the game would have finished it.
void Pause(Bytes& d, const std::vector<PlainFrame>& frames, std::size_t from, float seconds,
           std::size_t entries = 0) {
  for (std::size_t i = from; i < frames.size(); ++i) {
    StoreF32LE(&d[frames[i].offset + 1], LoadF32LE(&d[frames[i].offset + 1]) + seconds);
  }
  const auto closing = std::find_if(frames.begin(), frames.end(), [](const PlainFrame& f) { return f.type == 5; });
  if (entries) std::memcpy(&d[entries + 92 + 76], &d[closing->offset + 1], 4);
}

// Pauses in real recordings: the directory vouches for any pause in a finished
// demo, and the bounds keep the closing frame and a cut demo's last whole
// frame after a pause of over a minute, as they keep any frame the next one
// carries on from.
TEST(Repair, PausesInRealRecordings) {
  const std::vector<fs::path> demos = RealRecordings();
  if (demos.empty()) GTEST_SKIP() << "no corpus at " << REWINDOR_CORPUS_DIR;
  for (const fs::path& path : demos) {
    SCOPED_TRACE(path.filename().string());
    const Bytes original = ReadFile(path);
    const std::size_t entries = static_cast<std::size_t>(I32(original, 540)) + 4;
    const std::size_t playback = static_cast<std::size_t>(I32(original, entries + 92 + 84));
    const std::vector<PlainFrame> frames = PlainWalk(original, playback, original.size());
    const std::size_t n = frames.size() - 1;  // the closing frame
    ASSERT_EQ(frames[n].type, 5);
    auto timeAt = [](const Bytes& d, const PlainFrame& f) { return double{LoadF32LE(&d[f.offset + 1])}; };

    struct Case {
      const char* what;
      std::size_t from;  // the first frame moved
      float seconds;
    };
    for (const Case c : {Case{"over an hour in the middle", n / 2, 3700}, Case{"closing frame", n, 60.02f}}) {
      SCOPED_TRACE(c.what);
      Bytes image = original;
      Pause(image, frames, c.from, c.seconds, entries);
      const double end = timeAt(image, frames[n]);
      const DemoFacts facts = ReadDemoFacts(image);
      EXPECT_TRUE(facts.finished);
      EXPECT_EQ(facts.duration, end);
      EXPECT_EQ(facts.frames, I32(original, entries + 92 + 80));
      const Bytes paused = image;
      ExpectAgreement(image, c.what);
      EXPECT_EQ(image, paused) << "a finished demo is left alone";
      if (c.from != n) continue;
      // Without its directory the bounds judge, and keep the closing frame.
      StoreI32LE(&image[540], 0);
      EXPECT_EQ(ReadDemoFacts(image).duration, end);
      ExpectAgreement(image, "closing frame without the directory");
    }
    // Cut right after the frame the pause comes before, and one frame later.
    for (std::size_t last : {n / 2, n / 2 + 1}) {
      Bytes image = original;
      Pause(image, frames, n / 2, 61);
      image.resize(frames[last].offset + frames[last].size);
      StoreI32LE(&image[540], 0);
      EXPECT_EQ(ReadDemoFacts(image).duration, timeAt(image, frames[last])) << last;
      ExpectAgreement(image, "cut after a pause");
    }
  }
}

// A built demo without its directory: loading, then two seconds of play.
b::Built Unfinished() {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::Print("loading")}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 2});
  demo.damage.noDirectory = true;
  demo.damage.directoryOffset = 0;
  return b::Build(demo);
}

TEST(Repair, RefusesWhatCannotBePlayedAndChangesNothing) {
  const b::Built built = Unfinished();
  const b::SegmentRecord& loading = built.layout.segments[0];
  const b::SegmentRecord& playback = built.layout.segments[1];
  const std::uint64_t firstNet = [&] {
    for (const b::FrameRecord& f : built.layout.frames) {
      if (f.segment == 1 && f.type == kFrameNetMsg) return f.offset;
    }
    return std::uint64_t{0};
  }();
  ASSERT_GT(firstNet, playback.offset);
  auto cut = [&](std::uint64_t at) {
    return Bytes(built.bytes.begin(), built.bytes.begin() + static_cast<std::ptrdiff_t>(at));
  };
  Bytes oldLayout = built.bytes;
  StoreI32LE(&oldLayout[kDemoProtocolOffset], 4);  // a 1998 demo: another header
  Bytes wrongMagic = built.bytes;
  wrongMagic[2] = 'B';
  const std::string textFile(2000, 'x');
  struct Case {
    const char* what;
    Bytes image;
    std::string_view refusal;
  };
  const Case cases[] = {
      {"cut inside LOADING", cut(loading.offset + loading.length / 2), text::kRepairCutInLoading},
      {"cut before LOADING's closing frame", cut(loading.offset + loading.length - 1), text::kRepairCutInLoading},
      {"cut right after LOADING", cut(playback.offset), text::kRepairNoGame},
      {"cut before the first network frame", cut(firstNet), text::kRepairNoGame},
      {"a header only", cut(kHeaderSize), text::kRepairCutInLoading},
      {"half a header", cut(100), text::kRepairCutInLoading},
      {"demo protocol 4", oldLayout, text::kRepairNotADemo},
      {"no signature", wrongMagic, text::kRepairNotADemo},
      {"a text file", Bytes(textFile.begin(), textFile.end()), text::kRepairNotADemo},
  };
  for (const Case& c : cases) {
    Bytes image = c.image;
    RepairReport report;
    report.frames = 7;
    EditResult r = RepairDemo(image, report);
    EXPECT_TRUE(r.refused) << c.what;
    EXPECT_EQ(r.refusal, c.refusal) << c.what;
    EXPECT_EQ(image, c.image) << c.what;
    EXPECT_EQ(report.frames, 7) << c.what;  // untouched
  }
}

// Bytes after the last whole frame that happen to walk as frames end
// Playback when they are a type-0 frame or their time or number does not
// follow the frames before: the repair drops them and takes its time from the
// game's last frame, as `info` does.
TEST(Repair, TailThatWalksButIsNotTheGame) {
  const b::Built built = Unfinished();
  const b::SegmentRecord& playback = built.layout.segments[1];
  const auto end = static_cast<std::size_t>(playback.offset + playback.length - kFrameHeaderSize);  // before closing
  auto header = [](std::uint8_t type, float time, std::int32_t number) {
    Bytes frame(kFrameHeaderSize, 0);
    frame[0] = type;
    StoreF32LE(&frame[1], time);
    StoreI32LE(&frame[5], number);
    return frame;
  };
  Bytes clientData(kFrameHeaderSize + kClientDataSize, 0);
  clientData[0] = kFrameClientData;  // at time 0, earlier than the game's last frame
  Bytes loadingFrame(kFrameHeaderSize + kNetMsgFixedSize + kNetMsgLengthSize, 0);  // type 0
  StoreU32LE(&loadingFrame[1], 0x7F000000);  // at a time far later
  const std::int32_t number = static_cast<std::int32_t>(playback.netFrames);
  const Bytes tails[] = {clientData,
                         loadingFrame,
                         header(kFrameDemoStart, 1e30f, number),
                         header(kFrameNextSection, 1e30f, number),
                         header(kFrameNextSection, 4e37f, number),
                         header(kFrameDemoStart, playback.lastTime, 0x7F000000)};
  for (const Bytes& tail : tails) {
    Bytes image(built.bytes.begin(), built.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    image.insert(image.end(), tail.begin(), tail.end());
    const DemoFacts facts = ReadDemoFacts(image);
    RepairReport report;
    EditResult r = RepairDemo(image, report);
    ASSERT_FALSE(r.refused);
    EXPECT_EQ(r.writeLength, end);
    EXPECT_EQ(report.bytesDropped, tail.size());
    EXPECT_EQ(report.frames, playback.netFrames);
    EXPECT_EQ(report.duration, playback.lastTime);
    EXPECT_EQ(facts.duration, report.duration);
    EXPECT_EQ(facts.frames, report.frames);
  }
}

// One damaged time (or number) in the middle of Playback, that the frames
// after it carry on without, no longer ends it: the frame is kept with the
// time and number of the frame before it, every later frame stays, the result
// says so, and `info` counts the same.
TEST(Repair, OneDamagedTimeIsMendedNotTheEnd) {
  const b::Built built = Unfinished();
  std::vector<b::FrameRecord> net;
  std::size_t before = 0;  // the frame before the damaged one, of any type
  for (const b::FrameRecord& f : built.layout.frames) {
    if (f.segment == 1 && f.type == kFrameNetMsg) net.push_back(f);
  }
  const auto hit = static_cast<std::size_t>(net[net.size() / 3].offset);
  for (std::size_t i = 0; built.layout.frames[i].offset != hit; ++i) {
    before = static_cast<std::size_t>(built.layout.frames[i].offset);
  }
  const std::size_t cut = static_cast<std::size_t>(net[net.size() * 4 / 5].offset);  // 80% in
  const std::uint32_t timeBits = LoadU32LE(&built.bytes[hit + 1]);
  struct Case {
    const char* what;
    std::size_t at;  // 1: the time, 5: the number
    std::uint32_t value;
  };
  const Case cases[] = {
      {"not a number", 1, 0x7FC00000},
      {"a second lower", 1, [&] {
         std::uint8_t b[4];
         StoreF32LE(b, LoadF32LE(&built.bytes[hit + 1]) - 1);
         return LoadU32LE(b);
       }()},
      {"a flipped exponent bit", 1, timeBits ^ 0x40000000},
      {"1e30", 1, 0x7149F2CA},
      {"a flipped number bit", 5, LoadU32LE(&built.bytes[hit + 5]) ^ 0x00400000},
  };
  for (const Case& c : cases) {
    Bytes image(built.bytes.begin(), built.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    StoreU32LE(&image[hit + c.at], c.value);
    const DemoFacts facts = ReadDemoFacts(image);
    RepairReport report;
    EditResult r = RepairDemo(image, report);
    ASSERT_FALSE(r.refused) << c.what;
    EXPECT_EQ(r.writeLength, cut) << c.what;
    EXPECT_EQ(report.frames, static_cast<std::int64_t>(net.size() * 4 / 5)) << c.what;
    EXPECT_EQ(report.mendedTimes, 1u) << c.what;
    EXPECT_EQ(facts.frames, report.frames) << c.what;
    EXPECT_EQ(facts.duration, report.duration) << c.what;
    EXPECT_NE(RepairResultText(report).find(" Исправлено времён кадров: 1."), std::string::npos) << c.what;
    // The mended frame has its neighbour's time and number; nothing else changed.
    Bytes out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.writeLength));
    out.insert(out.end(), r.appended.begin(), r.appended.end());
    EXPECT_EQ(LoadU32LE(&out[hit + 1]), LoadU32LE(&built.bytes[before + 1])) << c.what;
    EXPECT_EQ(LoadU32LE(&out[hit + 5]), LoadU32LE(&built.bytes[before + 5])) << c.what;
    EXPECT_TRUE(std::equal(out.begin() + kHeaderSize, out.begin() + static_cast<std::ptrdiff_t>(hit),
                           built.bytes.begin() + kHeaderSize));
    const std::size_t after = hit + kFrameHeaderSize;
    EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(after),
                           out.begin() + static_cast<std::ptrdiff_t>(cut),
                           built.bytes.begin() + static_cast<std::ptrdiff_t>(after)));
    RepairReport again;
    EXPECT_EQ(RepairDemo(out, again).changes, 0u) << c.what;
    EXPECT_EQ(again.frames, report.frames) << c.what;
    EXPECT_TRUE(ReadDemoFacts(out).finished) << c.what;
  }
}

// A directory that does not describe the frames is rebuilt like a missing
// one; the game's closing frame stays, nothing of the game is dropped, and the
// CD track of the old entries is kept (the HLTV proxy writes 0).
TEST(Repair, DamagedDirectoryIsRebuilt) {
  for (const DirectoryDamage& c : DirectoryDamages()) {
    b::Demo demo;
    demo.loading().items.push_back(b::LoadingFrame({b::Print("loading")}));
    demo.playback().items.push_back(b::Gameplay{.seconds = 1});
    demo.damage.editEntries = [&](std::vector<b::DirectoryEntry>& entries) {
      for (b::DirectoryEntry& e : entries) e.cdTrack = 0;
      c.edit(entries);
    };
    demo.damage.entryCount = c.count;
    const b::Built built = b::Build(demo);
    const b::SegmentRecord& playback = built.layout.segments[1];
    Bytes image = built.bytes;
    RepairReport report;
    EditResult r = RepairDemo(image, report);
    ASSERT_TRUE(report.repaired) << c.what;
    EXPECT_EQ(r.writeLength, playback.offset + playback.length) << c.what;  // through the game's own closing frame
    EXPECT_EQ(r.appended.size(), 4 + 2 * kDirectoryEntrySize) << c.what;    // no second closing frame
    EXPECT_EQ(report.bytesDropped, built.bytes.size() - r.writeLength) << c.what;  // the old directory
    EXPECT_EQ(report.frames, playback.netFrames) << c.what;
    Bytes out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.writeLength));
    out.insert(out.end(), r.appended.begin(), r.appended.end());
    const std::optional<Directory> rebuilt = ReadDirectory(out);
    ASSERT_TRUE(rebuilt && rebuilt->entries.size() == 2) << c.what;
    EXPECT_EQ(rebuilt->entries[0].cdTrack, 0) << c.what;
    EXPECT_EQ(rebuilt->entries[1].cdTrack, 0) << c.what;
    RepairReport again;
    EXPECT_EQ(RepairDemo(out, again).changes, 0u) << c.what;
    EXPECT_FALSE(again.repaired) << c.what;
  }
}

TEST(Repair, PlayingTime) {
  const std::pair<double, const char*> cases[] = {{0, "0:00"},   {7.99, "0:07"},    {65.4, "1:05"},
                                                  {3600, "60:00"}, {-1, "0:00"}, {1e300, "0:00"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(PlayingTimeText(seconds), text) << seconds;
}

}  // namespace
}  // namespace rewindor
