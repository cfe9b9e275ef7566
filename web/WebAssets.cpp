#include "web/WebAssets.h"

#include <cstddef>

// Bounds of each file as the assembler took it in (web/CMakeLists.txt).
extern "C" {
extern const char tarnview_view_html_start[];
extern const char tarnview_view_html_end[];
extern const char tarnview_viewer_js_start[];
extern const char tarnview_viewer_js_end[];
extern const char tarnview_hls_js_start[];
extern const char tarnview_hls_js_end[];
}

namespace {

std::string_view Between(const char* start, const char* end) {
  return {start, static_cast<size_t>(end - start)};
}

constexpr char kScript[] = "application/javascript; charset=utf-8";

}  // namespace

std::string_view ViewerPage() { return Between(tarnview_view_html_start, tarnview_view_html_end); }

std::optional<WebAsset> FindAsset(std::string_view path) {
  if (path == "/viewer.js") {
    return WebAsset{Between(tarnview_viewer_js_start, tarnview_viewer_js_end), kScript};
  }
  if (path == "/hls.min.js") {
    return WebAsset{Between(tarnview_hls_js_start, tarnview_hls_js_end), kScript};
  }
  return std::nullopt;
}
