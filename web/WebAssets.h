// The files the web screens serve, built into the program (a pool has no
// internet, and an installed program finds them wherever it runs): the viewer
// page, its script, and hls.js from the npm registry at the version
// web/npm/package-lock.json pins.
#pragma once

#include <optional>
#include <string_view>

struct WebAsset {
  std::string_view bytes;
  const char* type;  // Content-Type
};

// The page (HTML) named "view", "coach" or "clips"; empty for another name.
std::string_view FindPage(std::string_view name);
// The script at `path` ("/viewer.js", "/hls.min.js", "/coach.js",
// "/clips.js"); none for any other path.
std::optional<WebAsset> FindAsset(std::string_view path);
