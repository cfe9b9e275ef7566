// The HLS media playlist (RFC 8216) of the stream history: one segment per
// whole key-frame group, oldest first, each with the wall-clock time of its
// first record's arrival (EXT-X-PROGRAM-DATE-TIME), so that a player knows
// how long ago each picture arrived. A live playlist without an end: it
// slides over the history as the history slides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PlaylistSegment {
  int64_t number = 0;     // the group's number: the segment's media sequence number
  int64_t arrivalMs = 0;  // wall clock of its first record's arrival, ms since 1970 (UTC)
  double seconds = 0;     // its duration
};

// "#EXTM3U" and one entry per segment; each URI is "seg/<run>-<number>.ts"
// followed by `query` ("?t=..." or empty). Empty segments: a playlist with none.
std::string MediaPlaylist(const std::vector<PlaylistSegment>& segments, const std::string& run,
                          const std::string& query);

// "2024-06-15T06:07:09.123Z": the ISO 8601 form the playlist's dates take.
std::string IsoUtc(int64_t ms);
