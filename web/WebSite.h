// What the web screens answer: every request of the program's HTTP server
// goes through Handle, on the server's thread. Known paths only (else 404),
// each but the scripts with a valid token in its query ("t"), else 403 and
// no byte of video:
//   /viewer.js, /hls.min.js   the page's scripts (code, no secret)
//   /view          the viewer page (a delayed picture in any browser)
//   /live.m3u8     the HLS playlist of the stream history
//   /seg/<run>-<number>.ts    one key-frame group as a TS segment: immutable
//   /time          the server's clock, for the page to steer its delay by
//   /status        JSON: whether a session runs, its codec, delay and history
// and the coach's paths, which CoachSite answers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/http/server.h"
#include "web/CoachSite.h"
#include "web/WebClock.h"
#include "web/WebTokens.h"

class StreamHistory;

// The session as the pages see it.
struct WebSessionState {
  bool running = false;
  int delaySeconds = 0;  // the main display's delay (of the dialog's box without a session)
};

class WebSite {
 public:
  using StateSource = std::function<WebSessionState()>;

  // history, clock and the state source outlive the site; `run` tells this
  // program's segments from an earlier run's in any cache in front; `coach`
  // is what the coach's side works on (CoachSite.h).
  WebSite(const StreamHistory& history, WebTokens tokens, const WebClock& clock,
          StateSource state, std::string run, CoachParts coach = {});

  http::Response Handle(const http::Request& request) const;

  const WebTokens& Tokens() const { return m_tokens; }

 private:
  // Whether the request's query names a token that opens the viewer's pages.
  bool ViewerAllowed(const http::Request& request) const;
  http::Response Playlist(const std::string& query) const;
  http::Response Segment(std::string_view name, const http::Request& request) const;
  http::Response Status() const;

  const StreamHistory& m_history;
  const WebTokens m_tokens;
  const WebClock& m_clock;
  const StateSource m_state;
  const std::string m_run;
  const CoachSite m_coach;  // after m_tokens, which it reads
};

// The run's name: 8 random hex digits.
std::string NewRunName();
