// The coach's side of the web screens: only the coach token, in the header,
// reaches the remote (anything else: 403 and nothing happens); each key and
// action reaches it as asked; the capture folder gives out and deletes only
// the files Tarnview makes in it, whatever a path tries; a clip in parts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/worklog/TempDir.h"
#include "web/CoachSite.h"
#include "web/FlatJson.h"

namespace {

const std::string kView(kTokenHexDigits, 'a');
const std::string kCoach(kTokenHexDigits, 'c');
const char kClip[] = "2026-06-15-14-07-09.mp4";
const char kSnapshot[] = "2026-06-15-14-07-11.jpg";

// Keeps what it was asked, answers as told.
struct RecordingRemote : CoachRemote {
  RemoteAnswer Press(RemoteKey key) override {
    calls.push_back(std::string("key ") + RemoteKeyCaption(key));
    return answer;
  }
  RemoteAnswer StartSession() override {
    calls.push_back("start");
    return answer;
  }
  RemoteAnswer StopSession() override {
    calls.push_back("stop");
    return answer;
  }
  CoachState State() override {
    calls.push_back("state");
    return state;
  }
  std::vector<std::string> calls;
  RemoteAnswer answer{true, ""};
  CoachState state;
};

class CoachSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_captures = m_dir.Path() + "/Capture";
    ASSERT_EQ(mkdir(m_captures.c_str(), 0700), 0);
    Write(m_captures + "/" + kClip, std::string(1000, 'm'));
    Write(m_captures + "/" + kSnapshot, std::string(100, 'j'));
    Write(m_dir.Path() + "/web.ini", "secret");
    Write(m_captures + "/notes.txt", "not ours");
    Write(m_captures + "/2026-06-15-14-07-09.mp4.part", "half a clip");
    // A link with a name of ours that leads out of the folder.
    ASSERT_EQ(symlink((m_dir.Path() + "/web.ini").c_str(),
                      (m_captures + "/2026-06-15-14-07-10.jpg").c_str()),
              0);
  }

  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }

  http::Response Call(const std::string& method, const std::string& path, const std::string& body,
                      const std::string& headerToken, const std::string& queryToken = "") {
    http::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (!headerToken.empty()) {
      request.headers["x-tarnview-token"] = headerToken;
    }
    if (!queryToken.empty()) {
      request.query["t"] = queryToken;
    }
    return m_site.Handle(request);
  }

  static std::string BodyOf(const http::Response& response) {
    if (response.file.fd < 0) {
      return response.body;
    }
    std::string bytes(response.file.size, '\0');
    const ssize_t read = pread(response.file.fd, bytes.data(), bytes.size(),
                               static_cast<off_t>(response.file.offset));
    close(response.file.fd);
    return read == static_cast<ssize_t>(bytes.size()) ? bytes : "";
  }

  testutil::TempDir m_dir;
  std::string m_captures;
  WebTokens m_tokens{kView, kCoach};
  RecordingRemote m_remote;
  CoachSite m_site{m_tokens, CoachParts{&m_remote, m_dir.Path() + "/Capture"}};
};

TEST_F(CoachSiteTest, OnlyTheCoachTokenInTheHeaderReachesTheRemote) {
  struct Asked {
    const char* method;
    const char* path;
    const char* body;
  };
  const Asked calls[] = {{"POST", "/api/key", "{\"key\": \"R\"}"},
                        {"POST", "/api/session", "{\"action\": \"start\"}"},
                        {"GET", "/api/state", ""},
                        {"GET", "/api/clips", ""},
                        {"DELETE", "/api/clips/2026-06-15-14-07-11.jpg", ""}};
  for (const Asked& call : calls) {
    SCOPED_TRACE(call.path);
    // No token, the viewer's, the coach's as "t" (or as a cookie, which is
    // never read): refused, and nothing happened.
    EXPECT_EQ(Call(call.method, call.path, call.body, "").status, 403);
    EXPECT_EQ(Call(call.method, call.path, call.body, kView).status, 403);
    EXPECT_EQ(Call(call.method, call.path, call.body, "", kCoach).status, 403);
    EXPECT_EQ(Call(call.method, call.path, call.body, kCoach.substr(1) + "d").status, 403);
  }
  EXPECT_TRUE(m_remote.calls.empty());
  EXPECT_EQ(access((m_captures + "/" + kSnapshot).c_str(), F_OK), 0) << "deleted without a token";
  // The pages take the coach token as "t"; the viewer's opens neither.
  EXPECT_EQ(Call("GET", "/coach", "", "", kCoach).status, 200);
  EXPECT_EQ(Call("GET", "/clips", "", "", kCoach).status, 200);
  EXPECT_EQ(Call("GET", "/coach", "", "", kView).status, 403);
  EXPECT_EQ(Call("GET", "/clips", "", kView).status, 403);
}

