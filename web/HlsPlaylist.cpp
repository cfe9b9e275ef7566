#include "web/HlsPlaylist.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// EXTINF with decimals needs version 3; PROGRAM-DATE-TIME is in every version.
constexpr int kVersion = 3;

}  // namespace

std::string IsoUtc(int64_t ms) {
  const int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const auto time = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[96];  // room for any int the fields may hold
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms - seconds * 1000));
  return text;
}

std::string MediaPlaylist(const std::vector<PlaylistSegment>& segments, const std::string& run,
                          const std::string& query) {
  double longest = 1;
  for (const PlaylistSegment& segment : segments) {
    longest = std::max(longest, segment.seconds);
  }
  char line[128];
  std::string playlist = "#EXTM3U\n";
  std::snprintf(line, sizeof line,
                "#EXT-X-VERSION:%d\n#EXT-X-TARGETDURATION:%d\n#EXT-X-MEDIA-SEQUENCE:%" PRId64 "\n",
                kVersion, static_cast<int>(std::ceil(longest)),
                segments.empty() ? int64_t{0} : segments.front().number);
  playlist += line;
  for (const PlaylistSegment& segment : segments) {
    std::snprintf(line, sizeof line, "#EXT-X-PROGRAM-DATE-TIME:%s\n#EXTINF:%.3f,\n",
                  IsoUtc(segment.arrivalMs).c_str(), segment.seconds);
    playlist += line;
    playlist += "seg/" + run + "-" + std::to_string(segment.number) + ".ts" + query + "\n";
  }
  return playlist;
}
