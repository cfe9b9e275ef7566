// The demo camera's options: each personality a test asks for must parse to
// what it names, and a bad value must end the camera with status 2 before it
// listens, so that a test with a mistyped option fails at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/democam/options.h"

namespace democam {
namespace {

using Args = std::vector<std::string>;

std::vector<char*> Argv(Args& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  return argv;
}

ParseResult Parse(Args args) {
  args.insert(args.begin(), "democam");
  std::vector<char*> argv = Argv(args);
  return ParseOptions(static_cast<int>(args.size()), argv.data());
}

// Runs the real program with its output discarded; its exit status, or -1.
int ExitStatusOf(Args args) {
  args.insert(args.begin(), DEMOCAM_PATH);
  std::vector<char*> argv = Argv(args);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

TEST(DemoCamOptionsTest, DefaultsAreTheH264CameraWithDigestAndBothTransports) {
  const ParseResult parsed = Parse({});
  ASSERT_TRUE(parsed.ok);
  const CameraOptions& o = parsed.options;
  EXPECT_EQ(o.codec, VideoCodec::kH264);
  EXPECT_EQ(o.audio, AudioCodec::kNone);
  EXPECT_TRUE(o.offerTcp && o.offerUdp);
  EXPECT_EQ(o.refuseStatus, 461);
  EXPECT_EQ(o.auth, AuthMethod::kDigest);
  EXPECT_EQ(o.params, ParameterSets::kInband);
  EXPECT_EQ(o.bframes, 0);
  EXPECT_EQ(o.clock, ClockDrawing::kBoth);
  EXPECT_EQ(o.fps, 25);
}

struct AcceptedCase {
  Args args;
  std::function<bool(const CameraOptions&)> holds;
};

class DemoCamAcceptsTest : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(DemoCamAcceptsTest, ParsesToWhatItNamesAndHelpListsIt) {
  const ParseResult parsed = Parse(GetParam().args);
  ASSERT_TRUE(parsed.ok) << parsed.message;
  EXPECT_TRUE(GetParam().holds(parsed.options));
  EXPECT_NE(Usage().find(GetParam().args.front() + " "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Personalities, DemoCamAcceptsTest,
    ::testing::Values(
        AcceptedCase{{"--codec", "h265"}, [](auto& o) { return o.codec == VideoCodec::kH265; }},
        AcceptedCase{{"--audio", "pcma"}, [](auto& o) { return o.audio == AudioCodec::kPcma; }},
        AcceptedCase{{"--audio", "aac"}, [](auto& o) { return o.audio == AudioCodec::kAac; }},
        AcceptedCase{{"--transports", "tcp"}, [](auto& o) { return o.offerTcp && !o.offerUdp; }},
        AcceptedCase{{"--transports", "udp"}, [](auto& o) { return !o.offerTcp && o.offerUdp; }},
        AcceptedCase{{"--transports", "udp,tcp"}, [](auto& o) { return o.offerTcp && o.offerUdp; }},
        AcceptedCase{{"--refuse-status", "400"}, [](auto& o) { return o.refuseStatus == 400; }},
        AcceptedCase{{"--auth", "basic"}, [](auto& o) { return o.auth == AuthMethod::kBasic; }},
        AcceptedCase{{"--auth", "none"}, [](auto& o) { return o.auth == AuthMethod::kNone; }},
        AcceptedCase{{"--params", "sdp"}, [](auto& o) { return o.params == ParameterSets::kSdp; }},
        AcceptedCase{{"--bframes", "3"}, [](auto& o) { return o.bframes == 3; }},
        AcceptedCase{{"--fps", "50"}, [](auto& o) { return o.fps == 50; }},
        AcceptedCase{{"--fps", "60"}, [](auto& o) { return o.fps == 60; }},
        AcceptedCase{{"--clock", "strip"}, [](auto& o) { return o.clock == ClockDrawing::kStrip; }},
        AcceptedCase{{"--clock", "text"}, [](auto& o) { return o.clock == ClockDrawing::kText; }}));

class DemoCamRefusesTest : public ::testing::TestWithParam<Args> {};

TEST_P(DemoCamRefusesTest, ExitsWithStatus2) {
  EXPECT_FALSE(Parse(GetParam()).ok);
  EXPECT_EQ(ExitStatusOf(GetParam()), 2);
}

INSTANTIATE_TEST_SUITE_P(
    BadValues, DemoCamRefusesTest,
    ::testing::Values(Args{"--codec", "h266"}, Args{"--codec", "H265"}, Args{"--audio", "pcmu"},
                      Args{"--transports", ""}, Args{"--transports", "tcp,"},
                      Args{"--transports", "tcp,tcp"}, Args{"--transports", "tcp,udp,http"},
                      Args{"--refuse-status", "200"}, Args{"--refuse-status", "600"},
                      Args{"--auth", "ntlm"}, Args{"--params", "both"}, Args{"--bframes", "-1"},
                      Args{"--bframes", "17"}, Args{"--fps", "61"}, Args{"--clock", "none"},
                      Args{"--codec"}));

}  // namespace
}  // namespace democam
