#include "demo/edits.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "demo/events.h"
#include "demo/frames.h"
#include "demo/messages.h"
#include "demo/net_messages.h"
#include "demo/search.h"

namespace rewindor {

namespace {

EditResult WholeImage(MutableByteView image, std::uint64_t changes) {
  EditResult r;
  r.changes = changes;
  r.writeLength = image.size();
  return r;
}

}  // namespace

namespace {

// The fade-to-black patterns that lie within [begin, end), none ending at the
// image's last byte, each replaced by no-operation bytes.
std::uint64_t FadePatternsIn(MutableByteView image, std::size_t begin, std::size_t end) {
  constexpr std::size_t n = kFadeToBlackPattern.size();
  std::uint64_t count = 0;
  // Starts up to size-12 and end-11. The pattern's first byte occurs once in
  // it, so jumping to each 0x62 finds every match the byte-by-byte walk would.
  end = std::min(end, image.size() - 1);
  if (end < begin + n) return 0;
  std::uint8_t* p = image.data() + begin;
  std::uint8_t* const last = image.data() + (end - n);
  while (p <= last) {
    p = static_cast<std::uint8_t*>(std::memchr(p, kFadeToBlackPattern[0], static_cast<std::size_t>(last - p) + 1));
    if (p == nullptr) break;
    if (std::memcmp(p, kFadeToBlackPattern.data(), n) == 0) {
      std::memset(p, kNopMessage, n);
      ++count;
      p += n;
    } else {
      ++p;
    }
  }
  return count;
}

// Whether a text begins with one of the team-chat prefixes (their first four characters).
bool BeginsAsTeamChat(const std::uint8_t* text, std::size_t room) {
  const void* zero = std::memchr(text, 0, room);
  const std::size_t textLength = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - text) : room;
  if (textLength < kTeamChatPrefixCompared) return false;
  return std::any_of(kTeamChatPrefixes.begin(), kTeamChatPrefixes.end(), [&](std::string_view prefix) {
    return std::memcmp(text, prefix.data(), kTeamChatPrefixCompared) == 0;
  });
}

// The cursor walk of the team-chat pattern over [begin, end): messages that
// end by `end` are stripped.
std::uint64_t ChatPatternsIn(MutableByteView image, std::size_t begin, std::size_t end) {
  std::uint64_t count = 0;
  std::size_t p = begin;
  while (p < end) {
    if (image[p] != kChatMessage) {
      // Every byte up to the next message number is passed over one by one.
      const void* next = std::memchr(image.data() + p, kChatMessage, end - p);
      if (next == nullptr) break;
      p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - image.data());
    }
    if (p + 1 >= end) break;
    const std::size_t b = image[p + 1];
    if (b <= 2 || p + b + 2 > end) {
      ++p;
      continue;
    }
    // The text: the b-2 bytes from p+4, ending early at a zero byte.
    const std::size_t room = b - 2;
    if (!BeginsAsTeamChat(image.data() + p + kChatTextOffset, room)) {
      p += 5;  // the four bytes after a candidate's first byte are never tested
      continue;
    }
    image[p] = kStrippedChatMessage;
    image[p + 2] = kStrippedChatPayload[0];
    image[p + 3] = kStrippedChatPayload[1];
    std::memset(image.data() + p + kChatTextOffset, 0, room);
    ++count;
    p += b + 2;
  }
  return count;
}

using MessageTest = bool (*)(const NetMessage& message);
using PatternRun = std::uint64_t (*)(MutableByteView image, std::size_t begin, std::size_t end);

// Collects the messages an edit takes, and the message blocks of the frames
// that did not decode.
class MessagePicker final : public MessageSink {
 public:
  MessagePicker(ByteView image, MessageTest test) : image_(image), test_(test) {}

  void OnMessage(const FramePlace&, const NetMessage& message) override {
    if (test_(message)) pending_.push_back({message.offset, message.length});
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    if (failure == nullptr) {
      picked.insert(picked.end(), pending_.begin(), pending_.end());
    } else if (place.frame != nullptr) {
      const ByteView block = NetworkMessages(image_, *place.frame);
      const auto begin = static_cast<std::size_t>(block.data() - image_.data());
      undecoded.push_back({begin, block.size()});
    }
    pending_.clear();
  }

  struct Stretch {
    std::size_t offset, length;
  };
  std::vector<Stretch> picked;     // whole messages
  std::vector<Stretch> undecoded;  // message blocks

 private:
  ByteView image_;
  MessageTest test_;
  std::vector<Stretch> pending_;  // of the frame being decoded
};