TEST_F(CoachSiteTest, EachKeyAndActionReachesTheRemoteAsAskedAndBadBodiesNone) {
  for (const char* key : {"R", "Space", "Left", "Right", "S", "C"}) {
    const http::Response answer =
        Call("POST", "/api/key", std::string("{\"key\":\"") + key + "\"}", kCoach);
    EXPECT_EQ(answer.status, 200) << key;
    EXPECT_EQ(answer.body, "{\"done\":true,\"message\":\"\"}") << key;
  }
  EXPECT_EQ(m_remote.calls, (std::vector<std::string>{"key 回放", "key 定格", "key 后退一帧",
                                                      "key 前进一帧", "key 保存片段", "key 抓图"}));
  m_remote.calls.clear();
  m_remote.answer = {false, "登录失败！"};
  EXPECT_EQ(Call("POST", "/api/session", "{\"action\":\"start\"}", kCoach).body,
            "{\"done\":false,\"message\":\"登录失败！\"}");
  EXPECT_EQ(Call("POST", "/api/session", " { \"action\" : \"stop\" } ", kCoach).status, 200);
  for (const char* bad : {"", "{}", "{\"key\":\"r\"}", "{\"key\":\"R\",\"key\":\"S\"}",
                          "{\"key\":\"R\"} x", "{\"key\":\"R\",\"also\":\"S\"}", "[\"R\"]",
                          "{\"key\":82}", "{\"key\":\"R"}) {
    EXPECT_EQ(Call("POST", "/api/key", bad, kCoach).status, 400) << bad;
  }
  EXPECT_EQ(Call("POST", "/api/session", "{\"action\":\"pause\"}", kCoach).status, 400);
  EXPECT_EQ(Call("GET", "/api/key", "", kCoach).status, 405);
  EXPECT_EQ(Call("POST", "/api/state", "", kCoach).status, 405);
  EXPECT_EQ(Call("POST", "/api/nothing", "", kCoach).status, 404);
  EXPECT_EQ(m_remote.calls, (std::vector<std::string>{"start", "stop"}));
  m_remote.state.running = true;
  m_remote.state.codec = "h265";
  m_remote.state.showing = "frozen";
  m_remote.state.lastClip = kClip;
  m_remote.state.linkMode = 1;
  EXPECT_EQ(Call("GET", "/api/state", "", kCoach).body,
            "{\"session\":true,\"codec\":\"h265\",\"width\":0,\"height\":0,\"fps\":0.00,"
            "\"mbps\":0.00,\"linkMode\":1,\"delay\":0,\"showing\":\"frozen\",\"lastClip\":\"" +
                std::string(kClip) + "\"}");
}

