// rewindor-cli: see cli/cli.h.
#include <exception>

#include "cli/cli.h"
#include "cli/console.h"

namespace {

class PlatformConsole final : public rewindor::cli::Console {
 public:
  void Out(std::string_view text) override { WriteText(rewindor::cli::Stream::kOut, text); }
  void Err(std::string_view text) override { WriteText(rewindor::cli::Stream::kErr, text); }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace rewindor::cli;
  PlatformConsole console;
  int status = kExitFailed;
  try {
    status = RunCli(ProgramArguments(argc, argv), rewindor::NativeFileSystem(), console);
  } catch (const std::exception& e) {
    console.Err(std::string("rewindor-cli: ") + e.what() + "\n");
  }
  FlushText();
  return status;
}
