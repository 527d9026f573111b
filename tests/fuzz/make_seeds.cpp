// Writes the fuzzers' seed corpus: small demos from the synthetic builder that
// hold every pattern the scans and edits look for, so that mutations start
// from structurally valid input.
//   rewindor-fuzz-seeds OUTDIR
#include <cstdio>
#include <fstream>
#include <string>

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

// The game's messages registered, then each kind of event and both forms of
// chat: frames that decode, for the events and the edits by message.
builder::Demo Played() {
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage({.maxPlayers = 8}), builder::RegisterGameMessages(),
       builder::UpdateUserInfo(0, 1, builder::PlayerInfo("Ann", 1)), builder::UpdateUserInfo(1, 2, builder::PlayerInfo("Bob", 2))}));
  demo.playback().items.push_back(builder::NetFrame(
      {builder::DeathMessage(1, 2, true, "ak47"), builder::KeyedChat(1, "#Cstrike_Chat_T", "", "go"),
       builder::PlainChat(2, "\x02(Counter-Terrorist) Bob : hi"), builder::TextMessage("#Terrorists_Win"),
       builder::TeamScoreMessage("TERRORIST", 1), builder::ScreenFadeMessage({.duration = 0x0C00, .flags = 1}),
       builder::UpdateUserInfo(1, 2, builder::PlayerInfo("Bobby", 2))}));
  return demo;
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
  Bytes played = builder::Build(Played()).bytes;
  for (auto [name, bytes] : {std::pair{"client.dem", &client}, {"hltv.dem", &hltv}, {"trimmable.dem", &trimmable},
                             {"unfinished.dem", &unfinished}, {"damaged.dem", &damaged}, {"played.dem", &played}}) {
    Write(dir, name, *bytes);
    Write(dir, std::string("sized-") + name, *bytes, sizes);
  }
  return 0;
}
