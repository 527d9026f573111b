// The two demos bundled in samples/: a player's own recording and an HLTV
// recording of our map de_rewind. Changing anything here changes the samples;
// run rewindor-make-samples and commit them together.
#include <string>
#include <vector>

#include "tools/demo_builder.h"

namespace rewindor::builder {

namespace {

constexpr int kSampleBuild = 4554;

// Two names that differ only in letter case, one in Cyrillic (UTF-8), and a
// few with blanks and punctuation that the name scan must keep whole.
const std::vector<std::string>& SamplePlayers() {
  static const std::vector<std::string> kPlayers = {
      "Ghost", "\xD0\x92\xD0\xB0\xD1\x81\xD1\x8F", "Mr. Pink", "GHOST", "sn1per_ace", "Kate", "[RW] Otter", "Bob"};
  return kPlayers;
}

// What the server sends first: its description of itself and the map.
Bytes ServerInfo(std::string_view map, std::int32_t maxClients) {
  Bytes out{0x0B};
  auto i32 = [&out](std::int32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k)));
  };
  auto text = [&out](std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  };
  i32(48);                                                                              // protocol
  i32(1);                                                                               // spawn count
  i32(0x1D2C3E4F);                                                                      // map checksum
  for (int k = 0; k < 16; ++k) out.push_back(static_cast<std::uint8_t>(0x30 + 7 * k));  // client library hash
  out.push_back(static_cast<std::uint8_t>(maxClients));
  out.push_back(0);  // our slot
  out.push_back(0);
  text("cstrike");
  text("Rewindor test server");
  text(map);
  text("mapcycle.txt");
  out.push_back(0);
  return out;
}

// The precache list: the names of the models and sounds of the map.
Bytes ResourceList() {
  static constexpr std::string_view kNames[] = {"maps/de_rewind.bsp",
                                                "models/player/leet/leet.mdl",
                                                "models/player/gsg9/gsg9.mdl",
                                                "models/player/urban/urban.mdl",
                                                "models/v_ak47.mdl",
                                                "models/p_ak47.mdl",
                                                "models/w_c4.mdl",
                                                "models/v_knife.mdl",
                                                "sound/weapons/ak47-1.wav",
                                                "sound/weapons/m4a1_unsil-1.wav",
                                                "sound/player/pl_step1.wav",
                                                "sound/radio/go.wav",
                                                "sound/radio/ctwin.wav",
                                                "sound/radio/terwin.wav",
                                                "sprites/muzzleflash1.spr",
                                                "gfx/env/desertup.tga"};
  Bytes out{0x2B};
  for (std::string_view n : kNames) {
    out.insert(out.end(), n.begin(), n.end());
    out.push_back(0);
  }
  return out;
}

void AppendLoading(Demo& demo, bool hltv) {
  const std::string map = "maps/" + demo.mapName + ".bsp";
  std::vector<Message> first;
  if (!hltv) first.emplace_back(BuildAnnouncement(kSampleBuild), "build");
  first.emplace_back(ServerInfo(map, hltv ? 12 : 16));
  first.emplace_back(ResourceList());
  first.emplace_back(NoiseMessage(0x2C, 6000, 11));  // the rest of the precache data
  Frame f1 = LoadingFrame(std::move(first));
  f1.time = 30.25f, f1.number = 1683;

  Frame f2 = LoadingFrame({{NoiseMessage(0x16, 14000, 12)},  // entity baselines
                           {PlayerInfoBlock(demo.gameDir, SamplePlayers()), "player_info"},
                           {StuffText("cl_forwardspeed 400\n")}});
  f2.time = 30.4375f, f2.number = 1692;
  demo.loading().items = {f1, f2};
  for (int k = 0; k < 4; ++k) {
    Frame f = LoadingFrame({{NoiseMessage(0x07, 7, 20 + static_cast<std::uint64_t>(k))}});
    f.time = 30.9375f + 0.015625f * static_cast<float>(k);
    f.number = 1693 + k;
    demo.loading().items.push_back(f);
  }
}

}  // namespace

Demo ClientSample() {
  Demo demo;
  AppendLoading(demo, false);
  Gameplay play;
  play.seconds = 6;
  play.seed = 4554;
  play.fadesPerMinute = 20;
  play.teamChatsPerMinute = 40;
  play.allChatsPerMinute = 30;
  play.players = SamplePlayers();
  demo.playback().items.push_back(play);
  return demo;
}

Demo HltvSample() {
  Demo demo;
  demo.viewport = {};
  demo.mapChecksum = 0x2E5E0E13;
  AppendLoading(demo, true);
  Gameplay play;
  play.hltv = true;
  play.seconds = 24;
  play.ticksPerSecond = 16;
  play.seed = 1998;
  play.fadesPerMinute = 5;
  play.teamChatsPerMinute = 10;
  play.allChatsPerMinute = 10;
  play.players = SamplePlayers();
  demo.playback().items.push_back(play);
  // The HLTV proxy ends its recording with these two prints.
  demo.playback().items.push_back(NetFrame({{Print("End of Record")}, {HltvNotice(), "hltv"}}));
  return demo;
}

}  // namespace rewindor::builder
