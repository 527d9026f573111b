// What every end-to-end test shares: where the programs and samples are, and a
// fixture that gives each test a fresh folder and a clean per-user registry,
// and ends whatever the test started.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <deque>
#include <vector>

#include "tests/e2e/driver.h"

namespace rewindor::e2e {

struct E2eConfig {
  std::wstring program;        // rewindor.exe; empty or missing until it is built
  std::wstring samples;        // the folder of the sample demos
  std::wstring fake_game;      // fake_game.exe
  std::wstring artifacts;      // where screenshots are kept
  std::wstring corpus;         // the real recordings; tests that use them skip when absent
  std::wstring second_drive;   // a drive besides C: for the tests' own files ("R:"), or empty
};

E2eConfig& Config();

// Reads --program=, --samples=, --fake-game=, --artifacts=, --corpus= (host or
// Windows paths) and --second-drive= over the built-in defaults.
void ParseConfig(int argc, char** argv);

// The registry keys the program writes per user; removed before each test.
inline constexpr const wchar_t* kSettingsRoot = L"Software\\Kobaltix\\Rewindor";
inline constexpr const wchar_t* kSettingsKey = L"Software\\Kobaltix\\Rewindor\\Settings";
inline constexpr const wchar_t* kClassKey = L"Software\\Classes\\rewindor";
inline constexpr const wchar_t* kExtensionKey = L"Software\\Classes\\.DEM";

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's own folder (its name holds blanks), without a trailing backslash.
  const std::wstring& Dir() const { return dir_; }
  std::wstring At(std::wstring_view relative) const { return dir_ + L"\\" + std::wstring(relative); }

  // Starts a program that TearDown ends if it is still running.
  Process& Launch(const std::wstring& exe, const std::wstring& args, const std::wstring& workdir = L"");

 private:
  std::wstring dir_;
  std::deque<Process> started_;  // a deque keeps references from Launch valid
};

inline void PrintTo(BoxIcon icon, std::ostream* os) { *os << BoxIconName(icon); }

// gtest's message for a failed driver call.
inline std::string Why() { return LastFailure(); }

}  // namespace rewindor::e2e
