// web.ini: made once with two fresh tokens that only its owner can read,
// then only read, a coach's own tokens kept; a token that is not one is
// refused without its value being told; the comparison of tokens.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <set>
#include <string>

#include "tests/worklog/TempDir.h"
#include "web/WebTokens.h"

namespace {

using testutil::ReadFile;

TEST(WebTokens, MadeOnceForTheOwnerOnlyThenReadAsTheyStand) {
  testutil::TempDir dir;
  const WebTokens made = LoadWebTokens(dir.Path());
  const std::string path = dir.Path() + "/web.ini";
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(made.view.size(), kTokenHexDigits);
  EXPECT_EQ(made.coach.size(), kTokenHexDigits);
  EXPECT_NE(made.view, made.coach);
  const std::string text = ReadFile(path);
  EXPECT_EQ(text, "[Web]\nviewToken=" + made.view + "\ncoachToken=" + made.coach + "\n");
  // The second start reads the same tokens and writes nothing.
  const WebTokens again = LoadWebTokens(dir.Path());
  EXPECT_EQ(again.view, made.view);
  EXPECT_EQ(again.coach, made.coach);
  EXPECT_EQ(ReadFile(path), text);
  // Random: a thousand tokens, no two alike.
  std::set<std::string> tokens;
  for (int i = 0; i < 1000; ++i) {
    tokens.insert(RandomToken());
  }
  EXPECT_EQ(tokens.size(), 1000u);
}

TEST(WebTokens, ACoachsOwnTokensAreKeptAndOnesThatAreNoneRefusedUnsaid) {
  struct Case {
    std::string file;
    bool viewKept;
    bool coachKept;
  };
  const std::string view = "0123456789abcdefABCDEF0123456789";
  const std::string coach = "fedcba9876543210fedcba9876543210";
  const Case cases[] = {
      {"[Web]\nviewToken=" + view + "\ncoachToken=" + coach + "\n", true, true},
      {"[Web]\r\nviewToken = " + view + "\r\ncoachToken=" + coach + "\r\n", true, true},
      {"[Web]\nviewToken=" + view + "\ncoachToken=short-and-secret\n", true, false},
      {"[Web]\nviewToken=" + view + "zz\ncoachToken=" + coach + "\n", false, true},
      {"[Web]\ncoachToken=" + coach + "\n", false, true},
      // The same token for both would hand every viewer the coach's remote.
      {"[Web]\nviewToken=" + view + "\ncoachToken=" + view + "\n", true, false},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir;
    const std::string path = dir.Path() + "/web.ini";
    std::ofstream(path) << c.file;
    chmod(path.c_str(), 0600);
    testing::internal::CaptureStderr();
    const WebTokens tokens = LoadWebTokens(dir.Path());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(tokens.view, c.viewKept ? view : "") << c.file;
    EXPECT_EQ(tokens.coach, c.coachKept ? coach : "") << c.file;
    EXPECT_EQ(said.find("short-and-secret"), std::string::npos) << said;
    EXPECT_EQ(said.find(view), std::string::npos) << said;
    EXPECT_EQ(said.empty(), c.viewKept && c.coachKept) << said;
  }
}

TEST(WebTokens, AFileOthersCanReadIsUsedAndSaidSo) {
  testutil::TempDir dir;
  LoadWebTokens(dir.Path());
  chmod((dir.Path() + "/web.ini").c_str(), 0644);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadWebTokens(dir.Path()).view.empty());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("chmod 600"), std::string::npos);
}

TEST(WebTokens, OnlyTheSameTokenMatchesAndAnEmptyOneNever) {
  const std::string token = std::string(kTokenHexDigits, '7');
  EXPECT_TRUE(SameToken(token, token));
  EXPECT_FALSE(SameToken(token + "7", token));
  EXPECT_FALSE(SameToken(token.substr(1), token));
  EXPECT_FALSE(SameToken(std::string(kTokenHexDigits - 1, '7') + "8", token));
  EXPECT_FALSE(SameToken("", ""));
  EXPECT_FALSE(SameToken(token, ""));
}

}  // namespace
