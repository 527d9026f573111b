// Start-up's Win32 side: the command line, the executable's path, the long
// path service, the association's error boxes and the single instance.
#include <windows.h>

#include "app/hand_over.h"
#include "app/startup.h"
#include "demo/ascii.h"
#include "demo/messages.h"
#include "demo/report.h"
#include "demo/utf8.h"
#include "res/resource.h"

namespace rewindor {

namespace {

class Win32PathLookup final : public PathLookup {
 public:
  Service SystemLongPath(const std::string& path, std::string& longPath) override {
    // Looked up at run time: a system without it gets the fallback.
    using LongPathName = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto service =
        kernel == nullptr
            ? nullptr
            : reinterpret_cast<LongPathName>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameW")));
    if (service == nullptr) return Service::kUnavailable;
    std::wstring source = Wide(path);
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD length = service(source.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return Service::kFailed;
      if (length < buffer.size()) {
        buffer.resize(length);
        longPath = Narrow(buffer);
        return Service::kDone;
      }
      buffer.assign(length, L'\0');  // too small: `length` is the size it needs
    }
    return Service::kFailed;
  }

  std::optional<std::string> FirstEntryName(const std::string& path) override {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(Wide(path).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(search);
    return Narrow(entry.cFileName);
  }
};

std::string CommandLineArgument() {
  std::string line = Narrow(GetCommandLineW());
  return std::string(ArgumentText(line));
}

std::string ExecutablePathOfProcess() {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);  // cut: try with more room
  }
}

// The 8.3 form of an existing path, or empty when the volume gives none.
std::string ShortPathOf(const std::string& path) {
  std::wstring wide = Wide(path);
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = GetShortPathNameW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return Narrow(buffer);
}

// The running instance's main window: a dialog titled "Rewindor" that has the
// demo path field. A message box of that instance bears the same title but
// not the field, and must not receive the hand-over.
HWND RunningMainWindow() {
  std::wstring title = Wide(kMainWindowTitle);
  HWND candidate = nullptr;
  while ((candidate = FindWindowExW(nullptr, candidate, L"#32770", title.c_str())) != nullptr) {
    if (GetDlgItem(candidate, IDC_DEMO_PATH) != nullptr) return candidate;
  }
  return nullptr;
}

}  // namespace

PathLookup& NativePathLookup() {
  static Win32PathLookup lookup;
  return lookup;
}

StartupFacts PrepareStartup() {
  StartupFacts facts;
  facts.pendingDemoPath = ExpandToLongPath(ArgumentPath(CommandLineArgument()), NativePathLookup());
  facts.executablePath = ExecutablePathOfProcess();
  facts.programFolder = BeforeLastBackslash(facts.executablePath);
  std::unique_ptr<Registry> registry = MakeNativeRegistry();
  const bool percent = facts.executablePath.find('%') != std::string::npos;
  facts.associationFailures = RegisterShellAssociation(facts.executablePath, *registry,
                                                       percent ? ShortPathOf(facts.executablePath) : std::string());
  return facts;
}

InstanceGuard::~InstanceGuard() {
  Release();
  if (mutex_ != nullptr) CloseHandle(static_cast<HANDLE>(mutex_));
}

bool InstanceGuard::BecomeFirstInstance(std::string_view mutexName) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, Wide(mutexName).c_str());
  DWORD error = GetLastError();
  if (mutex == nullptr) {
    // Denied: it exists, made by an instance running with other rights.
    // Any other failure leaves us without a guard, but the window opens.
    return error != ERROR_ACCESS_DENIED;
  }
  mutex_ = mutex;
  if (error == ERROR_ALREADY_EXISTS) return false;  // not granted to us: another instance owns it
  owned_ = true;
  return true;
}

void InstanceGuard::Release() {
  if (owned_) ReleaseMutex(static_cast<HANDLE>(mutex_));
  owned_ = false;
}

bool InstanceGuard::HandOverOrTakeOver(std::string_view pendingDemoPath) {
  constexpr DWORD kStepMs = 50;
  constexpr int kSteps = 100;  // five seconds
  for (int step = 0; step < kSteps; ++step) {
    if (HandOverToRunningInstance(pendingDemoPath)) return false;
    if (mutex_ == nullptr) {
      Sleep(kStepMs);
      continue;
    }
    // Abandoned or given up: the other instance has ended, and the window is ours to open.
    DWORD waited = WaitForSingleObject(static_cast<HANDLE>(mutex_), kStepMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
      owned_ = true;
      return true;
    }
  }
  return false;
}

bool HandOverToRunningInstance(std::string_view pendingDemoPath) {
  HWND window = RunningMainWindow();
  if (window == nullptr) return false;
  if (IsIconic(window) || !IsWindowVisible(window)) ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(window);
  if (pendingDemoPath.empty()) return true;
  HandOver handOver = ComposeHandOver(pendingDemoPath, NativeAnsiCodePage());
  COPYDATASTRUCT message{};
  message.dwData = handOver.tag;
  message.cbData = static_cast<DWORD>(handOver.data.size());
  message.lpData = handOver.data.data();
  // Synchronous: returns when the running instance has read the demo.
  SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message));
  return true;
}

}  // namespace rewindor
