// The web screens' site over a real stream history: who gets in, what the
// playlist says of each segment, segments as caches want them, and the page
// answered at all (its scripts open, the rest behind the token). Then the
// same site behind the HTTP server on loopback, where ffprobe opens the
// playlist as any player would.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/http/server.h"
#include "platform/sys/clock.h"
#include "session/StreamHistory.h"
#include "tests/player/ts_maker.h"
#include "tests/worklog/RunProgram.h"
#include "web/WebSite.h"
#include "web/WebTokens.h"

namespace {

constexpr int kFramesPerSecond = 25;
constexpr int kKeyInterval = 50;        // a key frame every 2 s
constexpr int kPictures = kKeyInterval * 3 + 10;  // three whole groups and a growing one
constexpr DWORD kStartTick = 0xFFFFF000u;  // the tick wraps during the stream
constexpr int64_t kWallAtStartMs = 1'781'000'000'000;  // 2026-06-09, UTC
const char kRun[] = "0badc0de";

std::string Token(char digit) { return std::string(kTokenHexDigits, digit); }

class WebSiteTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    playertest::EncodeSettings settings;
    settings.keyInterval = kKeyInterval;
    s_stream = new playertest::TsStream(
        playertest::MakeStream(settings, kPictures, playertest::PaintPattern));
  }
  static void TearDownTestSuite() { delete s_stream; }

  void SetUp() override {
    ASSERT_FALSE(s_stream->chunks.empty());
    sys::UseVirtualClock(kStartTick);
    m_clock = std::make_unique<WebClock>(kWallAtStartMs, kStartTick);
    m_history.Restart(s_stream->header.data(), static_cast<DWORD>(s_stream->header.size()));
    for (const std::vector<uint8_t>& chunk : s_stream->chunks) {
      ASSERT_TRUE(m_history.Append(chunk.data(), static_cast<DWORD>(chunk.size()), GetTickCount()));
      sys::AdvanceVirtualClock(1000 / kFramesPerSecond);
    }
    m_site = std::make_unique<WebSite>(m_history, WebTokens{Token('a'), Token('c')}, *m_clock,
                                       [] { return WebSessionState{true, 15}; }, kRun);
  }
  void TearDown() override { sys::UseRealClock(); }

  http::Response Get(const std::string& path, const std::string& token = Token('a')) const {
    http::Request request;
    request.method = "GET";
    request.path = path;
    if (!token.empty()) {
      request.query["t"] = token;
    }
    return m_site->Handle(request);
  }

  std::string SegmentPath(size_t index) const {
    return "/seg/" + std::string(kRun) + "-" +
           std::to_string(m_history.Groups().at(index).llNumber) + ".ts";
  }

  static std::string Header(const http::Response& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
      if (key == name) {
        return value;
      }
    }
    return {};
  }

  static size_t BodyBytes(const http::Response& response) {
    size_t bytes = response.body.size();
    for (const http::Piece& piece : response.pieces) {
      bytes += piece.size;
    }
    return bytes;
  }

  static inline playertest::TsStream* s_stream = nullptr;
  StreamHistory m_history;
  std::unique_ptr<WebClock> m_clock;
  std::unique_ptr<WebSite> m_site;
};

TEST_F(WebSiteTest, NothingButTheScriptsWithoutAValidTokenAndNoUnknownPaths) {
  const std::vector<std::string> guarded = {"/view", "/live.m3u8", "/time", "/status",
                                            SegmentPath(0)};
  for (const std::string& path : guarded) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Get(path).status, 200) << "the viewer's token";
    EXPECT_EQ(Get(path, Token('c')).status, 200) << "the coach's token";
    for (const std::string& wrong : {std::string(), Token('b'), Token('a') + "0",
                                     Token('a').substr(1), std::string("AAAA")}) {
      const http::Response refused = Get(path, wrong);
      EXPECT_EQ(refused.status, 403) << "token '" << wrong << "'";
      EXPECT_TRUE(refused.pieces.empty()) << "no byte of video";
      EXPECT_EQ(Header(refused, "Content-Type"), "text/plain; charset=utf-8");
    }
  }
  for (const char* script : {"/viewer.js", "/hls.min.js"}) {
    const http::Response answer = Get(script, "");
    EXPECT_EQ(answer.status, 200) << script;
    EXPECT_GT(answer.body.size(), 1000u) << script;
  }
  for (const char* unknown : {"/", "/seg/", "/view/", "/../web.ini", "/web.ini", "/VIEW"}) {
    EXPECT_EQ(Get(unknown).status, 404) << unknown;
  }
  http::Request post;
  post.method = "POST";
  post.path = "/view";
  post.query["t"] = Token('a');
  EXPECT_EQ(m_site->Handle(post).status, 405);
}

