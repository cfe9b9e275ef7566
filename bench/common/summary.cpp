#include "bench/common/summary.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

void WriteSummary(const std::string& program, const std::map<std::string, double>& figures) {
  const char* dir = std::getenv("TARNVIEW_BENCH_DIR");
  const std::string path = std::string(dir != nullptr ? dir : ".") + "/" + program + ".summary.json";
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    std::perror(path.c_str());
    return;
  }
  std::fputs("{", file);
  const char* separator = "";
  for (const auto& [name, value] : figures) {
    std::fprintf(file, "%s\n  \"%s\": %.4g", separator, name.c_str(), value);
    separator = ",";
  }
  std::fputs("\n}\n", file);
  std::fclose(file);
  std::printf("%s: %zu headline figures in %s\n", program.c_str(), figures.size(), path.c_str());
}

}  // namespace bench