// Where the messages decode, each message `test` takes becomes no-operation
// bytes; elsewhere (a demo whose messages are not decoded, a frame that did
// not decode) the byte patterns run.
EditResult EditMessages(MutableByteView image, MessageTest test, PatternRun patterns) {
  MessagePicker picker(image, test);
  const DecodeTotals totals = DecodeDemoMessages(image, picker);
  EditResult r = WholeImage(image, 0);
  // A file in which no frame walks has no messages to tell apart: its bytes are searched whole.
  if (!totals.notDecoded.empty() || totals.frames == 0) {
    r.changes = patterns(image, 0, image.size());
    WalkDemo(image, [&](std::size_t, const Frame& f) { r.framesNotDecoded += f.IsNetwork(); });
    return r;
  }
  for (const auto& m : picker.picked) std::memset(image.data() + m.offset, kNopMessage, m.length);
  r.changes = picker.picked.size();
  for (const auto& block : picker.undecoded) r.changes += patterns(image, block.offset, block.offset + block.length);
  r.framesNotDecoded = picker.undecoded.size();
  return r;
}

bool IsFadeToBlack(const NetMessage& m) {
  if (m.name != kScreenFadeMessageName || m.payload.size() < kScreenFadePayloadSize) return false;
  ByteReader r(m.payload, 4);  // after the duration and the hold time
  const std::uint16_t flags = r.U16();
  const std::uint8_t red = r.U8(), green = r.U8(), blue = r.U8(), alpha = r.U8();
  return r.ok() && (flags & kFadeOutFlag) != 0 && red == 0 && green == 0 && blue == 0 && alpha == 0xFF;
}

