// Fuzzes Steam's KeyValues reader and the game finder on a libraryfolders.vdf
// and an app manifest of any bytes: blocks open and close in pairs, the
// libraries have paths, an installdir is a plain name, and the finder looks
// into at most its limit of libraries and never at a path with a control byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "demo/info.h"
#include "launch/game_finder.h"
#include "tests/support/fake_game_sources.h"

using namespace rewindor;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class Balance final : public KeyValuesVisitor {
 public:
  long depth = 0;
  void BlockStart(std::string_view) override { ++depth; }
  void BlockEnd() override { Check(--depth >= 0); }
  void Leaf(std::string_view, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Balance balance;
  if (ReadKeyValues(text, balance)) Check(balance.depth == 0);
  for (const SteamLibrary& library : ParseLibraryFolders(text)) Check(!library.path.empty());
  if (auto dir = ParseInstallDir(text)) Check(IsPlainName(*dir));

  FakeGameSources machine;
  machine.SetRegistry(RegistryHive::kCurrentUser, "Software\\Valve\\Steam", "SteamPath", "C:\\Steam");
  machine.AddFile("C:\\Steam\\steamapps\\libraryfolders.vdf", std::string(text));
  machine.AddFile("C:\\Steam\\steamapps\\appmanifest_70.acf", std::string(text));
  Check(!FindGame(machine, GameSystem::kWindows));
  Check(machine.probed.size() <= kMaxSteamLibraries);
  Check(machine.controlPaths == 0);
  return 0;
}
