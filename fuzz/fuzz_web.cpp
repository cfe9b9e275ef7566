// Any request as the web screens' site gets it from the HTTP server (method,
// path, query, headers, body, laid out as below) against a history holding a
// few key-frame groups and a capture folder with a clip and a snapshot: the
// site's own handling of paths, tokens, segment and capture names, ranges and
// JSON bodies must never misbehave, never answer a request without a valid
// token with video or a file, never call the coach's remote without the coach
// token in its header, never touch a file outside the capture folder, and
// only ever answer with a status it means.
//
// Input: the first byte picks the method; the rest is split at '\n' into the
// path, the token ("t"), the X-Tarnview-Token header, a value given as both
// If-None-Match and Range, and the body.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// Counts what it is asked; never does anything.
struct CountingRemote : CoachRemote {
  RemoteAnswer Press(RemoteKey) override { ++calls; return {true, ""}; }
  RemoteAnswer StartSession() override { ++calls; return {true, ""}; }
  RemoteAnswer StopSession() override { ++calls; return {true, ""}; }
  CoachState State() override { ++calls; return {}; }
  int calls = 0;
};

// A scratch folder with a capture folder in it and a file beside that.
std::string ScratchFolder() {
  char path[] = "/tmp/fuzz-web-XXXXXX";
  Check(mkdtemp(path) != nullptr, "no scratch folder");
  mkdir((std::string(path) + "/Capture").c_str(), 0700);
  std::ofstream(std::string(path) + "/outside.txt") << "not to be touched";
  std::ofstream(std::string(path) + "/Capture/2026-01-02-03-04-05.mp4") << std::string(1000, 'm');
  std::ofstream(std::string(path) + "/Capture/2026-01-02-03-04-06.jpg") << std::string(100, 'j');
  return path;
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
  ~Site() {
    for (const char* file : {"/outside.txt", "/Capture/2026-01-02-03-04-05.mp4",
                             "/Capture/2026-01-02-03-04-06.jpg"}) {
      unlink((folder + file).c_str());
    }
    rmdir((folder + "/Capture").c_str());
    rmdir(folder.c_str());
  }
  StreamHistory history;
  WebClock clock{1'700'000'000'000, 1000};
  CountingRemote remote;
  std::string folder = ScratchFolder();
  WebSite site{history, WebTokens{kViewToken, kCoachToken}, clock,
               [] { return WebSessionState{true, 5}; }, "0badc0de",
               CoachParts{&remote, folder + "/Capture"}};
};

std::vector<std::string> Fields(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && fields.size() < 5) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(5);
  return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = [] {
    static Site made;  // one history and folder for all inputs; removed at exit
    return &made;
  }();
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
    request.headers["x-tarnview-token"] = fields[2];
  }
  if (!fields[3].empty()) {
    request.headers["if-none-match"] = fields[3];
    request.headers["range"] = fields[3];
  }
  request.body = fields[4];
  const int callsBefore = site->remote.calls;
  const http::Response response = site->site.Handle(request);
  if (response.file.fd >= 0) {
    close(response.file.fd);  // the server would send it and close it
  }

  const bool coachHeader = fields[2] == kCoachToken;
  const bool allowed = fields[1] == kViewToken || fields[1] == kCoachToken || coachHeader;
  const bool script = request.path == "/viewer.js" || request.path == "/hls.min.js" ||
                      request.path == "/coach.js" || request.path == "/clips.js";
  Check(SameToken(fields[1], kViewToken) == (fields[1] == kViewToken), "token comparison");
  Check(site->remote.calls == callsBefore || coachHeader, "the remote called without the header");
  Check(access((site->folder + "/outside.txt").c_str(), F_OK) == 0, "a file outside was deleted");
  const int status = response.status;
  Check(status == 200 || status == 206 || status == 304 || status == 400 || status == 403 ||
            status == 404 || status == 405 || status == 416,
        "a status the site never means");
  if (!allowed && !script) {
    Check(status != 200 && status != 206 && status != 304, "answered without a token");
    Check(response.pieces.empty() && response.file.fd < 0, "video or a file without a token");
  }
  if (response.file.fd >= 0) {
    Check(request.path.rfind("/clips/2026-01-02-03-04-0", 0) == 0, "a file that is no capture");
  }
  if (!response.pieces.empty()) {
    Check(request.path.rfind("/seg/0badc0de-", 0) == 0, "video on a path that is no segment");
    for (const http::Piece& piece : response.pieces) {
      Check(piece.data != nullptr && piece.size > 0 && piece.owner != nullptr, "a piece unowned");
    }
  }
  return 0;
}
