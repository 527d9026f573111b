// The frame walker: every frame of a built demo once, with and without its
// directory, and a clean end at bytes that are not a whole frame.
#include "demo/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

b::Demo Small() {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::Print("hello")}));
  demo.loading().items.push_back(b::LoadingFrame({b::Print("world")}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 1});
  return demo;
}

std::vector<std::size_t> Walked(ByteView image, DemoWalk* walk = nullptr) {
  std::vector<std::size_t> offsets;
  DemoWalk w = WalkDemo(image, [&](std::size_t, const Frame& f) { offsets.push_back(f.offset); });
  if (walk) *walk = w;
  return offsets;
}

TEST(FrameWalker, EveryFrameOnceWithOrWithoutDirectory) {
  for (bool directory : {true, false}) {
    b::Demo demo = Small();
    demo.damage.noDirectory = !directory;
    const b::Built built = b::Build(demo);
    std::vector<std::size_t> expected;
    for (const b::FrameRecord& f : built.layout.frames) expected.push_back(static_cast<std::size_t>(f.offset));
    DemoWalk walk;
    EXPECT_EQ(Walked(built.bytes, &walk), expected) << directory;
    EXPECT_EQ(walk.directory.has_value(), directory);
    ASSERT_EQ(walk.segments.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      const b::SegmentRecord& want = built.layout.segments[i];
      EXPECT_EQ(walk.segments[i].begin, want.offset);
      EXPECT_EQ(walk.segments[i].end, want.offset + want.length);
      EXPECT_TRUE(walk.segments[i].closed);
      EXPECT_EQ(walk.segments[i].networkFrames, i == 0 ? 0u : want.netFrames);
      EXPECT_EQ(walk.segments[i].last.time, want.lastTime);
    }
  }
}

// The directory takes no part in the walk: 1,024 entries that each start at
// another of a long run of closing frames and run to the directory (once
// quadratic to check) are read as damage, each frame once.
TEST(FrameWalker, HostileDirectoryWalksEachFrameOnce) {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::Print("hello")}));
  demo.playback().items.assign(2 * kMaxDirectoryEntries + 1, b::Item(b::NextSectionFrame()));
  demo.playback().items.front() = b::NetFrame({b::Print("play")});
  const b::Built plain = b::Build(demo);
  const std::vector<b::FrameRecord>& frames = plain.layout.frames;
  const std::size_t firstClosing = static_cast<std::size_t>(
      std::find_if(frames.begin(), frames.end(), [](const b::FrameRecord& f) {
        return f.segment == 1 && f.type == kFrameNextSection;
      }) - frames.begin());
  demo.damage.editEntries = [&](std::vector<b::DirectoryEntry>& entries) {
    const std::int32_t directory = entries[1].offset + entries[1].length;
    for (int i = 0; i < kMaxDirectoryEntries - 2; ++i) {
      b::DirectoryEntry e = entries[1];
      e.offset = static_cast<std::int32_t>(frames[firstClosing + static_cast<std::size_t>(i)].offset);
      e.length = directory - e.offset;
      entries.push_back(e);
    }
  };
  const b::Built built = b::Build(demo);
  DemoWalk walk;
  // The closing frames after the first are part of Playback, not frames of their own.
  EXPECT_EQ(Walked(built.bytes, &walk).size(), firstClosing + 1);
  ASSERT_EQ(walk.segments.size(), 2u);
  EXPECT_EQ(walk.segments[1].end, *built.layout.directoryOffset);
  EXPECT_EQ(walk.directory->entries.size(), static_cast<std::size_t>(kMaxDirectoryEntries));
  EXPECT_FALSE(walk.finished);
  EXPECT_TRUE(WalkDemo(plain.bytes, [](std::size_t, const Frame&) {}).finished) << "as the builder wrote it";
}

