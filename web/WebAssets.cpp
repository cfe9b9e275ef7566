#include "web/WebAssets.h"

#include <cstddef>

// Bounds of each file as the assembler took it in (web/CMakeLists.txt).
#define TARNVIEW_ASSET(symbol)              \
  extern "C" const char symbol##_start[]; \
  extern "C" const char symbol##_end[];
TARNVIEW_ASSET(tarnview_view_html)
TARNVIEW_ASSET(tarnview_coach_html)
TARNVIEW_ASSET(tarnview_clips_html)
TARNVIEW_ASSET(tarnview_viewer_js)
TARNVIEW_ASSET(tarnview_coach_js)
TARNVIEW_ASSET(tarnview_clips_js)
TARNVIEW_ASSET(tarnview_hls_js)
#undef TARNVIEW_ASSET

namespace {

std::string_view Between(const char* start, const char* end) {
  return {start, static_cast<size_t>(end - start)};
}

constexpr char kScript[] = "application/javascript; charset=utf-8";

struct Named {
  std::string_view name;
  const char* start;
  const char* end;
};

const Named kPages[] = {
    {"view", tarnview_view_html_start, tarnview_view_html_end},
    {"coach", tarnview_coach_html_start, tarnview_coach_html_end},
    {"clips", tarnview_clips_html_start, tarnview_clips_html_end},
};

const Named kScripts[] = {
    {"/viewer.js", tarnview_viewer_js_start, tarnview_viewer_js_end},
    {"/coach.js", tarnview_coach_js_start, tarnview_coach_js_end},
    {"/clips.js", tarnview_clips_js_start, tarnview_clips_js_end},
    {"/hls.min.js", tarnview_hls_js_start, tarnview_hls_js_end},
};

}  // namespace

std::string_view FindPage(std::string_view name) {
  for (const Named& page : kPages) {
    if (page.name == name) {
      return Between(page.start, page.end);
    }
  }
  return {};
}

std::optional<WebAsset> FindAsset(std::string_view path) {
  for (const Named& script : kScripts) {
    if (script.name == path) {
      return WebAsset{Between(script.start, script.end), kScript};
    }
  }
  return std::nullopt;
}
