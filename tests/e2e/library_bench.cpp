// The user's wait for the library, measured on the shipped program: a folder
// of real demos (the corpus copied over and over), the time from pressing the
// library's button to its status line saying every demo was read, against
// `rewindor-cli info --json -r` on the same folder; and how long the window
// kept the user waiting for an answer meanwhile. Prints figures, asserts
// nothing (tools/library-bench.sh runs it under Wine).
//
//   rewindor_library_bench --program=rewindor.exe --cli=rewindor-cli.exe --corpus=FOLDER
//                          [--demos=1000] [--runs=5]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/driver.h"

namespace rewindor::e2e {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
  std::wstring program, cli, corpus;
  int demos = 1000;
  int runs = 5;
};

// Every .dem below `folder`, sorted.
void FindDemos(const std::wstring& folder, std::vector<std::wstring>& found) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      FindDemos(path, found);
    } else if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".dem") == 0) {
      found.push_back(path);
    }
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  std::sort(found.begin(), found.end());
}

// The corpus copied over and over into `folder`, `count` demos; their total
// size, and the first of them in `first`.
double MakeFolder(const Options& options, const std::wstring& folder, std::wstring& first) {
  std::vector<std::wstring> demos;
  FindDemos(options.corpus, demos);
  if (demos.empty()) return -1;
  double bytes = 0;
  for (int i = 0; i < options.demos; ++i) {
    const std::wstring& from = demos[static_cast<std::size_t>(i) % demos.size()];
    wchar_t prefix[16];
    swprintf(prefix, 16, L"%04d-", i);
    const std::wstring to = folder + L"\\" + prefix + from.substr(from.find_last_of(L'\\') + 1);
    if (!CopyFileTo(from, to)) return -1;
    if (i == 0) first = to;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &data)) bytes += data.nFileSizeLow;
  }
  return bytes;
}

// One run of the command-line tool, its output into a file: its wall time.
double RunCli(const Options& options, const std::wstring& args, const std::wstring& output) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return -1;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::wstring command = L"\"" + options.cli + L"\" " + args;
  PROCESS_INFORMATION process{};
  const auto start = Clock::now();
  if (!CreateProcessW(options.cli.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(out);
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  const double seconds = SecondsSince(start);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(out);
  return seconds;
}

// How long the window took to answer, each time it was asked.
struct Answers {
  std::vector<double> waits;  // seconds
  double Worst() const { return waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end()); }
  std::size_t Over(double seconds) const {
    return static_cast<std::size_t>(std::count_if(waits.begin(), waits.end(), [&](double w) { return w > seconds; }));
  }
};

// Sends WM_NULL and measures the wait for the answer.
void Ask(HWND window, Answers& answers) {
  DWORD_PTR result = 0;
  const auto start = Clock::now();
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
  answers.waits.push_back(SecondsSince(start));
}

// The library's status line, read as a message the window must answer.
std::wstring ReadStatus(HWND library, Answers& answers) {
  const auto start = Clock::now();
  std::wstring status = GetText(library, IDC_LIBRARY_STATUS).value_or(L"");
  answers.waits.push_back(SecondsSince(start));
  return status;
}

// One opening of the library: the seconds from the click to "N из N", the
// window asked WM_NULL every 50 ms meanwhile and its status line read every
// few milliseconds. Negative when it did not come.
double OpenLibrary(HWND main, DWORD pid, int demos, Answers& answers) {
  const std::wstring all = std::to_wstring(demos);
  const std::wstring done = all + L" из " + all;
  const auto start = Clock::now();
  if (!Click(main, IDC_LIBRARY_OPEN)) return -1;
  HWND library = nullptr;
  auto asked = Clock::now();
  while (SecondsSince(start) < 120) {
    if (library == nullptr) {
      const auto found = TopWindows(L"Библиотека демок", pid, IDC_LIBRARY_LIST);
      if (!found.empty()) library = found.front();
    } else if (ReadStatus(library, answers) == done) {
      const double seconds = SecondsSince(start);
      PressEscape(library);
      WaitWindowGone(L"Библиотека демок", pid, kDefaultWait, IDC_LIBRARY_LIST);
      return seconds;
    }
    if (std::chrono::duration<double>(Clock::now() - asked).count() >= 0.05) {
      Ask(library != nullptr ? library : main, answers);
      asked = Clock::now();
    }
    Sleep(2);
  }
  return -1;
}

double Best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Line(const char* what, double value, const char* unit, const char* note = "") {
  std::printf("  %-46s %9.3f %-4s %s\n", what, value, unit, note);
}

struct Figures {
  std::vector<double> cli, start, library;
  Answers answers;
};

