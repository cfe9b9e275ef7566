#include "web/WebSite.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "session/StreamHistory.h"
#include "web/HlsPlaylist.h"
#include "web/WebAnswers.h"
#include "web/WebAssets.h"

namespace {

constexpr int64_t kTicksPerSecond = 90000;  // PES time stamps
// Numbers longer than this are no segment of ours (and would overflow).
constexpr size_t kMaxNumberDigits = 18;

const char* CodecName(stream::VideoCodec codec) {
  switch (codec) {
    case stream::VideoCodec::kH264:
      return "\"h264\"";
    case stream::VideoCodec::kH265:
      return "\"h265\"";
    default:
      return "null";
  }
}

// The number of a segment name "<run>-<number>.ts"; -1 when it is none of this run's.
int64_t SegmentNumber(std::string_view name, const std::string& run) {
  constexpr std::string_view kSuffix = ".ts";
  if (name.size() <= run.size() + 1 + kSuffix.size() || name.substr(0, run.size()) != run ||
      name[run.size()] != '-' || name.substr(name.size() - kSuffix.size()) != kSuffix) {
    return -1;
  }
  const std::string_view digits =
      name.substr(run.size() + 1, name.size() - run.size() - 1 - kSuffix.size());
  if (digits.empty() || digits.size() > kMaxNumberDigits) {
    return -1;
  }
  int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      return -1;
    }
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

std::string NewRunName() {
  std::string token = RandomToken();
  return token.empty() ? "00000000" : token.substr(0, 8);
}

WebSite::WebSite(const StreamHistory& history, WebTokens tokens, const WebClock& clock,
                 StateSource state, std::string run, CoachParts coach)
    : m_history(history),
      m_tokens(std::move(tokens)),
      m_clock(clock),
      m_state(std::move(state)),
      m_run(std::move(run)),
      m_coach(m_tokens, std::move(coach)) {}

bool WebSite::ViewerAllowed(const http::Request& request) const {
  const auto token = request.query.find("t");
  if (token == request.query.end()) {
    return false;
  }
  // Both are checked, so the time taken does not tell which one matched.
  const bool viewer = SameToken(token->second, m_tokens.view);
  const bool coach = SameToken(token->second, m_tokens.coach);
  return viewer || coach;
}

http::Response WebSite::Handle(const http::Request& request) const {
  if (CoachSite::Serves(request.path)) {
    return m_coach.Handle(request);
  }
  if (request.method != "GET" && request.method != "HEAD") {
    http::Response refused = Text(405, "Only GET and HEAD are answered here.\n");
    refused.headers.emplace_back("Allow", "GET, HEAD");
    return refused;
  }
  const std::string_view path = request.path;
  const bool known = path == "/view" || path == "/live.m3u8" || path == "/time" ||
                     path == "/status" || path.rfind("/seg/", 0) == 0 || FindAsset(path);
  if (!known) {
    return Text(404, "No such page.\n");
  }
  // The scripts are code anybody may read, and the page must load them
  // before it can name its token; everything else needs one.
  if (const std::optional<WebAsset> asset = FindAsset(path)) {
    return Answer(200, asset->type, std::string(asset->bytes), kScriptCaching);
  }
  if (!ViewerAllowed(request)) {
    return Refused();
  }
  if (path == "/view") {
    return Page(FindPage("view"));
  }
  if (path == "/live.m3u8") {
    // The token asked with is known to be one of ours: 32 hex digits.
    return Playlist("?t=" + request.query.at("t"));
  }
  if (path == "/time") {
    char body[64];
    std::snprintf(body, sizeof body, "{\"now\":%" PRId64 "}", m_clock.NowMs());
    return Json(200, body);
  }
  if (path == "/status") {
    return Status();
  }
  return Segment(path.substr(std::string_view("/seg/").size()), request);
}

http::Response WebSite::Playlist(const std::string& query) const {
  std::vector<PlaylistSegment> segments;
  for (const HistoryGroup& group : m_history.Groups()) {
    segments.push_back({group.llNumber, m_clock.WallMsOf(group.dwFirstTick),
                        static_cast<double>(group.llDurationPts) / kTicksPerSecond});
  }
  if (segments.empty()) {
    return Text(404, "没有进行中的教学 (no session, or no whole key-frame group yet).\n");
  }
  return Answer(200, "application/vnd.apple.mpegurl", MediaPlaylist(segments, m_run, query),
                kPlaylistCaching);
}

http::Response WebSite::Segment(std::string_view name, const http::Request& request) const {
  const int64_t number = SegmentNumber(name, m_run);
  const HistorySpan span = number >= 0 ? m_history.GroupSpan(number) : HistorySpan{};
  if (span.records.empty() || span.header == nullptr) {
    return Text(404, "No such segment (it left the history, or belongs to another run).\n");
  }
  const std::string tag = "\"" + m_run + "-" + std::to_string(number) + "\"";
  const auto match = request.headers.find("if-none-match");
  if (match != request.headers.end() && match->second == tag) {
    http::Response unchanged = Answer(304, "video/mp2t", {}, kSegmentCaching);
    unchanged.headers.emplace_back("ETag", tag);
    return unchanged;
  }
  http::Response segment = Answer(200, "video/mp2t", {}, kSegmentCaching);
  segment.headers.emplace_back("ETag", tag);
  // The stream header, then the group's records as they arrived: no copy.
  segment.pieces.push_back({span.header, span.header->data(), span.header->size()});
  for (const HistoryRecordRef& record : span.records) {
    segment.pieces.push_back({record, record->data.data(), record->data.size()});
  }
  return segment;
}

http::Response WebSite::Status() const {
  const WebSessionState state = m_state();
  const std::vector<HistoryGroup> groups = m_history.Groups();
  double heldSeconds = 0;
  for (const HistoryGroup& group : groups) {
    heldSeconds += static_cast<double>(group.llDurationPts) / kTicksPerSecond;
  }
  char body[256];
  std::snprintf(body, sizeof body,
                "{\"session\":%s,\"codec\":%s,\"delay\":%d,\"history\":%.1f,\"generation\":%" PRIu64
                "}",
                state.running ? "true" : "false", CodecName(m_history.Codec()),
                state.delaySeconds, heldSeconds, m_history.Generation());
  return Json(200, body);
}
