#include "session/CaptureFolder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace {

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? home : "/tmp";
}

// The pictures folder as the desktop's user-dirs.dirs names it; lines read
// XDG_PICTURES_DIR="$HOME/Pictures" or an absolute path.
std::string PicturesDirectory() {
  const std::string home = HomeDirectory();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config =
      (configHome != nullptr && *configHome != '\0' ? std::string(configHome) : home + "/.config") +
      "/user-dirs.dirs";
  std::ifstream file(config);
  const std::string key = "XDG_PICTURES_DIR=\"";
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(key, 0) != 0 || line.back() != '"') {
      continue;
    }
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) {
      value = home + value.substr(5);
    }
    // A pictures folder set to the home folder itself means "not set up".
    if (!value.empty() && value[0] == '/' && value != home && value != home + "/") {
      return value;
    }
  }
  return home + "/Pictures";
}

}  // namespace

std::string CaptureDirectory() { return PicturesDirectory() + "/Capture"; }

void CreateCaptureDirectory() {
  ::mkdir(PicturesDirectory().c_str(), 0755);
  ::mkdir(CaptureDirectory().c_str(), 0755);
}
