// The four edit steps: byte examples, the trim on built demos, and the real
// recordings against a plain byte-by-byte rendering of each rule.
#include "demo/edits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "demo/messages.h"
#include "demo/resolution.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

// "62 00 30" -> bytes; 'text' -> its characters.
Bytes Hex(std::string_view s) {
  Bytes out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\'') {
      for (++i; s[i] != '\''; ++i) out.push_back(static_cast<std::uint8_t>(s[i]));
    } else if (s[i] != ' ') {
      out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(s.substr(i++, 2)), nullptr, 16)));
    }
  }
  return out;
}

Bytes Written(const EditResult& r, const Bytes& image) {
  auto from = image.begin() + static_cast<std::ptrdiff_t>(r.writeStart);
  return Bytes(from, from + static_cast<std::ptrdiff_t>(r.writeLength));
}

struct ByteCase {
  const char* name;
  EditResult (*step)(MutableByteView);
  std::string in, out;
  std::uint64_t count;
};
void PrintTo(const ByteCase& c, std::ostream* os) { *os << c.name; }

EditResult Fade(MutableByteView m) { return RemoveFadeToBlackStep(m); }
EditResult Chat(MutableByteView m) { return StripTeamChatStep(m); }
EditResult To800(MutableByteView m) { return ConvertResolutionStep(m, 640, 480, 800, 600); }
EditResult To800From66176(MutableByteView m) { return ConvertResolutionStep(m, 65536 + 640, 480, 800, 600); }

const std::string kFade = " 62 00 30 00 30 05 00 00 00 00 FF ", kNops = " 01 01 01 01 01 01 01 01 01 01 01 ";
const std::string k640 = " 00 00 00 00 00 00 00 00 80 02 00 00 E0 01 ",
                  k800 = " 00 00 00 00 00 00 00 00 20 03 00 00 58 02 ";
const std::string kTerr = " 4B 08 05 02 '(Terr' 00 ", kStripped = " 4A 08 02 00 00 00 00 00 00 00 ";

class ByteExamples : public ::testing::TestWithParam<ByteCase> {};
TEST_P(ByteExamples, Edit) {
  Bytes image = Hex(GetParam().in);
  const std::size_t size = image.size();
  EditResult r = GetParam().step(image);
  EXPECT_EQ(image, Hex(GetParam().out));
  EXPECT_EQ(r.changes, GetParam().count);
  EXPECT_TRUE(r.writeStart == 0 && r.writeLength == size && !r.cutFile && !r.refused);
}
INSTANTIATE_TEST_SUITE_P(
    Steps, ByteExamples,
    ::testing::Values(
        ByteCase{"FadeOnlyThePattern", Fade, kFade, kFade, 0},
        ByteCase{"FadeEndingAtLastByte", Fade, "AA" + kFade, "AA" + kFade, 0},
        ByteCase{"FadesBackToBack", Fade, kFade + kFade + "62", kNops + kNops + "62", 2},
        ByteCase{"ChatTeamThenOnAfterIt", Chat, kTerr + kTerr, kStripped + kStripped, 2},
        ByteCase{"ChatDeadWithoutTeam", Chat, "4B 08 01 02 '*DEAD*' AA", kStripped + "AA", 1},
        ByteCase{"ChatTextShorterThanFour", Chat, "4B 04 01 02 '(Ter' 00", "4B 04 01 02 '(Ter' 00", 0},
        ByteCase{"ChatTinyLengthsStepByOne", Chat, "4B 01 4B 00 4B 02" + kTerr,
                 "4B 01 4B 00 4B 02" + kStripped, 1},
        // A candidate that is not team chat hides what starts in its next four bytes, not five on.
        ByteCase{"ChatCandidateHidesFourOn", Chat, "4B 0C 01 02" + kTerr, "4B 0C 01 02" + kTerr, 0},
        ByteCase{"ChatFiveBytesOnIsFound", Chat, "4B 05 01 02 'x'" + kTerr, "4B 05 01 02 'x'" + kStripped, 1},
        ByteCase{"ChatRunningPastTheEnd", Chat, "AA 4B 08 05 02 '(Terr'", "AA 4B 08 05 02 '(Terr'", 0},
        ByteCase{"SizeRecordsOtherBytesAlone", To800, "11" + k640 + "22" + k640 + "44",
                 "11" + k800 + "22" + k800 + "44", 2},
        ByteCase{"SizeRecordEndingAtLastByte", To800, "11" + k640, "11" + k640, 0},
        ByteCase{"SizeWidthAbove16Bits", To800From66176, k640 + "44", k800 + "44", 1}),
    [](const ::testing::TestParamInfo<ByteCase>& p) { return std::string(p.param.name); });

