// The fade and chat edits where the demo's messages decode: whole messages
// by their registered names become no-operation bytes, nothing else changes,
// and the byte patterns run only where the messages do not decode. Built
// demos, then real recordings with fades and chat written over real messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "demo/edits.h"
#include "demo/events.h"
#include "demo/net_messages.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace b = builder;

// Every message of a demo as the decoder hands it over, and the frames that failed.
struct Listed {
  std::size_t offset, length;
  std::uint8_t id;
  bool operator==(const Listed&) const = default;
};
struct Registered {
  std::uint8_t id;
  int size;  // 255: a length byte
};
class Listing final : public MessageSink {
 public:
  void OnMessage(const FramePlace&, const NetMessage& m) override {
    messages.push_back({m.offset, m.length, m.id});
    if (m.id == kSvcNewUserMessage && m.payload.size() >= 18) {
      const auto* name = reinterpret_cast<const char*>(m.payload.data() + 2);
      registered[std::string(name, strnlen(name, 16))] = {m.payload[0], m.payload[1]};
    }
  }
  void OnFrameEnd(const FramePlace&, const FrameFailure* failure) override { failed += failure != nullptr; }

  std::vector<Listed> messages;
  std::map<std::string, Registered> registered;
  std::size_t failed = 0;
};

Listing List(ByteView image) {
  Listing listing;
  DecodeDemoMessages(image, listing);
  return listing;
}

// The listing after the messages at `stripped` became no-operation bytes.
std::vector<Listed> WithNops(const std::vector<Listed>& before, const std::set<std::size_t>& stripped) {
  std::vector<Listed> after;
  for (const Listed& m : before) {
    if (!stripped.count(m.offset)) {
      after.push_back(m);
      continue;
    }
    for (std::size_t i = 0; i < m.length; ++i) after.push_back({m.offset + i, 1, kSvcNop});
  }
  return after;
}

// The offsets at which two images differ, as the starts of the listed messages that hold them.
std::set<std::size_t> ChangedMessages(const Bytes& before, const Bytes& after, const std::vector<Listed>& listing) {
  std::set<std::size_t> changed;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    auto m = std::find_if(listing.begin(), listing.end(),
                          [&](const Listed& l) { return i >= l.offset && i < l.offset + l.length; });
    changed.insert(m == listing.end() ? ~std::size_t{0} : m->offset);  // never a listed offset
  }
  return changed;
}

constexpr std::uint8_t kOtherMessage = 0x70;

b::Built BuildEditable() {
  b::Demo demo;
  Bytes registrations = b::RegisterGameMessages();
  const Bytes other = b::NewUserMessage(kOtherMessage, 255, "StatusText");
  registrations.insert(registrations.end(), other.begin(), other.end());
  demo.loading().items.push_back(b::LoadingFrame({b::ServerInfoMessage(), registrations}));
  const Bytes pattern(kFadeToBlackPattern.begin(), kFadeToBlackPattern.end());
  demo.playback().items.push_back(b::NetFrame({
      {b::ScreenFadeMessage(), "black"},                                           // the original game's 3 s / 3 s
      {b::ScreenFadeMessage({.duration = 0x0C00, .holdTime = 0x0A00, .flags = 1}), "black"},  // today's
      {b::ScreenFadeMessage({.flags = 4}), "kept"},                                // no fade-out flag
      {b::ScreenFadeMessage({.red = 255, .green = 255, .blue = 255}), "kept"},     // a flashbang
      {b::ScreenFadeMessage({.alpha = 0}), "kept"},                                // clear
      {b::KeyedChat(1, "#Cstrike_Chat_CT", "", "rush b"), "team"},
      {b::KeyedChat(1, "#Cstrike_Chat_T_Dead", "", "he is low"), "team"},
      {b::KeyedChat(1, "#Cstrike_Chat_CT_Loc", "", "here"), "team"},
      {b::PlainChat(1, "\x02(Terrorist) Bob : go"), "team"},
      {b::PlainChat(1, "*DEAD*(CT) Bob : ugh"), "team"},
      {b::KeyedChat(1, "#Cstrike_Chat_All", "", "(Terrorist) hi"), "kept"},
      {b::KeyedChat(1, "#Cstrike_Chat_Spec", "", "spectating"), "kept"},
      {b::PlainChat(1, "Bob : (Terrorist)"), "kept"},
      // Registered messages of another kind that happen to hold the fade-to-black pattern's eleven bytes or a chat's.
      {b::UserMessage(kOtherMessage, pattern), "kept"},
      {b::UserMessage(kOtherMessage, b::TeamChat("Bob", "hidden")), "kept"},
  }));
  // A frame that does not decode (a number never registered): there the byte patterns run.
  demo.playback().items.push_back(
      b::NetFrame({b::NoiseMessage(0x71, 8, 1), {b::ScreenFadeMessage(), "undecoded_fade"},
                   {b::TeamChat("Bob", "old"), "undecoded_chat"}}));
  return b::Build(demo);
}

