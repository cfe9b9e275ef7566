// The snapshots and clips in the capture folder, as the coach's pages list,
// serve and delete them. Only names Tarnview makes are ever touched
// ("2024-06-15-14-07-09.jpg", "….mp4"), and only regular files: any other
// name, a path, "..", a link, gets nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CaptureFile {
  std::string name;
  uint64_t bytes = 0;
  int64_t modifiedMs = 0;  // ms since 1970 (UTC)
};

// A name of Tarnview's own: the local time "%Y-%m-%d-%H-%M-%S" and ".jpg" or ".mp4".
bool IsCaptureName(std::string_view name);
// The captures of `dir`, newest first.
std::vector<CaptureFile> ListCaptures(const std::string& dir);
// An open descriptor of capture `name` of `dir` with its size; -1 when there
// is none (or it is no regular file).
int OpenCapture(const std::string& dir, std::string_view name, uint64_t* bytes);
bool DeleteCapture(const std::string& dir, std::string_view name);
