// The launcher's platform on Win32, through the wide API so that paths with
// any letters work whatever the ANSI code page.
#include <windows.h>

#include "demo/report.h"
#include "demo/utf8.h"
#include "launch/launcher.h"

namespace rewindor {

namespace {

class Win32GamePlatform final : public GamePlatform {
 public:
  void SetNormalAttributes(const std::string& path) override {
    SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  bool CopyReplacing(const std::string& from, const std::string& to) override {
    if (CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) return true;
    return Fail();
  }

  bool RunToEnd(const std::string& application, const std::string& commandLine) override {
    std::wstring app = Wide(application);
    std::wstring line = Wide(commandLine);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return Fail();
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
  }

  void RemoveFile(const std::string& path) override { DeleteFileW(Wide(path).c_str()); }

  SystemError LastError() override { return SystemErrorFromCode(lastError_); }

 private:
  // Taken at the failure, before anything else can change the thread's code.
  bool Fail() {
    lastError_ = GetLastError();
    return false;
  }

  DWORD lastError_ = 0;
};

}  // namespace

GamePlatform& NativeGamePlatform() {
  static Win32GamePlatform platform;
  return platform;
}

}  // namespace rewindor