void Report(const Figures& f) {
  Line("rewindor-cli info --json -r FOLDER, best (s)", Best(f.cli), "s");
  Line("  median (s)", Median(f.cli), "s");
  Line("  the tool's start alone (--version, best) (s)", Best(f.start), "s");
  Line("the library: click to all rows read, best (s)", Best(f.library), "s");
  Line("  median (s)", Median(f.library), "s");
  Line("library / info --json, best", Best(f.library) / Best(f.cli), "x", "(target <= 1.5)");
  Line("library / info --json, medians", Median(f.library) / Median(f.cli), "x", "(target <= 1.5)");
  std::printf("  the window asked while reading (WM_NULL every 50 ms, the status line between): %zu times\n",
              f.answers.waits.size());
  Line("  longest wait for its answer (ms)", f.answers.Worst() * 1000, "ms", "(target: about 100 at most)");
  Line("  answers that took over 100 ms", static_cast<double>(f.answers.Over(0.1)), "");
}

// The tool and the library in turn, so that what else the machine does weighs on both alike.
bool Measure(const Options& options, const std::wstring& dir, const std::wstring& folder, const std::wstring& first,
             Figures& f) {
  const std::wstring json = dir + L"\\info.jsonl";
  const std::wstring args = L"info --json -r \"" + folder + L"\"";
  RunCli(options, args, json);  // warms the cache
  // Started on a demo of the folder, so that its folder list shows the folder.
  Process program = Process::Start(options.program, L"\"" + first + L"\"", dir);
  HWND main = FindTopWindow(L"Rewindor", program.id(), kDefaultWait, IDC_DEMO_PATH);
  if (main == nullptr) return false;
  Sleep(500);  // a demo whose reading the window refuses says so in a box
  for (const MessageBoxInfo& box : OpenMessageBoxes(program.id())) PressBoxButton(box, IDOK);
  OpenLibrary(main, program.id(), options.demos, f.answers);  // a first opening, as warm as the tool's
  f.answers.waits.clear();
  for (int i = 0; i < options.runs; ++i) {
    f.cli.push_back(RunCli(options, args, json));
    f.start.push_back(RunCli(options, L"--version", dir + L"\\version.txt"));
    f.library.push_back(OpenLibrary(main, program.id(), options.demos, f.answers));
  }
  program.Kill();
  for (const auto* times : {&f.cli, &f.start, &f.library}) {
    if (*std::min_element(times->begin(), times->end()) < 0) return false;
  }
  return true;
}

int Run(const Options& options) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + L"rewindor-library-bench-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring folder = dir + L"\\demos";
  std::wstring first;
  const double bytes = MakeFolder(options, folder, first);
  if (bytes < 0) {
    std::fprintf(stderr, "could not copy the corpus into %s: %s\n", ToUtf8(folder).c_str(), LastFailure().c_str());
    DeleteTree(dir);
    return 1;
  }
  std::printf("the library under Wine: %d demos, %.1f MiB; %d runs each, warm cache\n", options.demos,
              bytes / 1048576.0, options.runs);
  Figures figures;
  const bool measured = Measure(options, dir, folder, first, figures);
  DeleteTree(dir);
  if (!measured) {
    std::fprintf(stderr, "a run failed: %s\n", LastFailure().c_str());
    return 1;
  }
  Report(figures);
  return 0;
}

}  // namespace
}  // namespace rewindor::e2e

int main(int argc, char** argv) {
  using namespace rewindor::e2e;
  // Under Wine without a window manager, unmanaged windows close at once (as in the tests).
  WriteRegString(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", L"N");
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view prefix) { return arg.substr(prefix.size()); };
    if (arg.rfind("--program=", 0) == 0) options.program = FromHostPath(value("--program="));
    else if (arg.rfind("--cli=", 0) == 0) options.cli = FromHostPath(value("--cli="));
    else if (arg.rfind("--corpus=", 0) == 0) options.corpus = FromHostPath(value("--corpus="));
    else if (arg.rfind("--demos=", 0) == 0) options.demos = std::atoi(std::string(value("--demos=")).c_str());
    else if (arg.rfind("--runs=", 0) == 0) options.runs = std::atoi(std::string(value("--runs=")).c_str());
  }
  if (options.program.empty() || options.cli.empty() || options.corpus.empty() || options.demos < 1 ||
      options.runs < 1) {
    std::fprintf(stderr, "usage: rewindor_library_bench --program=EXE --cli=EXE --corpus=FOLDER [--demos=N] "
                         "[--runs=N]\n");
    return 2;
  }
  return Run(options);
}
