// The coach's side of the web screens, behind the coach token only:
//   /coach, /clips          the remote and the clips' gallery (token as "t")
//   /coach.js, /clips.js    their scripts (code, no secret)
//   POST /api/key           {"key": "R"}: a key of the display (R, Space, Left, Right, S, C)
//   POST /api/session       {"action": "start"} or {"action": "stop"}
//   GET /api/state          the session and the display, JSON
//   GET /api/clips          the captures, newest first, JSON
//   DELETE /api/clips/<name>
//   GET /clips/<name>       a capture's bytes (token in the header or as "t")
// The API takes the token from the header X-Tarnview-Token and nowhere else,
// so that no other web page can make a coach's browser press a key: no token,
// the viewer's, or the coach's anywhere else gets 403 and nothing happens.
#pragma once

#include <string>
#include <string_view>

#include "platform/http/server.h"
#include "web/CoachRemote.h"
#include "web/WebTokens.h"

// What the coach's side works on: the program's remote (null: not ready, the
// API answers 503) and the capture folder.
struct CoachParts {
  CoachRemote* remote = nullptr;
  std::string captureDir;
};

class CoachSite {
 public:
  CoachSite(const WebTokens& tokens, CoachParts parts);

  // Whether `path` is one of the coach's.
  static bool Serves(std::string_view path);
  http::Response Handle(const http::Request& request) const;

 private:
  bool HeaderHoldsCoachToken(const http::Request& request) const;
  bool QueryHoldsCoachToken(const http::Request& request) const;
  http::Response Api(const http::Request& request) const;
  http::Response Key(const http::Request& request) const;
  http::Response Session(const http::Request& request) const;
  http::Response State() const;
  http::Response Clips() const;
  http::Response Capture(std::string_view name, const http::Request& request) const;

  const WebTokens& m_tokens;
  const CoachParts m_parts;
};
