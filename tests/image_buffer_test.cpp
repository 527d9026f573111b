// One buffer for a batch of reads: each demo is seen whole and alone, however
// the sizes before it ran, and the memory held follows the largest demo.
#include "demo/image_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "demo/demo_format.h"
#include "support/scratch.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

// An opened demo held in memory; it can be told to fail its size or its read.
class MemoryDemo final : public DemoFile {
 public:
  explicit MemoryDemo(Bytes bytes) : bytes_(std::move(bytes)) {}
  bool failSize = false;
  bool shortRead = false;

  bool Size(std::uint64_t& size) override {
    if (failSize) return false;
    size = bytes_.size();
    return true;
  }
  bool ReadAt(std::uint64_t offset, MutableByteView into) override {
    const std::size_t readable = bytes_.size() - (shortRead ? 1 : 0);
    const std::size_t n = offset >= readable ? 0 : std::min<std::size_t>(into.size(), readable - static_cast<std::size_t>(offset));
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, into.begin());
    return n == into.size();
  }
  std::unique_ptr<TempFile> CreateTemp() override { return nullptr; }
  bool ReplaceWith(TempFile&) override { return false; }

 private:
  Bytes bytes_;
};

Bytes Filled(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

TEST(ImageBuffer, EachReadSeesItsDemoWholeAndAloneAsSizesRiseAndFall) {
  ImageBuffer buffer;
  ByteView image;
  std::size_t largest = 0;
  std::uint8_t seed = 1;
  // Up, far down, up past the largest by one byte, and down again at the end.
  for (std::size_t size : {3000u, 200000u, 100u, 70000u, 200001u, 199999u, 5u}) {
    const Bytes bytes = Filled(size, seed++);
    MemoryDemo demo(bytes);
    ASSERT_EQ(buffer.Read(demo, image), ReadOutcome::kOk) << size;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin(), bytes.end())) << size;
    largest = std::max(largest, size);
    EXPECT_GE(buffer.capacity(), largest);
    EXPECT_LT(buffer.capacity(), largest + (64u << 10)) << "held more than the largest demo asks";
  }
}

TEST(ImageBuffer, AFailedReadLeavesTheLastImageAsItWas) {
  ImageBuffer buffer;
  MemoryDemo first(Filled(1000, 3));
  ByteView image;
  ASSERT_EQ(buffer.Read(first, image), ReadOutcome::kOk);
  const ByteView before = image;

  MemoryDemo empty{Bytes{}};
  EXPECT_EQ(buffer.Read(empty, image), ReadOutcome::kEmpty);
  MemoryDemo noSize(Filled(10, 1));
  noSize.failSize = true;
  EXPECT_EQ(buffer.Read(noSize, image), ReadOutcome::kSizeFailed);
  MemoryDemo cut(Filled(5000, 9));
  cut.shortRead = true;
  EXPECT_EQ(buffer.Read(cut, image), ReadOutcome::kShortRead);
  EXPECT_EQ(image.data(), before.data());
  EXPECT_EQ(image.size(), before.size());
}

// The tool reads a whole folder into one buffer. A demo that follows a larger
// one must not find that one's markers, names or frames in the bytes past its
// own end: its report is the one it gets when read alone.
TEST(ImageBuffer, ToolReportsOfAFolderEqualThoseOfEachDemoAlone) {
  builder::Demo large;
  large.loading().items.push_back(builder::LoadingFrame(
      {builder::BuildAnnouncement(4554), builder::ServerInfoMessage({.maxPlayers = 8, .slot = 1}),
       builder::UpdateUserInfoRaw(1, 2, "\\name\\Alpha")}));
  large.playback().items.push_back(builder::Gameplay{.seconds = 20, .playerInfoPerMinute = 30,
                                                     .players = {"Bravo", "Charlie"}});
  const Bytes big = builder::Build(large).bytes;
  const Bytes middle = builder::Build(builder::HltvSample()).bytes;
  // The last: the large demo's first part, as a crash leaves it (no directory).
  Bytes small(big.begin(), big.begin() + static_cast<std::ptrdiff_t>(std::min(middle.size() - 1, big.size() / 3)));
  StoreI32LE(small.data() + kDirectoryOffsetOffset, 0);
  ASSERT_LT(small.size(), middle.size());
  ASSERT_LT(middle.size(), big.size());

  ScratchFolder dir("rewindor-buffer");
  std::string alone;
  int n = 0;
  for (const Bytes* bytes : std::vector<const Bytes*>{&big, &middle, &big, &small}) {
    alone += RunTool({"info", "--json", dir.Write(std::to_string(n++) + ".dem", *bytes)}).out;
  }
  const ToolOutput folder = RunTool({"info", "--json", dir.Path()});
  EXPECT_EQ(folder.status, cli::kExitOk);
  EXPECT_EQ(folder.out, alone);
  EXPECT_NE(alone.find("\"hltv\": true"), std::string::npos);  // the cases differ where it matters
  EXPECT_NE(alone.find("\"finished\": false"), std::string::npos);
}

}  // namespace
}  // namespace rewindor
