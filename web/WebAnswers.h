// The answers the web screens give, with the headers every one of them
// carries (no sniffing of types, no referrer: the token stands in the pages'
// addresses), and how long caches may keep each kind.
#pragma once

#include <string>

#include "platform/http/server.h"

// A segment never changes: caches may keep it as long as they like.
inline constexpr char kSegmentCaching[] = "public, max-age=86400, immutable";
// The playlist grows with every key frame: a cache in front serves it for at
// most a second, so that every screen sees a new segment within one.
inline constexpr char kPlaylistCaching[] = "public, max-age=1";
// Scripts change only with the program.
inline constexpr char kScriptCaching[] = "public, max-age=3600";
// State, clocks, pages that name a token, the coach's files: never from a cache.
inline constexpr char kNoCaching[] = "no-store";

http::Response Answer(int status, const char* type, std::string body, const char* caching);
// Plain text for people.
http::Response Text(int status, const char* text);
http::Response Json(int status, std::string body);
// A page (HTML), held to what it may load: only this server (hls.js starts its
// worker from a blob, and feeds the picture through one).
http::Response Page(std::string_view html);
// The 403 every refused request gets.
http::Response Refused();
