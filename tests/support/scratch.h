// What several tests share: a scratch folder on the disk, a demo made by
// hand, a run of the command-line tool, and the window's way of showing a demo
// text in the Cyrillic code page.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "demo/demo_format.h"
#include "demo/utf8.h"
#include "demo/utf8_paths.h"

namespace rewindor {

// A folder of its own under the temp folder, removed with everything in it.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view name) {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(random()));
    std::filesystem::create_directories(root_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  // Writes a file, making the folders on the way; its path in UTF-8, joined as the system joins paths.
  std::string Write(const std::string& relative, std::string_view bytes) const {
    const std::filesystem::path path = (root_ / PathFromUtf8(relative)).make_preferred();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return PathToUtf8(path);
  }
  std::string Write(const std::string& relative, ByteView bytes) const {
    return Write(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::string Path(const std::string& relative = "") const {
    return PathToUtf8(relative.empty() ? root_ : (root_ / PathFromUtf8(relative)).make_preferred());
  }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// A demo made by hand: the header, then `body`, then two bytes so that no
// marker ends at the file's last byte.
inline std::string HandMadeDemo(std::string_view map, std::string_view mod, std::string_view body) {
  std::string demo(kHeaderSize, '\0');
  demo.replace(0, 6, "HLDEMO");
  demo[kDemoProtocolOffset] = 5;
  demo[kNetworkProtocolOffset] = 48;
  demo.replace(kMapNameOffset, map.size(), map);
  demo.replace(kGameDirOffset, mod.size(), mod);
  return demo.append(body).append("..");
}

// The tool's console, kept.
struct RecordingConsole : cli::Console {
  void Out(std::string_view text) override { out += text; }
  void Err(std::string_view text) override { err += text; }
  std::string out, err;
};
struct ToolOutput {
  int status = 0;
  std::string out, err;
};
inline ToolOutput RunTool(const std::vector<std::string>& args) {
  RecordingConsole console;
  const int status = cli::RunCli(args, NativeFileSystem(), console);
  return {status, console.out, console.err};
}

// A stand-in for the window's decoding of a demo text that is not UTF-8 in
// the Cyrillic code page (Windows-1251): 0xC0..0xFF are А..я.
inline std::string AsCyrillicCodePage(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0xC0 ? 0x410u + (b - 0xC0u) : b);
  }
  return out;
}

}  // namespace rewindor
