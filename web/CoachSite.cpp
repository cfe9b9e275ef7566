#include "web/CoachSite.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <optional>

#include "web/ByteRange.h"
#include "web/CaptureFiles.h"
#include "web/FlatJson.h"
#include "web/WebAnswers.h"
#include "web/WebAssets.h"

namespace {

constexpr char kTokenHeader[] = "x-tarnview-token";  // as the server gives names: lower case
constexpr std::string_view kApiClips = "/api/clips/";
constexpr std::string_view kCaptures = "/clips/";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

http::Response Refusal(int status, const char* text, const char* allow = nullptr) {
  http::Response answer = Text(status, text);
  if (allow != nullptr) {
    answer.headers.emplace_back("Allow", allow);
  }
  return answer;
}

http::Response Done(const RemoteAnswer& answer) {
  return Json(200, std::string("{\"done\":") + (answer.done ? "true" : "false") +
                       ",\"message\":" + JsonString(answer.message) + "}");
}

// The one member `name` of a flat JSON object, none when the body is not one.
std::optional<std::string> Member(const std::string& body, const char* name) {
  const auto members = ParseFlatJsonObject(body);
  if (!members || members->size() != 1 || members->count(name) == 0) {
    return std::nullopt;
  }
  return members->at(name);
}

}  // namespace

CoachSite::CoachSite(const WebTokens& tokens, CoachParts parts)
    : m_tokens(tokens), m_parts(std::move(parts)) {}

bool CoachSite::Serves(std::string_view path) {
  return path == "/coach" || path == "/clips" || StartsWith(path, "/api/") ||
         StartsWith(path, kCaptures);
}

bool CoachSite::HeaderHoldsCoachToken(const http::Request& request) const {
  const auto token = request.headers.find(kTokenHeader);
  return token != request.headers.end() && SameToken(token->second, m_tokens.coach);
}

bool CoachSite::QueryHoldsCoachToken(const http::Request& request) const {
  const auto token = request.query.find("t");
  return token != request.query.end() && SameToken(token->second, m_tokens.coach);
}

http::Response CoachSite::Handle(const http::Request& request) const {
  const std::string_view path = request.path;
  const bool read = request.method == "GET" || request.method == "HEAD";
  if (StartsWith(path, "/api/")) {
    // Before anything is read or done: the token in the header, or nothing.
    return HeaderHoldsCoachToken(request) ? Api(request) : Refused();
  }
  if (!read) {
    return Refusal(405, "Only GET and HEAD are answered here.\n", "GET, HEAD");
  }
  if (StartsWith(path, kCaptures)) {
    // A video element cannot send a header: the token may come as "t" here.
    if (!HeaderHoldsCoachToken(request) && !QueryHoldsCoachToken(request)) {
      return Refused();
    }
    return Capture(path.substr(kCaptures.size()), request);
  }
  if (!QueryHoldsCoachToken(request)) {
    return Refused();
  }
  return Page(FindPage(path.substr(1)));
}

http::Response CoachSite::Api(const http::Request& request) const {
  const std::string_view path = request.path;
  const bool get = request.method == "GET" || request.method == "HEAD";
  const bool post = request.method == "POST";
  if (path == "/api/clips") {
    return get ? Clips() : Refusal(405, "GET only.\n", "GET, HEAD");
  }
  if (StartsWith(path, kApiClips)) {
    if (request.method != "DELETE") {
      return Refusal(405, "DELETE only.\n", "DELETE");
    }
    return DeleteCapture(m_parts.captureDir, path.substr(kApiClips.size()))
               ? Done({true, ""})
               : Text(404, "No such capture.\n");
  }
  const bool known = path == "/api/key" || path == "/api/session" || path == "/api/state";
  if (!known) {
    return Text(404, "No such call.\n");
  }
  if (m_parts.remote == nullptr) {
    return Text(503, "The program's remote is not ready.\n");
  }
  if (path == "/api/state") {
    return get ? State() : Refusal(405, "GET only.\n", "GET, HEAD");
  }
  if (!post) {
    return Refusal(405, "POST only.\n", "POST");
  }
  return path == "/api/key" ? Key(request) : Session(request);
}

http::Response CoachSite::Key(const http::Request& request) const {
  const std::optional<std::string> name = Member(request.body, "key");
  const std::optional<RemoteKey> key = name ? RemoteKeyNamed(*name) : std::nullopt;
  if (!key) {
    return Text(400, "The body must be {\"key\": K}, K one of R, Space, Left, Right, S, C.\n");
  }
  return Done(m_parts.remote->Press(*key));
}

http::Response CoachSite::Session(const http::Request& request) const {
  const std::optional<std::string> action = Member(request.body, "action");
  if (action && *action == "start") {
    return Done(m_parts.remote->StartSession());
  }
  if (action && *action == "stop") {
    return Done(m_parts.remote->StopSession());
  }
  return Text(400, "The body must be {\"action\": \"start\"} or {\"action\": \"stop\"}.\n");
}

http::Response CoachSite::State() const {
  const CoachState state = m_parts.remote->State();
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                "\"width\":%d,\"height\":%d,\"fps\":%.2f,\"mbps\":%.2f,\"linkMode\":%d,"
                "\"delay\":%d",
                state.width, state.height, state.framesPerSecond, state.megabitsPerSecond,
                state.linkMode, state.delaySeconds);
  return Json(200, std::string("{\"session\":") + (state.running ? "true" : "false") +
                       ",\"codec\":" + JsonString(state.codec) + "," + numbers +
                       ",\"showing\":" + JsonString(state.showing) +
                       ",\"lastClip\":" + JsonString(state.lastClip) + "}");
}

http::Response CoachSite::Clips() const {
  std::string body = "[";
  for (const CaptureFile& file : ListCaptures(m_parts.captureDir)) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, ",\"size\":%" PRIu64 ",\"time\":%" PRId64 "}",
                  file.bytes, file.modifiedMs);
    body += (body.size() > 1 ? ",{\"name\":" : "{\"name\":") + JsonString(file.name) + numbers;
  }
  return Json(200, body + "]");
}

http::Response CoachSite::Capture(std::string_view name, const http::Request& request) const {
  uint64_t size = 0;
  const int fd = OpenCapture(m_parts.captureDir, name, &size);
  if (fd < 0) {
    return Text(404, "No such capture.\n");
  }
  const bool clip = name.substr(name.size() - 4) == ".mp4";
  http::Response answer = Answer(200, clip ? "video/mp4" : "image/jpeg", {}, kNoCaching);
  answer.headers.emplace_back("Accept-Ranges", "bytes");
  if (request.query.count("download") != 0) {
    answer.headers.emplace_back("Content-Disposition",
                                "attachment; filename=\"" + std::string(name) + "\"");
  }
  answer.file = {fd, 0, size};
  const auto range = request.headers.find("range");
  ByteRange part;
  switch (range != request.headers.end() ? ParseByteRange(range->second, size, &part)
                                         : RangeAsk::kWhole) {
    case RangeAsk::kWhole:
      break;
    case RangeAsk::kPart:
      answer.status = 206;
      answer.file = {fd, part.first, part.last - part.first + 1};
      answer.headers.emplace_back("Content-Range", "bytes " + std::to_string(part.first) + "-" +
                                                       std::to_string(part.last) + "/" +
                                                       std::to_string(size));
      break;
    case RangeAsk::kUnsatisfiable:
      close(fd);
      answer.file = {};
      answer.status = 416;
      answer.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
      break;
  }
  return answer;
}