TEST_F(CoachSiteTest, OnlyTarnviewsOwnFilesInTheFolderAreListedServedAndDeleted) {
  const std::string listed = Call("GET", "/api/clips", "", kCoach).body;
  EXPECT_EQ(listed.find("notes"), std::string::npos);
  EXPECT_EQ(listed.find(".part"), std::string::npos);
  EXPECT_EQ(listed.find("14-07-10"), std::string::npos) << "the link is no file of ours";
  EXPECT_NE(listed.find(std::string("{\"name\":\"") + kClip + "\",\"size\":1000,"),
            std::string::npos)
      << listed;
  EXPECT_NE(listed.find(kSnapshot), std::string::npos);
  // The clip plays with the token as "t" (a video element sends no header).
  const http::Response clip = Call("GET", std::string("/clips/") + kClip, "", "", kCoach);
  EXPECT_EQ(clip.status, 200);
  EXPECT_EQ(BodyOf(clip), std::string(1000, 'm'));
  // What a path may try, as the server hands it on (already percent-decoded).
  const std::vector<std::string> tries = {
      "/clips/../web.ini", "/clips/..%2Fweb.ini", "/clips/%2e%2e/web.ini",
      "/clips/" + m_dir.Path() + "/web.ini", "/clips//etc/passwd", "/clips/notes.txt",
      "/clips/2026-06-15-14-07-10.jpg", "/clips/2026-06-15-14-07-09.mp4.part",
      "/clips/2026-06-15-14-07-09.MP4", "/clips/2026-06-15-14-07-09.txt",
      "/clips/../Capture/2026-06-15-14-07-09.mp4", "/clips/2026-06-15-14-07-0x.mp4"};
  for (const std::string& path : tries) {
    const http::Response answer = Call("GET", path, "", kCoach);
    EXPECT_EQ(answer.status, 404) << path;
    EXPECT_LT(answer.file.fd, 0) << path;
    const std::string name = path.substr(std::string("/clips/").size());
    EXPECT_EQ(Call("DELETE", "/api/clips/" + name, "", kCoach).status, 404) << path;
  }
  struct stat status {};
  EXPECT_EQ(lstat((m_captures + "/2026-06-15-14-07-10.jpg").c_str(), &status), 0);
  EXPECT_EQ(testutil::ReadFile(m_dir.Path() + "/web.ini"), "secret");
  EXPECT_EQ(Call("DELETE", std::string("/api/clips/") + kSnapshot, "", kCoach).status, 200);
  EXPECT_NE(access((m_captures + "/" + kSnapshot).c_str(), F_OK), 0);
}

TEST_F(CoachSiteTest, AClipIsServedInTheRangesAVideoElementAsksFor) {
  struct Case {
    const char* range;
    int status;
    uint64_t first;
    uint64_t size;
  };
  const Case cases[] = {{"bytes=0-99", 206, 0, 100},      {"bytes=900-", 206, 900, 100},
                        {"bytes=-10", 206, 990, 10},      {"bytes=990-5000", 206, 990, 10},
                        {"bytes=1000-", 416, 0, 0},       {"bytes=5-1,7-9", 200, 0, 1000},
                        {"items=0-1", 200, 0, 1000},      {"bytes=9-3", 200, 0, 1000},
                        {"bytes=-0", 416, 0, 0},          {"bytes=a-b", 200, 0, 1000}};
  for (const Case& c : cases) {
    http::Request request;
    request.method = "GET";
    request.path = std::string("/clips/") + kClip;
    request.headers["x-tarnview-token"] = kCoach;
    request.headers["range"] = c.range;
    const http::Response answer = m_site.Handle(request);
    EXPECT_EQ(answer.status, c.status) << c.range;
    EXPECT_EQ(answer.file.offset, c.first) << c.range;
    EXPECT_EQ(answer.file.size, c.size) << c.range;
    if (answer.file.fd >= 0) {
      close(answer.file.fd);
    }
  }
}

TEST(FlatJson, StringsComeBackAsWrittenEscapesIncluded) {
  const auto members = ParseFlatJsonObject("{\"a\":\"x\\\"y\\\\z\\u00e9\\u56de\",\"b\":\"\"}");
  ASSERT_TRUE(members);
  EXPECT_EQ(members->at("a"), "x\"y\\z\xc3\xa9\xe5\x9b\x9e");
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  for (const char* bad : {"{\"a\":\"\\ud800\"}", "{\"a\":\"\x01\"}", "{\"a\":\"\\x\"}", "{,}",
                          "{\"a\":\"b\",}", "{\"a\"}"}) {
    EXPECT_FALSE(ParseFlatJsonObject(bad)) << bad;
  }
}

}  // namespace
