// DetectResolution: the frames' viewport where frames can be walked,
// otherwise size records only when one size clearly dominates.
#include "demo/resolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "demo/demo_format.h"
#include "demo/edits.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

b::Demo Played(b::Viewport viewport) {
  b::Demo demo;
  demo.viewport = viewport;
  demo.playback().items.push_back(b::Gameplay{.seconds = 2, .hltv = viewport.width == 0});
  return demo;
}

// Appends `n` size records of w x h, each with its height's upper half, inside raw messages.
void AddRecords(b::Demo& demo, std::uint32_t w, std::uint32_t h, int n) {
  for (int i = 0; i < n; ++i) {
    auto record = SizeRecord(w, h);
    Bytes bytes(record.begin(), record.end());
    bytes.insert(bytes.end(), {0, 0, 0x33});
    demo.playback().items.push_back(b::NetFrame({bytes}));
  }
}

TEST(DetectResolution, WalkedFramesDecide) {
  EXPECT_EQ(DetectResolution(b::Build(Played({0, 0, 640, 480})).bytes), (Resolution{640, 480}));
  // The most frequent viewport wins over others and over any size records.
  b::Demo demo = Played({0, 0, 1024, 768});
  for (int i = 0; i < 5; ++i) {
    b::Frame frame = b::NetFrame({b::Print("x")});
    frame.viewport = b::Viewport{0, 0, 800, 600};
    demo.playback().items.push_back(frame);
  }
  AddRecords(demo, 1280, 960, 300);
  EXPECT_EQ(DetectResolution(b::Build(demo).bytes), (Resolution{1024, 768}));
  // HLTV: the frames record no viewport, and plausible records elsewhere do not count.
  demo = Played({0, 0, 0, 0});
  AddRecords(demo, 1280, 960, 30);
  EXPECT_EQ(DetectResolution(b::Build(demo).bytes), std::nullopt);
  // Viewports that do not start at 0,0 are not screen sizes.
  EXPECT_EQ(DetectResolution(b::Build(Played({4, 0, 640, 480})).bytes), std::nullopt);
  // An invalid frame ends its segment: what follows it, here the bytes of a
  // network frame recording 800x600, is not read as frames.
  Bytes fake(kFrameHeaderSize + kNetMsgFixedSize + kNetMsgLengthSize, 0);
  fake[0] = kFrameNetMsg;
  StoreI32LE(&fake[kFrameHeaderSize + kRefParamsOffset + kViewportInRefParams + 8], 800);
  StoreI32LE(&fake[kFrameHeaderSize + kRefParamsOffset + kViewportInRefParams + 12], 600);
  for (auto [viewport, found] : {std::pair{b::Viewport{0, 0, 640, 480}, std::optional(Resolution{640, 480})},
                                 {b::Viewport{}, std::nullopt}}) {
    demo = Played(viewport);
    b::Frame bad;
    bad.type = 10;
    bad.payload = fake;
    demo.loading().items.push_back(bad);
    EXPECT_EQ(DetectResolution(b::Build(demo).bytes), found);
  }
}

TEST(DetectResolution, WithoutWalkableFramesOnlyADominantPlausibleRecordCounts) {
  // A demo the game never finished has no directory, but its frames still walk.
  b::Demo unfinished = Played({0, 0, 640, 480});
  unfinished.damage.noDirectory = true;
  EXPECT_EQ(DetectResolution(b::Build(unfinished).bytes), (Resolution{640, 480}));
  // Where not one frame walks, the size records decide.
  auto detect = [](b::Demo demo) {
    demo.damage.noDirectory = true;
    Bytes image = b::Build(demo).bytes;
    image[kHeaderSize] = 0xEE;  // no frame type
    return DetectResolution(image);
  };
  // Halves of floats and tiny sizes are not screen sizes, however frequent.
  b::Demo demo = Played({0, 0, 0, 0});
  AddRecords(demo, 17132, 17080, 50);
  AddRecords(demo, 32, 1, 50);
  EXPECT_EQ(detect(demo), std::nullopt);
  AddRecords(demo, 800, 600, 20);
  EXPECT_EQ(detect(demo), (Resolution{800, 600}));
  // Two sizes about as frequent: no answer.
  AddRecords(demo, 1024, 768, 15);
  EXPECT_EQ(detect(demo), std::nullopt);
  // A few records are not enough.
  demo = Played({0, 0, 0, 0});
  AddRecords(demo, 800, 600, 3);
  EXPECT_EQ(detect(demo), std::nullopt);
}

TEST(DetectResolution, EverySizeRecordCountsWhereverItLies) {
  // Exactly the eight records the fallback needs, at every alignment, among
  // zero bytes and among others, the last one ending with the file: missing
  // any one of them leaves no answer. The sizes are the plausible extremes.
  auto planted = [](Resolution size, std::uint8_t fill, std::size_t shift) {
    Bytes image(2000 + shift, fill);
    image[kHeaderSize] = 0xEE;  // no frame walks
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < 7; ++i) starts.push_back(600 + shift + i * 97);
    starts.push_back(image.size() - 16);
    for (std::size_t start : starts) {
      auto record = SizeRecord(size.width, size.height);
      std::copy(record.begin(), record.end(), image.begin() + static_cast<std::ptrdiff_t>(start));
      image[start + 14] = image[start + 15] = 0;
    }
    return image;
  };
  for (Resolution size : {Resolution{kMinPlausibleWidth, kMaxPlausibleHeight},
                          Resolution{kMaxPlausibleWidth, kMinPlausibleHeight}}) {
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xAA}}) {
      for (std::size_t shift = 0; shift < 40; ++shift) {
        EXPECT_EQ(DetectResolution(planted(size, fill, shift)), size) << size.width << " " << int{fill} << " " << shift;
      }
    }
  }
}

TEST(DetectResolution, DamagedInputNeverReadsOutside) {
  Bytes image = b::Build(Played({0, 0, 640, 480})).bytes;
  for (std::size_t size : {0, 15, 16, 543, 544, 545}) {
    EXPECT_EQ(DetectResolution(ByteView(image).first(size)), std::nullopt) << size;
  }
  // Cut off after its first frames, a demo still tells its size.
  EXPECT_EQ(DetectResolution(ByteView(image).first(1500)), (Resolution{640, 480}));
}

TEST(DetectResolution, RealRecordings) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  // The three with a viewport; HLTV, the old layout and the crafted ones have none.
  const std::map<std::string, Resolution> viewports = {{"hl-singleplayer-c1a0.dem", {1278, 1414}},
                                                       {"cs-client-cs_assault.dem", {1440, 900}},
                                                       {"cs-listenserver-crossfire.dem", {1024, 768}}};
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    const std::string name = file.path().filename().string();
    if (file.path().extension() != ".dem") continue;
    std::ifstream in(file.path(), std::ios::binary);
    Bytes image((std::istreambuf_iterator<char>(in)), {});
    auto known = viewports.find(name);
    const std::optional<Resolution> expected =
        known == viewports.end() ? std::nullopt : std::optional(known->second);
    EXPECT_EQ(DetectResolution(image), expected) << name;
    // Without a directory the size records give the same answer.
    StoreI32LE(image.data() + kDirectoryOffsetOffset, 0);
    EXPECT_EQ(DetectResolution(image), expected) << name << " without directory";
  }
}

}  // namespace
}  // namespace rewindor