// The rule Playback runs by, frame by frame: a frame is judged with the one
// after it, against the last frame kept (time, number). The repair's tests
// show the damage it mends and the tails it drops in whole demos.
TEST(PlaybackRun, KeepsMendsOrEnds) {
  using V = PlaybackRun::Verdict;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Stamp {
    float time;
    std::int32_t number;
  };
  struct Case {
    const char* what;
    Stamp frame;
    std::optional<Stamp> next;
    V verdict;
  };
  // The last frame kept: 10 s, number 600.
  const Case cases[] = {
      {"the next tick", {10.016f, 601}, Stamp{10.032f, 602}, V::kKeep},
      {"same tick", {10, 600}, Stamp{10, 600}, V::kKeep},
      {"the last frame, a second later", {11, 660}, std::nullopt, V::kKeep},
      {"garbage tail: a number that does not carry on", {10.016f, 0x7F000000}, std::nullopt, V::kEnd},
      {"garbage tail: the frame after it follows neither", {1e30f, 601}, Stamp{5e29f, 9}, V::kEnd},
      {"not a number, the next carries on", {nan, 601}, Stamp{10.032f, 602}, V::kMend},
      {"half a second ahead, the next carries on without it", {10.516f, 601}, Stamp{10.032f, 602}, V::kMend},
      {"a pause of ten minutes, the next carries on from it", {610, 60600}, Stamp{610.016f, 60601}, V::kKeep},
      {"a cut after a pause of ten minutes, the number carries on", {610, 601}, std::nullopt, V::kKeep},
      {"a cut after a pause of ten minutes, the number far on", {610, 60601}, std::nullopt, V::kEnd},
      {"a cut after a pause of over an hour", {3611, 601}, std::nullopt, V::kEnd},
      {"more frames than a pause can hold", {610, 900000}, Stamp{610.016f, 900001}, V::kEnd},
  };
  for (const Case& c : cases) {
    PlaybackRun run;
    Frame last;
    last.time = 10;
    last.number = 600;
    ASSERT_EQ(run.Judge(last, std::nullopt), V::kKeep);
    Frame frame;
    frame.time = c.frame.time;
    frame.number = c.frame.number;
    std::optional<Frame> next;
    if (c.next) {
      next.emplace();
      next->time = c.next->time;
      next->number = c.next->number;
    }
    EXPECT_EQ(run.Judge(frame, next), c.verdict) << c.what;
    EXPECT_EQ(run.last().number, c.verdict == V::kKeep ? c.frame.number : 600) << c.what;
  }
  // The closing frame has no frame after it: it gets the pause any frame the
  // next one carries on from gets.
  for (const auto& [seconds, verdict] : {std::pair{70.0f, V::kKeep}, std::pair{3611.0f, V::kEnd}}) {
    PlaybackRun run;
    Frame last, closing;
    last.time = 10;
    last.number = 600;
    closing.type = kFrameNextSection;
    closing.time = 10 + seconds;
    closing.number = 70600;
    ASSERT_EQ(run.Judge(last, std::nullopt), V::kKeep);
    EXPECT_EQ(run.Judge(closing, std::nullopt), verdict) << seconds;
  }
  // Playback's first frame has nothing before it: its clock may start late.
  PlaybackRun fresh;
  Frame first, second;
  first.time = 7200, first.number = 720000;
  second.time = 7200.5f, second.number = 720001;
  EXPECT_EQ(fresh.Judge(first, second), V::kKeep);
  EXPECT_EQ(PlaybackRun().Judge(first, std::nullopt), V::kEnd);
}

TEST(FrameWalker, EndsCleanlyAtBrokenFrames) {
  const b::Built built = b::Build(Small());
  // The first playback network frame, broken in each of the ways a length can lie.
  const b::FrameRecord* net = nullptr;
  for (const b::FrameRecord& f : built.layout.frames) {
    if (f.segment == 1 && f.type == kFrameNetMsg) {
      net = &f;
      break;
    }
  }
  ASSERT_NE(net, nullptr);
  const auto netAt = static_cast<std::size_t>(net->offset);
  const std::size_t lengthAt = netAt + kFrameHeaderSize + kNetMsgFixedSize;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  for (const Case& c : {Case{"unknown type", netAt, 10}, Case{"over the engine's limit", lengthAt, 65537},
                        Case{"past the end", lengthAt, 0x7FFFFFF0}, Case{"negative", lengthAt, 0xFFFFFFFF}}) {
    Bytes image = built.bytes;
    if (c.at == netAt) {
      image[c.at] = static_cast<std::uint8_t>(c.value);
    } else {
      StoreU32LE(&image[c.at], c.value);
    }
    DemoWalk walk;
    Walked(image, &walk);
    ASSERT_EQ(walk.segments.size(), 2u) << c.what;
    EXPECT_FALSE(walk.segments[1].closed) << c.what;
    EXPECT_EQ(walk.segments[1].end, netAt) << c.what;
  }
  // A cut file: the walk keeps the whole frames before the cut.
  for (std::size_t cut : {netAt + 1, netAt + net->size - 1}) {
    DemoWalk walk;
    Walked(ByteView(built.bytes).first(cut), &walk);
    ASSERT_FALSE(walk.directory);
    ASSERT_EQ(walk.segments.size(), 2u);
    EXPECT_EQ(walk.segments[1].end, netAt);
  }
}

TEST(FrameWalker, SoundAndBufferLengths) {
  // A sound frame's sample and a demo buffer's length must fit; negative ones never do.
  for (std::int32_t length : {-1, -0x7FFFFFFF, 1000}) {
    for (std::uint8_t type : {kFrameSound, kFrameDemoBuffer}) {
      Bytes frame(kFrameHeaderSize + 24, 0);
      frame[0] = type;
      StoreI32LE(&frame[kFrameHeaderSize + (type == kFrameSound ? 4 : 0)], length);
      EXPECT_FALSE(ReadFrame(frame, 0, frame.size())) << int{type} << " " << length;
    }
  }
}

}  // namespace
}  // namespace rewindor
