#include "web/CaptureFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// "YYYY-MM-DD-HH-MM-SS": digits but for the dashes.
constexpr std::string_view kTimeShape = "0000-00-00-00-00-00";

int64_t ModifiedMs(const struct stat& status) {
  return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
}

}  // namespace

bool IsCaptureName(std::string_view name) {
  if (name.size() != kTimeShape.size() + 4) {
    return false;
  }
  for (size_t i = 0; i < kTimeShape.size(); ++i) {
    const bool digit = name[i] >= '0' && name[i] <= '9';
    if (kTimeShape[i] == '-' ? name[i] != '-' : !digit) {
      return false;
    }
  }
  const std::string_view extension = name.substr(kTimeShape.size());
  return extension == ".jpg" || extension == ".mp4";
}

std::vector<CaptureFile> ListCaptures(const std::string& dir) {
  std::vector<CaptureFile> files;
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) {
    return files;
  }
  while (const dirent* entry = readdir(folder)) {
    struct stat status {};
    if (IsCaptureName(entry->d_name) &&
        fstatat(dirfd(folder), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      files.push_back({entry->d_name, static_cast<uint64_t>(status.st_size), ModifiedMs(status)});
    }
  }
  closedir(folder);
  std::sort(files.begin(), files.end(), [](const CaptureFile& a, const CaptureFile& b) {
    return a.modifiedMs != b.modifiedMs ? a.modifiedMs > b.modifiedMs : a.name > b.name;
  });
  return files;
}

int OpenCapture(const std::string& dir, std::string_view name, uint64_t* bytes) {
  if (!IsCaptureName(name)) {
    return -1;
  }
  const std::string path = dir + "/" + std::string(name);
  // No link is followed, and no device or pipe opened that would block.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status {};
  if (fd < 0) {
    return -1;
  }
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return -1;
  }
  *bytes = static_cast<uint64_t>(status.st_size);
  return fd;
}

bool DeleteCapture(const std::string& dir, std::string_view name) {
  if (!IsCaptureName(name)) {
    return false;
  }
  const std::string path = dir + "/" + std::string(name);
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         unlink(path.c_str()) == 0;
}
