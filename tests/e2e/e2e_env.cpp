#include "tests/e2e/e2e_env.h"

#include <string_view>

namespace rewindor::e2e {

namespace {

#ifndef REWINDOR_E2E_PROGRAM
#define REWINDOR_E2E_PROGRAM ""
#endif
#ifndef REWINDOR_E2E_SAMPLES
#define REWINDOR_E2E_SAMPLES ""
#endif
#ifndef REWINDOR_E2E_FAKE_GAME
#define REWINDOR_E2E_FAKE_GAME ""
#endif
#ifndef REWINDOR_E2E_ARTIFACTS
#define REWINDOR_E2E_ARTIFACTS ""
#endif
#ifndef REWINDOR_E2E_CORPUS
#define REWINDOR_E2E_CORPUS ""
#endif

std::wstring TempRoot() {
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  std::wstring root(temp, n);
  if (!root.empty() && root.back() == L'\\') root.pop_back();
  return root;
}

// Wine without an X display cannot make windows; every wait would then run
// into its time limit, so the tests stop at once with the reason instead.
bool WindowsCanBeMade() {
  static const bool can = [] {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
  }();
  return can;
}

}  // namespace

E2eConfig& Config() {
  static E2eConfig config{FromHostPath(REWINDOR_E2E_PROGRAM), FromHostPath(REWINDOR_E2E_SAMPLES),
                          FromHostPath(REWINDOR_E2E_FAKE_GAME),
                          FromHostPath(REWINDOR_E2E_ARTIFACTS), FromHostPath(REWINDOR_E2E_CORPUS), L""};
  return config;
}

void ParseConfig(int argc, char** argv) {
  struct Option {
    std::string_view prefix;
    std::wstring E2eConfig::*field;
  };
  const Option options[] = {{"--program=", &E2eConfig::program},
                            {"--samples=", &E2eConfig::samples},
                            {"--fake-game=", &E2eConfig::fake_game},
                            {"--artifacts=", &E2eConfig::artifacts},
                            {"--corpus=", &E2eConfig::corpus},
                            {"--second-drive=", &E2eConfig::second_drive}};
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    for (const auto& option : options) {
      if (arg.rfind(option.prefix, 0) == 0) Config().*option.field = FromHostPath(arg.substr(option.prefix.size()));
    }
  }
}

void E2eTest::SetUp() {
  ASSERT_TRUE(WindowsCanBeMade()) << "no windows can be made here: under Wine, set DISPLAY (e.g. an Xvfb)";
  static int serial = 0;
  dir_ = TempRoot() + L"\\rewindor e2e " + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
  DeleteTree(dir_);
  ASSERT_TRUE(MakeFolders(dir_)) << Why();
  for (const wchar_t* key : {kSettingsRoot, kClassKey, kExtensionKey}) {
    ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key)) << Why();
  }
}

void E2eTest::TearDown() {
  for (auto& process : started_) process.Kill();
  started_.clear();
  // Also whatever the programs started themselves (the stand-in game).
  KillProcessesIn(dir_);
  if (!dir_.empty()) DeleteTree(dir_);
}

Process& E2eTest::Launch(const std::wstring& exe, const std::wstring& args, const std::wstring& workdir) {
  started_.push_back(Process::Start(exe, args, workdir));
  return started_.back();
}

}  // namespace rewindor::e2e

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  rewindor::e2e::ParseConfig(argc, argv);
  // Under Wine without a window manager, every window that closes waits two
  // seconds for a manager's answer; unmanaged windows close at once. Programs
  // started from here read this setting when they start. Windows ignores it.
  rewindor::e2e::WriteRegString(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", L"N");
  return RUN_ALL_TESTS();
}