TEST(MessageEdits, WholeMessagesByNameWhereTheMessagesDecode) {
  const b::Built built = BuildEditable();
  const Listing before = List(built.bytes);
  ASSERT_EQ(before.failed, 1u);
  struct Case {
    const char* name;
    EditResult (*step)(MutableByteView);
    std::string_view decodedTag, undecodedTag;
    std::uint8_t undecodedMark;
  };
  for (const Case& c : {Case{"fades", RemoveFadeToBlackStep, "black", "undecoded_fade", kNopMessage},
                        Case{"chat", StripTeamChatStep, "team", "undecoded_chat", kStrippedChatMessage}}) {
    SCOPED_TRACE(c.name);
    Bytes image = built.bytes;
    const EditResult r = c.step(image);
    std::set<std::size_t> decoded;
    for (const b::MessageRecord& m : built.layout.Tagged(c.decodedTag)) decoded.insert(static_cast<std::size_t>(m.offset));
    EXPECT_EQ(r.changes, decoded.size() + 1);
    EXPECT_EQ(r.framesNotDecoded, 1u);
    EXPECT_EQ(r.writeLength, image.size());
    // In the decoded frames exactly the matched messages changed, each wholly to
    // no-operation bytes, and the demo decodes as before but for them.
    std::set<std::size_t> changed = ChangedMessages(built.bytes, image, before.messages);
    const auto undecoded = static_cast<std::size_t>(built.layout.Tagged(c.undecodedTag).at(0).offset);
    EXPECT_EQ(image[undecoded], c.undecodedMark);  // the old pattern's mark
    changed.erase(~std::size_t{0});                // the undecoded frame lists no message there
    EXPECT_EQ(changed, decoded);
    EXPECT_EQ(List(image).messages, WithNops(before.messages, decoded));
    // Once done, nothing is left to do.
    EXPECT_EQ(c.step(image).changes, 0u);
  }
}

