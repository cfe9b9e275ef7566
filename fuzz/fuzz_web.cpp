// Any request as the web screens' site gets it from the HTTP server (method,
// path, query, headers, body, laid out as below) against a history holding a
// few key-frame groups: the site's own handling of paths, tokens and segment
// names must never misbehave, never answer a request without a valid token
// with video, and only ever answer with a status it means.
//
// Input: the first byte picks the method; the rest is split at '\n' into the
// path, the token ("t"), an If-None-Match value and the body.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/sys/clock.h"
#include "session/StreamHistory.h"
#include "web/WebSite.h"
#include "web/WebTokens.h"

namespace {

const std::string kViewToken(kTokenHexDigits, 'a');
const std::string kCoachToken(kTokenHexDigits, 'c');
constexpr int kGroups = 3;
constexpr int kRecordsPerGroup = 4;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_web: %s\n", what);
    std::abort();
  }
}

// One TS packet starting a video PES with a time stamp; a key frame's
// carries the random-access flag.
std::vector<BYTE> Picture(bool key, int64_t pts) {
  std::vector<BYTE> packet(188, 0xFF);
  const BYTE start[] = {0x47, 0x41, 0x00, 0x30, 1, static_cast<BYTE>(key ? 0x40 : 0), 0, 0, 1,
                        0xE0, 0, 0, 0x80, 0x80, 5};
  std::copy(std::begin(start), std::end(start), packet.begin());
  packet[15] = static_cast<BYTE>(0x21 | ((pts >> 29) & 0x0E));
  packet[16] = static_cast<BYTE>(pts >> 22);
  packet[17] = static_cast<BYTE>(0x01 | ((pts >> 14) & 0xFE));
  packet[18] = static_cast<BYTE>(pts >> 7);
  packet[19] = static_cast<BYTE>(0x01 | ((pts << 1) & 0xFE));
  return packet;
}

struct Site {
  Site() {
    sys::UseVirtualClock(1000);
    const std::vector<BYTE> header(188, 0x47);
    history.Restart(header.data(), static_cast<DWORD>(header.size()));
    for (int i = 0; i <= kGroups * kRecordsPerGroup; ++i) {
      const std::vector<BYTE> picture = Picture(i % kRecordsPerGroup == 0, 90000 + i * 3600);
      history.Append(picture.data(), static_cast<DWORD>(picture.size()), GetTickCount());
      sys::AdvanceVirtualClock(40);
    }
  }
  StreamHistory history;
  WebClock clock{1'700'000'000'000, 1000};
  WebSite site{history, WebTokens{kViewToken, kCoachToken}, clock,
               [] { return WebSessionState{true, 5}; }, "0badc0de"};
};

std::vector<std::string> Fields(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && fields.size() < 4) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(4);
  return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = new Site;  // one history for all inputs; never changed by a request
  if (size == 0) {
    return 0;
  }
  static const char* const kMethods[] = {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS"};
  http::Request request;
  request.method = kMethods[data[0] % 6];
  const std::vector<std::string> fields = Fields(data + 1, size - 1);
  request.path = fields[0];
  if (!fields[1].empty()) {
    request.query["t"] = fields[1];
  }
  if (!fields[2].empty()) {
    request.headers["if-none-match"] = fields[2];
  }
  request.body = fields[3];
  const http::Response response = site->site.Handle(request);

  const bool allowed = fields[1] == kViewToken || fields[1] == kCoachToken;
  const bool script = request.path == "/viewer.js" || request.path == "/hls.min.js";
  Check(SameToken(fields[1], kViewToken) == (fields[1] == kViewToken), "token comparison");
  Check(response.status == 200 || response.status == 304 || response.status == 403 ||
            response.status == 404 || response.status == 405,
        "a status the site never means");
  if (!allowed && !script) {
    Check(response.status != 200 && response.status != 304, "answered without a token");
    Check(response.pieces.empty(), "video without a token");
  }
  if (!response.pieces.empty()) {
    Check(request.path.rfind("/seg/0badc0de-", 0) == 0, "video on a path that is no segment");
    for (const http::Piece& piece : response.pieces) {
      Check(piece.data != nullptr && piece.size > 0 && piece.owner != nullptr, "a piece unowned");
    }
  }
  return 0;
}