TEST(SizeRecords, ZeroCurrentSizeIsRefusedAndNewSizesAreTwoLists) {
  Bytes image(64, 0);
  for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{0, 0}, {640, 0}, {65536, 480}}) {
    EditResult r = ConvertResolutionStep(image, w, h, 800, 600);
    EXPECT_TRUE(r.refused && r.refusal == text::kZeroCurrentResolution && image == Bytes(64, 0));
  }
  EXPECT_TRUE(IsAllowedNewResolution(1280, 300) && IsAllowedNewResolution(400, 960));
  EXPECT_FALSE(IsAllowedNewResolution(1280, 1024) || IsAllowedNewResolution(1366, 768));
}

// A client demo whose second loading frame starts with the build announcement,
// after a first frame of `filler` message bytes: the cut, 477 + filler,
// removes that first frame exactly.
b::Demo TrimmableDemo(std::size_t filler) {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({Bytes(filler, 0x01)}));
  demo.loading().items.push_back(b::LoadingFrame({{b::BuildAnnouncement(4554), "build"}}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 2,
                                              .fadesPerMinute = 60,
                                              .teamChatsPerMinute = 120,
                                              .allChatsPerMinute = 60,
                                              .players = {"Ann", "Bob"}});
  return demo;
}

TEST(Trim, KeepsTheHeaderLowersTheFieldsAndKeepsTheDataFromTheCut) {
  for (std::size_t filler : {0, 1000}) {
    b::Demo demo = TrimmableDemo(filler);
    // An earlier announcement does not count, and a third segment moves too.
    auto& first = std::get<b::Frame>(demo.loading().items[0]).messages;
    first.insert(first.begin(), b::BuildAnnouncement(2006));
    demo.segments.push_back(b::Segment{1, "Playback", {b::NetFrame({b::Print("more")})}});
    const b::Built old = b::Build(demo);
    const auto cut = static_cast<std::size_t>(old.layout.Tagged("build")[0].offset - kTrimAnnouncementBase);
    Bytes image = old.bytes;
    ASSERT_EQ(cut < kHeaderSize, filler == 0);  // the header's old and new places overlap, or not
    EditResult r = TrimLoadingSegmentStep(image);
    ASSERT_FALSE(r.refused) << r.refusal;
    EXPECT_TRUE(r.cutFile);
    const Bytes now = Written(r, image);

    Bytes expected(old.bytes.begin(), old.bytes.begin() + kHeaderSize);
    expected.insert(expected.end(), old.bytes.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + cut),
                    old.bytes.end());
    auto lower = [&](std::size_t at) {
      StoreI32LE(&expected[at], LoadI32LE(&expected[at]) - static_cast<int>(cut));
    };
    const auto entries = static_cast<std::size_t>(*old.layout.directoryOffset + 4 - cut);
    lower(kDirectoryOffsetOffset);
    lower(entries + kEntrySegmentLengthOffset);
    lower(entries + kDirectoryEntrySize + kEntrySegmentOffsetOffset);
    lower(entries + 2 * kDirectoryEntrySize + kEntrySegmentOffsetOffset);
    EXPECT_EQ(now, expected);
    EXPECT_EQ(DetectResolution(now), (Resolution{640, 480}));  // the directory still walks
  }
  // The announcement first in the first frame: a cut of 0, the same bytes.
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::BuildAnnouncement(4554)}));
  Bytes image = b::Build(demo).bytes;
  const Bytes before = image;
  EditResult r = TrimLoadingSegmentStep(image);
  EXPECT_TRUE(!r.refused && !r.cutFile && Written(r, image) == before);
}

struct Refusal {
  const char* name;
  std::function<void(b::Demo&)> change;
  const char* text;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }
auto Entries(std::function<void(std::vector<b::DirectoryEntry>&)> f) {
  return [f](b::Demo& d) { d.damage.editEntries = f; };
}