// A demo whose messages are not decoded (an older protocol) is searched whole, as before.
TEST(MessageEdits, OlderProtocolsKeepTheBytePatterns) {
  b::Demo demo;
  demo.networkProtocol = 46;
  demo.playback().items.push_back(b::NetFrame({b::ScreenFadeMessage(), b::TeamChat("Bob", "go")}));
  Bytes image = b::Build(demo).bytes;
  EXPECT_EQ(RemoveFadeToBlackStep(image).changes, 1u);
  const EditResult chat = StripTeamChatStep(image);
  EXPECT_EQ(chat.changes, 1u);
  EXPECT_GE(chat.framesNotDecoded, 1u);
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// A message of `id` with a length byte, `length` bytes in all: the sender 1,
// then the texts, then zeros to fill.
Bytes ChatOfLength(std::uint8_t id, std::size_t length, std::initializer_list<std::string_view> texts) {
  Bytes m{id, static_cast<std::uint8_t>(length - 2), 1};
  for (std::string_view t : texts) {
    m.insert(m.end(), t.begin(), t.end());
    m.push_back(0);
  }
  m.resize(length, 0);
  return m;
}

// On the real recordings: fades and chat lines written over real user
// messages of the same size, then each edit changes exactly the planted
// messages that it should (and the real ones of its kind).
TEST(MessageEdits, PlantedInRealRecordings) {
  const std::filesystem::path corpus(REWINDOR_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  int planted = 0;
  for (const std::filesystem::path& dir : {corpus, corpus / "public-servers"}) {
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
      if (file.path().extension() != ".dem") continue;
      SCOPED_TRACE(file.path().filename().string());
      const Bytes original = ReadFile(file.path());
      const Listing listing = List(original);
      const auto fadeIt = listing.registered.find("ScreenFade"), chatIt = listing.registered.find("SayText");
      const auto none = listing.registered.end();
      if (listing.failed || fadeIt == none || chatIt == none) continue;
      if (fadeIt->second.size != 10 || chatIt->second.size != 255) continue;
      const std::uint8_t fadeId = fadeIt->second.id, chatId = chatIt->second.id;
      // Hosts: user messages of other kinds, from 11 bytes for a fade (the
      // rest no-operation bytes) and from 40 bytes for a chat line.
      std::vector<const Listed*> fadeHosts, chatHosts;
      for (const Listed& m : listing.messages) {
        if (m.id < kFirstUserMessage || m.id == fadeId || m.id == chatId || m.length > 200) continue;
        if (m.length >= 40 && chatHosts.size() < 4 && original[m.offset + 1] == m.length - 2) {
          chatHosts.push_back(&m);
        } else if (m.length >= 11 && fadeHosts.size() < 3) {
          fadeHosts.push_back(&m);
        }
      }
      if (fadeHosts.size() < 3 || chatHosts.size() < 4) continue;
      ++planted;
      Bytes image = original;
      auto plant = [&](const Listed* host, const Bytes& m) {
        ASSERT_EQ(m.size(), host->length);
        std::copy(m.begin(), m.end(), image.begin() + static_cast<std::ptrdiff_t>(host->offset));
      };
      const auto fade = [&](const Listed* host, b::ScreenFade f) {
        Bytes m = b::ScreenFadeMessage(f);
        m[0] = fadeId;
        m.resize(host->length, kSvcNop);
        plant(host, m);
      };
      fade(fadeHosts[0], {.duration = 0x0C00, .holdTime = 0x0500, .flags = 1});  // black
      fade(fadeHosts[1], {.red = 255, .green = 255, .blue = 255});               // white: kept
      fade(fadeHosts[2], {.alpha = 0});                                           // clear: kept
      plant(chatHosts[0], ChatOfLength(chatId, chatHosts[0]->length, {"#Cstrike_Chat_T", "", "planted"}));
      plant(chatHosts[1], ChatOfLength(chatId, chatHosts[1]->length, {"\x02(Counter-Terrorist) a : b"}));
      plant(chatHosts[2], ChatOfLength(chatId, chatHosts[2]->length, {"#Cstrike_Chat_All", "", "kept"}));
      plant(chatHosts[3], ChatOfLength(chatId, chatHosts[3]->length, {"a : (Terrorist)"}));
      const Listing plantedListing = List(image);
      ASSERT_EQ(plantedListing.failed, 0u);
      // The real fades to black of the demo go too, found here by the plain
      // rule, and its real team chat, as the events tell it.
      std::set<std::size_t> blackFades = {fadeHosts[0]->offset};
      std::set<std::size_t> teamChat = {chatHosts[0]->offset, chatHosts[1]->offset};
      for (const Listed& m : listing.messages) {
        const std::uint8_t* p = original.data() + m.offset;
        if (m.id == fadeId && (p[5] & 1) && p[7] == 0 && p[8] == 0 && p[9] == 0 && p[10] == 255) {
          blackFades.insert(m.offset);
        }
      }
      for (const DemoEvent& e : ReadDemoEvents(original).events) {
        if (e.kind == EventKind::kChat && e.scope == ChatScope::kTeam) teamChat.insert(e.offset);
      }
      using Step = EditResult (*)(MutableByteView);
      for (const auto& [step, expected] : {std::pair<Step, std::set<std::size_t>>{RemoveFadeToBlackStep, blackFades},
                                           {StripTeamChatStep, teamChat}}) {
        Bytes edited = image;
        const EditResult r = step(edited);
        EXPECT_EQ(r.changes, expected.size());
        EXPECT_EQ(r.framesNotDecoded, 0u);
        EXPECT_EQ(ChangedMessages(image, edited, plantedListing.messages), expected);
        EXPECT_EQ(List(edited).messages, WithNops(plantedListing.messages, expected));
      }
    }
  }
  EXPECT_GE(planted, 3);
}

}  // namespace
}  // namespace rewindor