// Today's form by its format key, the older one by its text's beginning
// (after the sender's entity and an optional colour byte).
bool IsTeamChat(const NetMessage& m) {
  if (m.name != kChatMessageName) return false;
  ByteReader r(m.payload);
  r.U8();  // the sender
  std::string_view text = r.Text();
  if (!r.ok() || text.empty()) return false;
  if (text.front() == '#') {
    const std::optional<ChatKeyMeaning> key = ChatKeyOf(text);
    return key && key->scope == ChatScope::kTeam;
  }
  if (IsColourByte(text.front())) text.remove_prefix(1);
  return BeginsAsTeamChat(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

EditResult RemoveFadeToBlackStep(MutableByteView image) { return EditMessages(image, IsFadeToBlack, FadePatternsIn); }

EditResult StripTeamChatStep(MutableByteView image) { return EditMessages(image, IsTeamChat, ChatPatternsIn); }

bool IsAllowedNewResolution(std::uint32_t width, std::uint32_t height) {
  return std::find(kAllowedWidths.begin(), kAllowedWidths.end(), width) != kAllowedWidths.end() &&
         std::find(kAllowedHeights.begin(), kAllowedHeights.end(), height) != kAllowedHeights.end();
}

bool IsSearchableResolution(std::uint32_t width, std::uint32_t height) {
  return static_cast<std::uint16_t>(width) != 0 && static_cast<std::uint16_t>(height) != 0;
}

std::array<std::uint8_t, kSizeRecordSize> SizeRecord(std::uint32_t width, std::uint32_t height) {
  std::array<std::uint8_t, kSizeRecordSize> record{};
  StoreU16LE(record.data() + kSizeRecordWidthOffset, static_cast<std::uint16_t>(width));
  StoreU16LE(record.data() + kSizeRecordHeightOffset, static_cast<std::uint16_t>(height));
  return record;
}

EditResult ConvertResolutionStep(MutableByteView image, std::uint32_t currentWidth, std::uint32_t currentHeight,
                                 std::uint32_t newWidth, std::uint32_t newHeight) {
  if (!IsSearchableResolution(currentWidth, currentHeight)) return EditResult::Refusal(text::kZeroCurrentResolution);
  const auto search = SizeRecord(currentWidth, currentHeight);
  const auto replacement = SizeRecord(newWidth, newHeight);
  std::uint64_t count = 0;
  if (image.size() > kSizeRecordSize && search != replacement) {
    // Starts 0 .. size-15 (the image without its last byte), each against the
    // bytes as they stand now: the search goes on after a replacement from
    // the next position, in the changed bytes.
    ByteView searchable(image.data(), image.size() - 1);
    for (std::size_t k = FindPattern(searchable, search); k != kNotFound; k = FindPattern(searchable, search, k + 1)) {
      std::memcpy(image.data() + k, replacement.data(), kSizeRecordSize);
      ++count;
    }
  }
  return WholeImage(image, count);
}

namespace {

// Where the directory's entry `index` starts in the file (after its count).
std::size_t EntryAt(const Directory& directory, std::size_t index) {
  return directory.offset + 4 + index * kDirectoryEntrySize;
}

// The directory when it is whole and its entries end at the file's last byte.
std::optional<Directory> TrimmedDirectory(ByteView image) {
  std::optional<Directory> directory = ReadDirectory(image);
  if (!directory || EntryAt(*directory, directory->entries.size()) != image.size()) return std::nullopt;
  return directory;
}

// The index of the entry whose title holds the LOADING marker found at
// `marker`; none when the marker is not at an entry's title.
std::optional<std::size_t> LoadingEntry(const Directory& directory, std::size_t marker) {
  const std::size_t entries = EntryAt(directory, 0);
  if (marker < entries + kLoadingMarkerInEntry) return std::nullopt;
  const std::size_t from = marker - kLoadingMarkerInEntry - entries;
  if (from % kDirectoryEntrySize != 0 || from / kDirectoryEntrySize >= directory.entries.size()) return std::nullopt;
  return from / kDirectoryEntrySize;
}

// Why the first `cut` bytes after the header cannot go, or none: they must be
// the loading segment's, which starts right after the header, and reach
// neither the directory nor any later segment.
std::optional<std::string_view> TrimRefusal(const Directory& directory, std::size_t loading, std::uint64_t cut) {
  const DirectoryEntry& entry = directory.entries[loading];
  if (entry.offset != static_cast<std::int64_t>(kHeaderSize)) return text::kTrimDirectoryDamaged;
  const std::uint64_t keptFrom = kHeaderSize + cut;
  if (static_cast<std::int64_t>(cut) > entry.length || keptFrom > directory.offset) {
    return text::kTrimPastLoadingSegment;
  }
  for (std::size_t e = loading + 1; e < directory.entries.size(); ++e) {
    if (directory.entries[e].offset < static_cast<std::int64_t>(keptFrom)) return text::kTrimPastLoadingSegment;
  }
  return std::nullopt;
}

// Lowers by the cut the directory's offset in the header, the loading entry's
// length and the offset of every entry after it. Every value lowered stays at
// 544 or more, so none can wrap.
void LowerDirectory(MutableByteView image, const Directory& directory, std::size_t loading, std::int64_t cut) {
  auto store = [&](std::size_t at, std::int64_t value) {
    StoreI32LE(image.data() + at, static_cast<std::int32_t>(value - cut));
  };
  store(kDirectoryOffsetOffset, static_cast<std::int64_t>(directory.offset));
  store(EntryAt(directory, loading) + kEntrySegmentLengthOffset, directory.entries[loading].length);
  for (std::size_t e = loading + 1; e < directory.entries.size(); ++e) {
    store(EntryAt(directory, e) + kEntrySegmentOffsetOffset, directory.entries[e].offset);
  }
}

}  // namespace

EditResult TrimLoadingSegmentStep(MutableByteView image) {
  const std::optional<std::size_t> build = FindLastPattern(image, kBuildPrintMarker);
  if (!build) return EditResult::Refusal(text::kTrimNoBuildAnnouncement);
  const std::optional<std::size_t> loadingMarker = FindLastPattern(image, kLoadingTitleMarker);
  if (!loadingMarker) return EditResult::Refusal(text::kTrimNoLoadingSegment);
  if (*build < kTrimAnnouncementBase) return EditResult::Refusal(text::kTrimAnnouncementTooEarly);
  const std::uint64_t cut = *build - kTrimAnnouncementBase;
  // From here on the image holds the whole header: the marker lies past it.

  const std::optional<Directory> directory = TrimmedDirectory(image);
  if (!directory) return EditResult::Refusal(text::kTrimDirectoryDamaged);
  // The LOADING title must be that of one of the entries.
  const std::optional<std::size_t> loading = LoadingEntry(*directory, *loadingMarker);
  if (!loading) return EditResult::Refusal(text::kTrimDirectoryDamaged);
  if (const std::optional<std::string_view> why = TrimRefusal(*directory, *loading, cut)) {
    return EditResult::Refusal(*why);
  }

  LowerDirectory(image, *directory, *loading, static_cast<std::int64_t>(cut));
  // The header moves up to just before the kept data; for a cut below 544 the
  // two places overlap, which memmove allows.
  std::memmove(image.data() + cut, image.data(), kHeaderSize);

  EditResult r;
  r.changes = cut > 0 ? 2 + (directory->entries.size() - (*loading + 1)) : 0;
  r.writeStart = static_cast<std::size_t>(cut);
  r.writeLength = image.size() - static_cast<std::size_t>(cut);
  r.cutFile = cut > 0;
  return r;
}

}  // namespace rewindor