TEST_F(WebSiteTest, PlaylistListsEveryWholeGroupWithItsArrivalAndDuration) {
  const http::Response answer = Get("/live.m3u8");
  ASSERT_EQ(answer.status, 200);
  EXPECT_EQ(Header(answer, "Content-Type"), "application/vnd.apple.mpegurl");
  EXPECT_EQ(Header(answer, "Cache-Control"), "public, max-age=1");
  const std::vector<HistoryGroup> groups = m_history.Groups();
  ASSERT_EQ(groups.size(), 3u);
  std::string expected = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:" +
                         std::to_string(groups[0].llNumber) + "\n";
  for (size_t i = 0; i < groups.size(); ++i) {
    // Group i's key frame arrived i * 2 s after the first record, and the
    // tick wrapped meanwhile: the wall clock goes on all the same.
    char date[64];
    std::snprintf(date, sizeof date, "#EXT-X-PROGRAM-DATE-TIME:2026-06-09T10:13:%02d.000Z\n",
                  20 + static_cast<int>(2 * i));
    expected += date;
    expected += "#EXTINF:2.000,\nseg/" + std::string(kRun) + "-" +
                std::to_string(groups[i].llNumber) + ".ts?t=" + Token('a') + "\n";
  }
  EXPECT_EQ(answer.body, expected);
  // The coach's token is carried on in its own playlist.
  EXPECT_NE(Get("/live.m3u8", Token('c')).body.find("?t=" + Token('c')), std::string::npos);
}

TEST_F(WebSiteTest, SegmentIsTheHeaderAndOneGroupAsItArrivedImmutableAndTagged) {
  const HistorySpan group = m_history.GroupSpan(m_history.Groups().at(1).llNumber);
  size_t expectedBytes = s_stream->header.size();
  for (const HistoryRecordRef& record : group.records) {
    expectedBytes += record->data.size();
  }
  const http::Response answer = Get(SegmentPath(1));
  ASSERT_EQ(answer.status, 200);
  EXPECT_EQ(Header(answer, "Content-Type"), "video/mp2t");
  EXPECT_EQ(Header(answer, "Cache-Control"), "public, max-age=86400, immutable");
  ASSERT_EQ(BodyBytes(answer), expectedBytes);
  ASSERT_EQ(answer.pieces.size(), group.records.size() + 1);
  EXPECT_EQ(answer.pieces[0].data, group.header->data());
  EXPECT_EQ(answer.pieces[1].data, group.records.front()->data.data()) << "shared, not copied";
  const std::string tag = Header(answer, "ETag");
  EXPECT_EQ(tag, "\"" + std::string(kRun) + "-" + std::to_string(m_history.Groups()[1].llNumber) +
                     "\"");
  http::Request again;
  again.method = "GET";
  again.path = SegmentPath(1);
  again.query["t"] = Token('a');
  again.headers["if-none-match"] = tag;
  const http::Response unchanged = m_site->Handle(again);
  EXPECT_EQ(unchanged.status, 304);
  EXPECT_EQ(BodyBytes(unchanged), 0u);
  // Names that are no segment of this run's, the growing group's included.
  const std::string newest = std::to_string(m_history.Groups().back().llNumber + 1);
  const std::string run = "/seg/" + std::string(kRun);
  for (const std::string& name : std::vector<std::string>{
           run + "-" + newest + ".ts", "/seg/deadbeef-1.ts", run + "-.ts", run + "-1x.ts",
           run + "-1.ts.ts", run + "-1", run + "-99999999999999999999999.ts", run, run + "--1.ts"}) {
    EXPECT_EQ(Get(name).status, 404) << name;
  }
}

TEST_F(WebSiteTest, StatusAndClockTellThePageWhatItSteersBy) {
  const http::Response status = Get("/status");
  EXPECT_EQ(Header(status, "Cache-Control"), "no-store");
  EXPECT_EQ(status.body, "{\"session\":true,\"codec\":\"h264\",\"delay\":15,\"history\":6.0,"
                         "\"generation\":" + std::to_string(m_history.Generation()) + "}");
  EXPECT_EQ(Get("/time").body,
            "{\"now\":" + std::to_string(kWallAtStartMs + kPictures * 1000 / kFramesPerSecond) +
                "}");
  m_history.Clear();
  EXPECT_EQ(Get("/live.m3u8").status, 404) << "no session: no playlist";
  EXPECT_NE(Get("/status").body.find("\"codec\":null"), std::string::npos);
}

TEST_F(WebSiteTest, AnyPlayerOpensThePlaylistOverHttp) {
  http::Server server;
  ASSERT_TRUE(server.Start(0, true, [this](const http::Request& r) { return m_site->Handle(r); }))
      << server.Error();
  const std::string printed = testutil::RunProgram(
      {"/usr/bin/ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height", "-of",
       "csv=p=0",
       "http://127.0.0.1:" + std::to_string(server.Port()) + "/live.m3u8?t=" + Token('a')});
  // ffprobe names the stream once per program it lists.
  EXPECT_EQ(printed.substr(0, printed.find('\n') + 1), "h264,320,240\n") << printed;
  server.Stop();
}

}  // namespace
