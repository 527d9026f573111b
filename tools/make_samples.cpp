// rewindor-make-samples OUTDIR: writes the bundled sample demos into OUTDIR.
// The same program writes the same bytes on every run and every platform.
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/demo_builder.h"

namespace {

bool WriteFile(const std::string& path, const rewindor::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "rewindor-make-samples: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rewindor-make-samples OUTDIR\n");
    return 2;
  }
  namespace b = rewindor::builder;
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  bool ok = WriteFile(dir + b::kClientSampleName, b::Build(b::ClientSample()).bytes);
  ok = WriteFile(dir + b::kHltvSampleName, b::Build(b::HltvSample()).bytes) && ok;
  return ok ? 0 : 1;
}
