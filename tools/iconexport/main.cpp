// iconexport: writes the program's icon as PNG files for the desktop.
// Usage: iconexport OUTPUT_DIR SIZE...   writes OUTPUT_DIR/<SIZE>/tarnview.png
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "res/resources.h"
#include "tools/iconexport/png_file.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: iconexport OUTPUT_DIR SIZE...\n");
    return 2;
  }
  const std::filesystem::path outDir = argv[1];
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 1 || size > 1024) {
      std::fprintf(stderr, "iconexport: bad size %s\n", argv[i]);
      return 2;
    }
    const std::filesystem::path dir = outDir / std::to_string(size);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const std::string path = (dir / "tarnview.png").string();
    if (!iconexport::WritePng(res::DrawAppIcon(size), path)) {
      std::fprintf(stderr, "iconexport: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