class TrimRefusal : public ::testing::TestWithParam<Refusal> {};
TEST_P(TrimRefusal, LeavesTheImageUntouched) {
  b::Demo demo = TrimmableDemo(100);
  GetParam().change(demo);
  Bytes image = b::Build(demo).bytes;
  if (std::string_view(GetParam().name) == "AnnouncementAt1020") {
    std::memcpy(&image[1020], kBuildPrintMarker.data(), kBuildPrintMarker.size());
  }
  const Bytes before = image;
  EditResult r = TrimLoadingSegmentStep(image);
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(r.refusal, GetParam().text);
  EXPECT_EQ(image, before);
}
INSTANTIATE_TEST_SUITE_P(
    Demos, TrimRefusal,
    ::testing::Values(Refusal{"NoAnnouncement", [](b::Demo& d) { d.loading().items.pop_back(); },
                              text::kTrimNoBuildAnnouncement},
                      Refusal{"NoLoadingTitle", Entries([](auto& e) { e[0].title = "Loading"; }),
                              text::kTrimNoLoadingSegment},
                      Refusal{"AnnouncementAt1020", [](b::Demo& d) { d.loading().items.pop_back(); },
                              text::kTrimAnnouncementTooEarly},
                      Refusal{"CutLongerThanLoadingSegment", Entries([](auto& e) { e[0].length = 576; }),
                              text::kTrimPastLoadingSegment},
                      Refusal{"CutIntoALaterSegment", Entries([](auto& e) { e[1].offset = 1020; }),
                              text::kTrimPastLoadingSegment},
                      Refusal{"CutIntoTheDirectory",  // the last announcement in a title of a long directory
                              Entries([](auto& e) {
                                e[0].length = 1 << 30;
                                e[1].offset = 0x7FFFFFF0;  // no later segment in the way
                                e.resize(12, e[1]);
                                e[11].title = std::string("\x08\x02\nBUILD 1", 9);
                              }),
                              text::kTrimPastLoadingSegment},
                      Refusal{"LoadingTitleNotAtAnEntry",
                              Entries([](auto& e) { e[0].title = std::string("LOADING\0\0LOADING", 16); }),
                              text::kTrimDirectoryDamaged},
                      Refusal{"LoadingNotAfterHeader", Entries([](auto& e) { e[0].offset = 600; }),
                              text::kTrimDirectoryDamaged},
                      Refusal{"DirectoryNotAtTheEnd", [](b::Demo& d) { d.damage.entryCount = 1; },
                              text::kTrimDirectoryDamaged},
                      Refusal{"DirectoryOutside", [](b::Demo& d) { d.damage.directoryOffset = 0x7FFFFFF0; },
                              text::kTrimDirectoryDamaged}),
    [](const ::testing::TestParamInfo<Refusal>& p) { return std::string(p.param.name); });

TEST(Edits, ChangeOnlyWhatIsPlacedKeepTheLengthAndDoNothingTheSecondTime) {
  b::Demo demo = TrimmableDemo(0);
  demo.playback().items.push_back(
      b::NetFrame({b::ScreenFadeMessage({.alpha = 254}), b::ChatMessage("(Tex) hi")}));
  const b::Built built = b::Build(demo);
  Bytes image = built.bytes;
  for (auto [step, tag, mark] :
       {std::tuple{&Fade, "fade", kNopMessage}, {&Chat, "team_chat", kStrippedChatMessage}}) {
    EXPECT_EQ(step(image).changes, built.layout.Tagged(tag).size());
    for (const auto& m : built.layout.Tagged(tag)) EXPECT_EQ(image[static_cast<std::size_t>(m.offset)], mark);
    const Bytes once = image;
    EXPECT_EQ(step(image).changes, 0u);
    EXPECT_EQ(image, once);
  }
  for (const auto& m : built.layout.Tagged("all_chat")) {
    EXPECT_EQ(image[static_cast<std::size_t>(m.offset)], kChatMessage);
  }
  EXPECT_EQ(To800(image).changes, built.layout.viewports.size());
  EXPECT_EQ(DetectResolution(image), (Resolution{800, 600}));
  EXPECT_EQ(image.size(), built.bytes.size());
}

// The size-record rule said as plainly as it can be, to compare with.
void PlainConvert(Bytes& d, Resolution from) {
  const std::uint8_t zero[8] = {};
  for (std::size_t k = 0; k + 15 <= d.size(); ++k) {
    if (std::memcmp(&d[k], zero, 8) == 0 && LoadU16LE(&d[k + 8]) == static_cast<std::uint16_t>(from.width) &&
        LoadU16LE(&d[k + 10]) == 0 && LoadU16LE(&d[k + 12]) == static_cast<std::uint16_t>(from.height)) {
      StoreU16LE(&d[k + 8], 512);
      StoreU16LE(&d[k + 12], 384);
    }
  }
}

TEST(Edits, RealRecordings) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    if (file.path().extension() != ".dem") continue;
    SCOPED_TRACE(file.path().filename().string());
    std::ifstream in(file.path(), std::ios::binary);
    const Bytes original((std::istreambuf_iterator<char>(in)), {});
    // They hold no fade to black and no team chat (though many 4B bytes): nothing changes.
    Bytes mine = original, plain = original;
    EXPECT_EQ(RemoveFadeToBlackStep(mine).changes + StripTeamChatStep(mine).changes, 0u);
    if (std::optional<Resolution> size = DetectResolution(original)) {
      EXPECT_GT(ConvertResolutionStep(mine, size->width, size->height, 512, 384).changes, 100u);
      PlainConvert(plain, *size);
    }
    EXPECT_EQ(mine, plain);
    // Only the client demo has an announcement, first in its first frame: a
    // cut of 0. The others are refused and left alone.
    mine = original;
    EditResult r = TrimLoadingSegmentStep(mine);
    EXPECT_EQ(r.refused, file.path().filename() != "cs-client-cs_assault.dem") << r.refusal;
    EXPECT_EQ(mine, original);
    EXPECT_EQ(Written(r, mine), r.refused ? Bytes{} : original);
  }
}

}  // namespace
}  // namespace rewindor
