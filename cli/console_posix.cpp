#include <cstdio>

#include "cli/console.h"

namespace rewindor::cli {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void WriteText(Stream stream, std::string_view text) {
  // Errors follow the output that came before them, also on one terminal.
  if (stream == Stream::kErr) std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stream == Stream::kOut ? stdout : stderr);
}

void FlushText() {
  std::fflush(stdout);
  std::fflush(stderr);
}

}  // namespace rewindor::cli
