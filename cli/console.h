// The platform's side of the command-line tool: its arguments and its
// console, both in UTF-8. console_posix.cpp and console_win.cpp implement it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rewindor::cli {

// The arguments after the program's name. On Windows they are taken from the
// wide command line, so paths in any script arrive intact.
std::vector<std::string> ProgramArguments(int argc, char** argv);

enum class Stream { kOut, kErr };
// Writes UTF-8 text: as characters to a Windows console, as bytes to
// anything else (a terminal, a pipe, a file).
void WriteText(Stream stream, std::string_view text);
// Called once before the program ends.
void FlushText();

}  // namespace rewindor::cli
