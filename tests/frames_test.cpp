// The frame walker: every frame of a built demo once, with and without its
// directory, and a clean end at bytes that are not a whole frame.
#include "demo/frames.h"

#include <gtest/gtest.h>

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

// 1,024 entries that all name the same segment, or segments that overlap,
// take no part in the walk: each frame is walked once, and the demo is not
// finished.
TEST(FrameWalker, HostileDirectoryWalksEachFrameOnce) {
  b::Demo demo = Small();
  demo.damage.editEntries = [](std::vector<b::DirectoryEntry>& entries) {
    const b::DirectoryEntry playback = entries.back();
    entries.clear();
    for (int i = 0; i < kMaxDirectoryEntries; ++i) {
      b::DirectoryEntry e = playback;
      e.offset += (i % 2) * 7;  // every other one starts inside a frame
      e.length = 0x7FFFFFFF;
      entries.push_back(e);
    }
  };
  const b::Built built = b::Build(demo);
  DemoWalk walk;
  EXPECT_EQ(Walked(built.bytes, &walk).size(), built.layout.frames.size());
  EXPECT_TRUE(walk.directory.has_value());
  EXPECT_FALSE(walk.finished);
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
