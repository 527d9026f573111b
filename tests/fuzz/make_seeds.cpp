// Writes the fuzzers' seed corpus: small demos from the synthetic builder that
// hold every pattern the scans and edits look for, so that mutations start
// from structurally valid input.
//   rewindor-fuzz-seeds OUTDIR
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/demo_builder.h"

using namespace rewindor;

namespace {

void Write(const std::string& dir, const std::string& name, const Bytes& bytes, const std::string& prefix = "") {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out << prefix;  // the edits fuzzer reads its sizes from the first four bytes
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

builder::Demo Small(bool hltv) {
  builder::Demo demo;
  if (hltv) demo.viewport = {0, 0, 0, 0};
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::BuildAnnouncement(4554), builder::ServerInfoMessage({.maxPlayers = 8, .slot = 1}),
       builder::PlayerInfoBlock("cstrike", {"Alpha", "alpha", "Bravo"})}));
  demo.playback().items.push_back(builder::NetFrame({builder::ScreenFadeMessage(), builder::TeamChat("Bob", "go"),
                                                     builder::AllChat("Kate", "hi"),
                                                     builder::TeamChat("Ann", "x", true, true)}));
  if (hltv) demo.playback().items.push_back(builder::NetFrame({builder::Print("End"), builder::HltvNotice()}));
  return demo;
}

// Messages the decoder reads to their ends: the tables and user messages a
// connection starts with, then bit-packed messages that use them.
std::vector<Bytes> DecodableBlocks() {
  using builder::BitWriter;
  const std::uint32_t integer = 8, text = 128;
  Bytes start = builder::ServerInfoMessage({.maxPlayers = 4});
  for (const char* table : {"entity_state_t", "entity_state_player_t", "custom_entity_state_t", "clientdata_t",
                            "weapon_data_t", "event_t"}) {
    const Bytes d = builder::DeltaDescriptionMessage(table, {{integer, "a", 5}, {text, "b", 0}});
    start.insert(start.end(), d.begin(), d.end());
  }
  const Bytes user = builder::NewUserMessage(64, 255, "SayText");
  start.insert(start.end(), user.begin(), user.end());
  BitWriter baseline;
  baseline.Bits(1, 11).Bits(1, 2).FieldMask(3).Bits(9, 5).String("m").Bits(0xFFFF, 16).Bits(1, 6).FieldMask(0);
  BitWriter entities;
  entities.Bit(true).Bit(false).Bit(false).Bit(false).FieldMask(1).Bits(3, 5).Bits(0, 16);
  BitWriter client;
  client.Bit(false).FieldMask(1).Bits(1, 5).Bit(true).Bits(2, 6).FieldMask(0).Bit(false);
  Bytes play = {40, 1, 0};
  for (const Bytes& m : {entities.Finish(), builder::BitMessage(15, client), Bytes{64, 2, 'h', 'i'}}) {
    play.insert(play.end(), m.begin(), m.end());
  }
  return {start, builder::BitMessage(22, baseline), play};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rewindor-fuzz-seeds OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string sizes("\0\0\0\0", 4);  // 640x480 to 1280x960
  Bytes client = builder::Build(Small(false)).bytes;
  Bytes hltv = builder::Build(Small(true)).bytes;
  builder::Demo padded = Small(false);  // the announcement 300 bytes later: a trim of 300
  padded.loading().items.insert(padded.loading().items.begin(),
                                builder::LoadingFrame({builder::NoiseMessage(0x29, 300 - 477 - 9 + 477, 7)}));
  Bytes trimmable = builder::Build(padded).bytes;
  builder::Demo cut = Small(false);  // one the game never finished: no directory, its last frame cut
  cut.damage.noDirectory = true;
  cut.damage.directoryOffset = 0;
  Bytes unfinished = builder::Build(cut).bytes;
  unfinished.resize(unfinished.size() - 9);  // without its closing frame
  builder::Demo longer = Small(false);  // a damaged time in the middle, a directory of one entry
  longer.playback().items.push_back(builder::Gameplay{.seconds = 0.25});
  longer.damage.entryCount = 1;
  builder::Built damagedBuilt = builder::Build(longer);
  Bytes damaged = damagedBuilt.bytes;
  const builder::FrameRecord& middle = damagedBuilt.layout.frames[damagedBuilt.layout.frames.size() / 2];
  StoreU32LE(damaged.data() + middle.offset + 1, 0x7FC00000);  // not a number
  for (auto [name, bytes] : {std::pair{"client.dem", &client}, {"hltv.dem", &hltv}, {"trimmable.dem", &trimmable},
                             {"unfinished.dem", &unfinished}, {"damaged.dem", &damaged}}) {
    Write(dir, name, *bytes);
    Write(dir, std::string("sized-") + name, *bytes, sizes);
  }
  // The message decoder's: a demo of those messages, and the same blocks each after a 16-bit length.
  builder::Demo messages;
  const std::vector<Bytes> blocks = DecodableBlocks();
  messages.loading().items.push_back(builder::LoadingFrame({blocks[0], blocks[1]}));
  messages.playback().items.push_back(builder::NetFrame({blocks[2]}));
  Write(dir, "messages.dem", builder::Build(messages).bytes);
  Bytes framed;
  for (const Bytes& block : blocks) {
    framed.push_back(static_cast<std::uint8_t>(block.size()));
    framed.push_back(static_cast<std::uint8_t>(block.size() >> 8));
    framed.insert(framed.end(), block.begin(), block.end());
  }
  Write(dir, "messages.bin", framed);
  return 0;
}
