// The device layer's RTSP pieces on their own: replies bounded before
// anything is allocated for them, the one video medium picked from any SDP,
// RTP put back in order and joined into whole pictures for H.264 and H.265, and the login and
// real play against a device that refuses transports or announces a huge reply.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/device/device.h"
#include "platform/device/rtp_depacketizer.h"
#include "platform/device/rtcp_report.h"
#include "platform/device/retry_after.h"
#include "platform/device/rtp_reorder.h"
#include "platform/device/rtsp_auth.h"
#include "platform/device/rtsp_message.h"
#include "platform/device/rtsp_source.h"
#include "platform/device/sdp.h"
#include "tests/device/device_test_support.h"
#include "tests/device/scripted_device.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace device {
namespace {

using Bytes = std::vector<uint8_t>;

struct MessageCase {
  const char* name;
  std::string bytes;
  ParseResult expected;
};

class RtspMessageBounds : public ::testing::TestWithParam<MessageCase> {};

TEST_P(RtspMessageBounds, ParsesOrRefusesBeforeAllocating) {
  RtspMessage message;
  size_t consumed = 0;
  EXPECT_EQ(ParseRtspMessage(GetParam().bytes, &message, &consumed), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RtspMessageBounds,
    ::testing::Values(
        MessageCase{"WholeWithBody", "RTSP/1.0 200 OK\r\nCSeq: 2\r\nContent-Length: 3\r\n\r\nv=0",
                    ParseResult::kComplete},
        MessageCase{"LineFeedsAlone", "RTSP/1.0 200 OK\nCSeq: 2\nContent-Length: 3\n\nv=0",
                    ParseResult::kComplete},
        MessageCase{"BodyStillComing", "RTSP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nv=0",
                    ParseResult::kIncomplete},
        MessageCase{"AnnouncesTwoGigabytes",
                    "RTSP/1.0 200 OK\r\nContent-Length: 2000000000\r\n\r\n",
                    ParseResult::kTooLarge},
        MessageCase{"AnnouncesJustOverAMebibyte",
                    "RTSP/1.0 200 OK\r\nContent-Length: 1048577\r\n\r\n", ParseResult::kTooLarge},
        MessageCase{"LengthThatIsNoNumber", "RTSP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n",
                    ParseResult::kInvalid},
        MessageCase{"LengthOfTwentyDigits",
                    "RTSP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n",
                    ParseResult::kTooLarge},
        MessageCase{"HeadersThatNeverEnd",
                    "RTSP/1.0 200 OK\r\n" + std::string(kMaxRtspMessageBytes, 'x'),
                    ParseResult::kTooLarge},
        MessageCase{"Garbage", "\x01\x02garbage\r\n\r\n", ParseResult::kInvalid}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(Sdp, PicksTheFirstH264OrH265VideoAmongAnyOtherMedia) {
  SdpVideo video;
  // Thousands of audio lines ahead of the video: only the video is taken.
  ASSERT_TRUE(ParseSdpVideo(testing_device::SdpWithAudioFirst(5000), &video));
  EXPECT_EQ(video.codec, VideoCodec::kH264);
  EXPECT_EQ(video.control, "video");
  EXPECT_EQ(Bytes(video.parameterSets.begin(), video.parameterSets.begin() + 5),
            (Bytes{0, 0, 0, 1, 0x67}));

  const std::string hevc =
      "v=0\r\nm=video 0 RTP/AVP 26\r\na=rtpmap:26 JPEG/90000\r\n"
      "m=video 0 RTP/AVP 97 98\r\na=rtpmap:98 H265/90000\r\n"
      "a=fmtp:97 sprop-sps=AAAA\r\na=fmtp:98 sprop-pps=RAE=; sprop-vps=QAE=;sprop-sps=QgE=\r\n"
      "a=control:rtsp://cam/stream=1\r\nm=audio 0 RTP/AVP 97\r\na=rtpmap:97 "
      "MPEG4-GENERIC/16000\r\n";
  ASSERT_TRUE(ParseSdpVideo(hevc, &video));
  EXPECT_EQ(video.codec, VideoCodec::kH265);
  EXPECT_EQ(video.payloadType, 98);
  // VPS, SPS, PPS in that order, whatever order the camera listed them in.
  EXPECT_EQ(video.parameterSets,
            (Bytes{0, 0, 0, 1, 0x40, 1, 0, 0, 0, 1, 0x42, 1, 0, 0, 0, 1, 0x44, 1}));
  EXPECT_EQ(ResolveControl("rtsp://cam/ch1/", video.control), "rtsp://cam/stream=1");
  EXPECT_EQ(ResolveControl("rtsp://cam/ch1/", "trackID=0"), "rtsp://cam/ch1/trackID=0");
  EXPECT_EQ(ResolveControl("rtsp://cam/ch1", "*"), "rtsp://cam/ch1");

  EXPECT_FALSE(
      ParseSdpVideo("v=0\r\nm=audio 0 RTP/AVP 0\r\nm=video 0 RTP/AVP 96\r\n"
                    "a=rtpmap:96 MP4V-ES/90000\r\n",
                    &video));
}

Bytes Rtp(uint16_t sequence, uint32_t time, bool marker, const Bytes& payload) {
  Bytes packet = {0x80,
                  static_cast<uint8_t>((marker ? 0x80 : 0) | 96),
                  static_cast<uint8_t>(sequence >> 8),
                  static_cast<uint8_t>(sequence),
                  static_cast<uint8_t>(time >> 24),
                  static_cast<uint8_t>(time >> 16),
                  static_cast<uint8_t>(time >> 8),
                  static_cast<uint8_t>(time),
                  0,
                  0,
                  0,
                  1};
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

struct DepacketizerCase {
  const char* name;
  VideoCodec codec;
  std::vector<Bytes> payloads;  // one RTP packet each, the last with the marker
  Bytes expected;               // the access unit, Annex B
  bool key;
};

class Depacketizer : public ::testing::TestWithParam<DepacketizerCase> {};

TEST_P(Depacketizer, JoinsOnePictureFromItsPackets) {
  const DepacketizerCase& c = GetParam();
  RtpDepacketizer depacketizer(c.codec, 96);
  for (size_t i = 0; i < c.payloads.size(); ++i) {
    const Bytes packet =
        Rtp(static_cast<uint16_t>(100 + i), 9000, i + 1 == c.payloads.size(), c.payloads[i]);
    depacketizer.Push(packet.data(), packet.size());
  }
  AccessUnit unit;
  ASSERT_TRUE(depacketizer.Pop(&unit));
  EXPECT_EQ(unit.bytes, c.expected);
  EXPECT_EQ(unit.key, c.key);
  EXPECT_EQ(unit.rtpTime, 9000u);
  EXPECT_FALSE(depacketizer.Pop(&unit));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, Depacketizer,
    ::testing::Values(
        // STAP-A with SPS and PPS, then an IDR slice in three FU-A fragments.
        DepacketizerCase{
            "H264AggregateAndFragments",
            VideoCodec::kH264,
            {{0x18, 0, 2, 0x67, 1, 0, 2, 0x68, 2},
             {0x7C, 0x85, 0xA},
             {0x7C, 0x05, 0xB},
             {0x7C, 0x45, 0xC}},
            {0, 0, 0, 1, 0x67, 1, 0, 0, 0, 1, 0x68, 2, 0, 0, 0, 1, 0x65, 0xA, 0xB, 0xC},
            true},
        DepacketizerCase{"H264SingleNonKeySlice",
                         VideoCodec::kH264,
                         {{0x41, 7, 7}},
                         {0, 0, 0, 1, 0x41, 7, 7},
                         false},
        // Aggregation packet with VPS and SPS, then an IDR (type 19) in two fragments.
        DepacketizerCase{
            "H265AggregateAndFragments",
            VideoCodec::kH265,
            {{0x60, 1, 0, 2, 0x40, 1, 0, 2, 0x42, 1}, {0x62, 1, 0x93, 0xA}, {0x62, 1, 0x53, 0xB}},
            {0, 0, 0, 1, 0x40, 1, 0, 0, 0, 1, 0x42, 1, 0, 0, 0, 1, 0x26, 1, 0xA, 0xB},
            true},
        // A CRA picture (type 21) also lets a decoder start.
        DepacketizerCase{
            "H265SingleCra", VideoCodec::kH265, {{0x2A, 1, 5}}, {0, 0, 0, 1, 0x2A, 1, 5}, true}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(DepacketizerLoss, LostFragmentDropsItsNalUnitAndANewTimeStampEndsAPicture) {
  RtpDepacketizer depacketizer(VideoCodec::kH264, 96);
  const std::vector<Bytes> packets = {
      Rtp(1, 100, false, {0x67, 1}),          // SPS
      Rtp(2, 100, false, {0x7C, 0x85, 0xA}),  // IDR start; 3 is lost
      Rtp(4, 100, false, {0x7C, 0x45, 0xC}),  // IDR end (no marker: the marker was lost too)
      Rtp(5, 200, true, {0x41, 9}),           // the next picture
      Rtp(6, 300, true, {0x00, 1}),           // payload type 0 is no NAL unit: nothing
  };
  for (const Bytes& packet : packets) {
    depacketizer.Push(packet.data(), packet.size());
  }
  AccessUnit unit;
  ASSERT_TRUE(depacketizer.Pop(&unit));
  EXPECT_EQ(unit.bytes, (Bytes{0, 0, 0, 1, 0x67, 1}));  // the broken IDR left out
  EXPECT_FALSE(unit.key);
  ASSERT_TRUE(depacketizer.Pop(&unit));
  EXPECT_EQ(unit.rtpTime, 200u);
  EXPECT_FALSE(depacketizer.Pop(&unit));
}

// Digest answers against the published examples of RFC 2617 and RFC 7616 (and
// their session variant), and the challenge kept among a 401's offers.
TEST(DigestAuth, AnswersEachAlgorithmAndKeepsTheStrongestOffer) {
  const char* nonce7616 = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
  const char* cnonce7616 = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
  const DigestParts rfc7616{DigestAlgorithm::kSha256, "Mufasa", "http-auth@example.org",
                            "Circle of Life", nonce7616, "GET", "/dir/index.html", "auth",
                            "00000001", cnonce7616};
  EXPECT_EQ(DigestResponse(rfc7616),
            "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
  DigestParts md5 = rfc7616;
  md5.algorithm = DigestAlgorithm::kMd5;
  EXPECT_EQ(DigestResponse(md5), "8ca523f5e9506fed4657c9700eebdbec");
  DigestParts rfc2617{DigestAlgorithm::kMd5, "Mufasa", "testrealm@host.com", "Circle Of Life",
                      "dcd98b7102dd2f0e8b11d0f600bfb0c093", "GET", "/dir/index.html", "auth",
                      "00000001", "0a4f113b"};
  EXPECT_EQ(DigestResponse(rfc2617), "6629fae49393a05397450978507c4ef1");
  rfc2617.algorithm = DigestAlgorithm::kMd5Sess;
  EXPECT_EQ(DigestResponse(rfc2617), "8e3825c57e897f5a0dec6c2d4e5059d0");

  RtspAuth auth("admin", "pw");
  EXPECT_TRUE(auth.Challenge({"Digest realm=\"r\", nonce=\"n\", qop=\"auth-int, auth\"",
                              "Digest realm=\"r\", nonce=\"m\", algorithm=SHA-256",
                              "Basic realm=\"r\""}));
  std::string header = auth.Authorization("DESCRIBE", "rtsp://cam/ch1/main");
  EXPECT_NE(header.find("nonce=\"m\", uri=\"rtsp://cam/ch1/main\", algorithm=SHA-256"),
            std::string::npos)
      << header;
  EXPECT_EQ(header.find("qop"), std::string::npos) << "the SHA-256 offer asked for none";
  EXPECT_TRUE(auth.Challenge({"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256",
                              "Basic realm=\"r\""}));
  EXPECT_EQ(auth.Authorization("DESCRIBE", "u").rfind("Basic ", 0), 0u);
  EXPECT_FALSE(auth.Challenge({"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256"}));
  auth.RefuseBasic();  // redirected to another host
  EXPECT_FALSE(auth.Challenge({"Basic realm=\"r\""}));
}

// Packets as UDP hands them over (sequence number, arrival ms) and as the
// reorder gives them out, to a reading loop that waits no longer than
// HoldUntil(), with what it counted: late packets and copies are dropped, a
// gap given up after 200 ms.
using Arrivals = std::vector<std::pair<uint16_t, int>>;
struct ReorderCase {
  Arrivals offered;
  Arrivals given;
  ReorderCounts counts;
};

class Reorder : public ::testing::TestWithParam<ReorderCase> {};

TEST_P(Reorder, GivesPacketsOutInSequenceOrWhenTheGapIsGivenUp) {
  const auto at = [](int ms) {
    return RtpReorder::Clock::time_point{} + std::chrono::milliseconds(ms);
  };
  RtpReorder reorder;
  Arrivals given;
  Bytes out;
  const auto popDue = [&](int ms) {
    while (reorder.Pop(&out, at(ms))) {
      given.emplace_back(static_cast<uint16_t>(out[2] << 8 | out[3]), ms);
    }
  };
  const auto holdMs = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(reorder.HoldUntil() - at(0))
        .count();
  };
  for (const auto& [sequence, ms] : GetParam().offered) {
    while (reorder.HoldUntil() <= at(ms)) {
      popDue(static_cast<int>(holdMs()));
    }
    if (reorder.Offer(Rtp(sequence, 0, false, {0x41}), at(ms))) {
      given.emplace_back(sequence, ms);
    }
    popDue(ms);
  }
  EXPECT_EQ(given, GetParam().given);
  EXPECT_EQ(reorder.HoldUntil(), RtpReorder::Clock::time_point::max()) << "nothing left waiting";
  const ReorderCounts& counts = reorder.Counts();
  const ReorderCounts& expected = GetParam().counts;
  EXPECT_EQ(counts.lost, expected.lost);
  EXPECT_EQ(counts.late, expected.late);
  EXPECT_EQ(counts.duplicate, expected.duplicate);
  EXPECT_EQ(counts.reordered, expected.reordered);
}

ReorderCase BurstBehindGap(int ms) {  // 1, then one more than the bound from 3 on
  ReorderCase burst{{{1, 0}}, {{1, 0}}, {1, 0, 0, 0}};
  for (uint16_t s = 3; s < 3 + RtpReorder::kMaxHeldPackets + 1; ++s) {
    burst.offered.emplace_back(s, ms);
    burst.given.emplace_back(s, ms);
  }
  return burst;
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, Reorder,
    ::testing::Values(
        // Swapped, with copies of both.
        ReorderCase{{{1, 0}, {3, 1}, {3, 2}, {2, 3}, {2, 4}, {4, 5}},
                    {{1, 0}, {2, 3}, {3, 3}, {4, 5}},
                    {0, 0, 2, 1}},
        // A Wi-Fi bridge's late burst: 2 and 3 come 150 ms late, in time.
        ReorderCase{{{1, 0}, {4, 10}, {5, 20}, {3, 150}, {2, 160}, {6, 161}},
                    {{1, 0}, {2, 160}, {3, 160}, {4, 160}, {5, 160}, {6, 161}},
                    {0, 0, 0, 2}},
        // 2 never comes in time: given up 200 ms after 3 waited, then late;
        // a copy of it after that is a copy.
        ReorderCase{{{1, 0}, {3, 5}, {4, 6}, {2, 300}, {2, 301}, {5, 302}},
                    {{1, 0}, {3, 205}, {4, 205}, {5, 302}},
                    {1, 1, 1, 0}},
        ReorderCase{{{65534, 0}, {0, 1}, {65535, 2}},
                    {{65534, 0}, {65535, 2}, {0, 2}},
                    {0, 0, 0, 1}},
        // Numbered afresh, back or ahead.
        ReorderCase{{{5000, 0}, {10, 1}, {40000, 2}},
                    {{5000, 0}, {10, 1}, {40000, 2}},
                    {0, 0, 0, 0}},
        BurstBehindGap(2)));

// Receiver reports across a sequence number wrap: one packet of four lost,
// then none of the next two; each report names the sender and us (CNAME).
TEST(RtcpReceiverReport, CountsLossAcrossTheWrapAndPerInterval) {
  RtcpReport report(0x11223344);
  EXPECT_TRUE(report.Build().empty()) << "nothing to report on yet";
  const auto receive = [&](uint16_t sequence) {
    Bytes packet = Rtp(sequence, 3000u * sequence, false, {0x41});
    packet[8] = 0xAA;  // the sender's SSRC: AA000000 + 1 from Rtp()
    report.Received(packet.data(), packet.size(), 3000u * sequence + 500);
  };
  const auto word = [](const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
  };
  for (const uint16_t sequence : {uint16_t{65534}, uint16_t{65535}, uint16_t{1}}) {
    receive(sequence);
  }
  Bytes first = report.Build();
  ASSERT_EQ(first.size(), 32u + 28u);  // RR with one block, SDES with a 17-byte name
  EXPECT_EQ(word(first, 0), 0x81C90007u);
  EXPECT_EQ(word(first, 4), 0x11223344u);
  EXPECT_EQ(word(first, 8), 0xAA000001u);
  EXPECT_EQ(word(first, 12), 64u << 24 | 1u) << "a quarter lost, one in all";
  EXPECT_EQ(word(first, 16), 0x10001u) << "highest sequence number, wraps counted";
  EXPECT_EQ(word(first, 20), 0u) << "no jitter: every packet 500 clock units late";
  EXPECT_EQ(word(first, 32), 0x81CA0006u);
  EXPECT_EQ(std::string(first.begin() + 42, first.begin() + 59), "tarnview-11223344");
  receive(2);
  receive(3);
  receive(2);  // a copy: counted as received, the highest stays 3
  const Bytes second = report.Build();
  EXPECT_EQ(word(second, 12), 0u) << "none lost since, and the copy makes up for the one before";
  EXPECT_EQ(word(second, 16), 0x10003u);
}

// Login and real play against a device shaped by the test.
class ScriptedDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(NET_DVR_Init());
    NET_DVR_SetConnectTime(2000, 1);
  }
  void TearDown() override { NET_DVR_Cleanup(); }
  static LONG Login(const testing_device::ScriptedDevice& device) {
    NET_DVR_DEVICEINFO_V30 info{};
    return NET_DVR_Login_V30("127.0.0.1", device.Port(), "admin", "x", &info);
  }
  static LONG Play(LONG login, DWORD linkMode) {
    NET_DVR_PREVIEWINFO request{};
    request.lChannel = 1;
    request.dwLinkMode = linkMode;
    return NET_DVR_RealPlay_V40(
        login, &request, [](LONG, DWORD, BYTE*, DWORD, void*) {}, nullptr);
  }
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(ScriptedDeviceTest, ReplyAnnouncingTwoGigabytesIsRefusedWithoutAllocatingIt) {
  testing_device::ScriptedDevice device({"", false, false, 2000000000LL});
  const long before = PeakRssKb();
  EXPECT_LT(Login(device), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_STREAM);
  EXPECT_LT(PeakRssKb() - before, 64 * 1024) << "kB of peak memory grown";
}

TEST_F(ScriptedDeviceTest, ThousandsOfMediaLinesSetUpOnlyTheVideo) {
  testing_device::ScriptedDevice device({testing_device::SdpWithAudioFirst(5000)});
  const LONG login = Login(device);
  ASSERT_GE(login, 0);
  EXPECT_EQ(device.Setups(), 0) << "the login sets nothing up";
  const LONG play = Play(login, 0);
  ASSERT_GE(play, 0);
  EXPECT_EQ(device.Setups(), 1);
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
}

// Each link mode asked of a device that refuses it, or (UDP) sends nothing:
// the play runs on the other mode.
struct FallbackCase {
  bool refuseTcp;
  bool refuseUdp;
  bool silentUdp;
  DWORD asked;
  DWORD used;
};

class LinkModeFallback : public ScriptedDeviceTest,
                         public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(LinkModeFallback, PlaysOnTheOtherModeOnce) {
  const FallbackCase& c = GetParam();
  testing_device::ScriptedDevice device(
      {testing_device::SdpWithAudioFirst(1), c.refuseTcp, c.refuseUdp, 0, c.silentUdp});
  const LONG login = Login(device);
  ASSERT_GE(login, 0) << "the login does not depend on the transports offered";
  const LONG play = Play(login, c.asked);
  ASSERT_GE(play, 0);
  DWORD used = 9;
  EXPECT_TRUE(NET_DVR_GetRealPlayLinkMode(play, &used));
  EXPECT_EQ(used, c.used);
  EXPECT_LE(device.Setups(), 2);
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkModeFallback,
                         ::testing::Values(FallbackCase{true, false, false, 0, 1},  // UDP only
                                           FallbackCase{false, true, false, 1, 0},  // TCP only
                                           FallbackCase{false, false, true, 1, 0},  // UDP silent
                                           FallbackCase{false, false, false, 1, 1},
                                           FallbackCase{false, false, false, 0, 0}));

// A device that redirects the DESCRIBE is followed; one whose redirects
// never end is given up after three.
TEST_F(ScriptedDeviceTest, LoginFollowsRedirectsButNotWithoutEnd) {
  for (const char* path : {"/moved/ch1", "/ch1/main"}) {
    testing_device::ScriptedAnswers answers{testing_device::SdpWithAudioFirst(0)};
    answers.redirectTo = std::string("rtsp://127.0.0.1:{port}") + path;
    testing_device::ScriptedDevice device(answers);
    const bool ends = std::string(path) != "/ch1/main";
    const LONG login = Login(device);
    EXPECT_EQ(login >= 0, ends) << path;
    EXPECT_EQ(device.Methods(), std::vector<std::string>(ends ? 2 : 1 + RtspClient::kMaxRedirects,
                                                         "DESCRIBE"));
    if (!ends) {
      EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_STREAM);
    }
  }
}

TEST_F(ScriptedDeviceTest, NeitherTransportDeliveringFailsTheRealPlay) {
  testing_device::ScriptedDevice device(
      {testing_device::SdpWithAudioFirst(1), true, false, 0, true});
  const LONG login = Login(device);
  ASSERT_GE(login, 0);
  EXPECT_LT(Play(login, 1), 0) << "UDP set up but silent, TCP refused";
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_STREAM);
}

// Over UDP the last two pieces of a key frame swap places on the way: the
// picture still comes out whole and a place to start decoding.
TEST_F(ScriptedDeviceTest, PacketsOutOfOrderOverUdpJoinIntoTheWholePicture) {
  const std::vector<Bytes> sent = {
      Rtp(1, 100, false, {0x7C, 0x85, 0xA}),  // IDR start
      Rtp(3, 100, true, {0x7C, 0x45, 0xC}),   // IDR end, the picture's last packet
      Rtp(2, 100, false, {0x7C, 0x05, 0xB}),  // IDR middle, overtaken
  };
  testing_device::ScriptedDevice device(
      {testing_device::SdpWithAudioFirst(0), false, false, 0, false, sent});
  RtspSource source(nullptr);
  ASSERT_TRUE(
      source.Open({{"127.0.0.1", device.Port(), "", "", "/ch1/main"}, true, 2000}, false).Ok());
  ASSERT_TRUE(source.Udp());
  AVPacket* packet = av_packet_alloc();
  ASSERT_TRUE(source.Read(packet).Ok());
  EXPECT_EQ(Bytes(packet->data, packet->data + packet->size),
            (Bytes{0, 0, 0, 1, 0x65, 0xA, 0xB, 0xC}));
  EXPECT_NE(packet->flags & AV_PKT_FLAG_KEY, 0);
  av_packet_free(&packet);
}

// A session kept alive every second (timeout 2 s) by a device that lists
// GET_PARAMETER: the first keep-alive is OPTIONS, the next GET_PARAMETER.
TEST_F(ScriptedDeviceTest, KeepAliveTurnsToGetParameterWhenTheDeviceListsIt) {
  testing_device::ScriptedAnswers answers{testing_device::SdpWithAudioFirst(0)};
  answers.sessionTimeoutS = 2;
  answers.listsGetParameter = true;
  testing_device::ScriptedDevice device(answers);
  const auto in = [](int ms) { return RtspClient::Clock::now() + std::chrono::milliseconds(ms); };
  RtspClient client(nullptr);
  SdpVideo video;
  ASSERT_TRUE(
      client.Describe({"127.0.0.1", device.Port(), "", "", "/ch1/main"}, in(2000), &video).Ok());
  ASSERT_TRUE(client.Setup(false, in(2000)).Ok());
  ASSERT_TRUE(client.Play(in(2000)).Ok());
  EXPECT_EQ(client.State(), SessionState::kPlaying);
  std::vector<uint8_t> packet;
  EXPECT_EQ(client.ReadRtp(&packet, in(2500)).kind, OutcomeKind::kTimedOut)
      << "no RTP comes over TCP";
  const std::vector<std::string> methods = device.Methods();
  ASSERT_GE(methods.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(methods.end() - 2, methods.end()),
            (std::vector<std::string>{"OPTIONS", "GET_PARAMETER"}));
  client.Close();
  EXPECT_EQ(client.State(), SessionState::kClosed);
  EXPECT_TRUE(testing_device::WaitFor([&] { return device.Methods().back() == "TEARDOWN"; }, 5000));
}

TEST(RetryAfter, TakesSecondsOrADateAndNothingElse) {
  const auto now = std::chrono::system_clock::from_time_t(1717754400);  // Fri, 07 Jun 2024 10:00
  EXPECT_EQ(RetryAfterMs(" 1 ", now), 1000);
  EXPECT_EQ(RetryAfterMs("99999999999999", now), kMaxRetryAfterMs);
  EXPECT_EQ(RetryAfterMs("Fri, 07 Jun 2024 10:00:02 GMT", now), 2000);
  EXPECT_EQ(RetryAfterMs("Fri, 07 Jun 2024 09:59:00 GMT", now), 0) << "already past";
  EXPECT_EQ(RetryAfterMs("Fri, 07 Juni 2024 10:00:02 GMT", now), std::nullopt);
  EXPECT_EQ(RetryAfterMs("1.5", now), std::nullopt);
  EXPECT_EQ(RetryAfterMs("", now), std::nullopt);
}

// One session with a device shaped by the row, asked for TCP through the
// source: what the open comes to and over which transport; then pictures are
// read until the row's condition holds on the device (or a read fails), and
// the last read's outcome and the keep-alive failures counted are checked.
using DeviceHolds = std::function<bool(const testing_device::ScriptedDevice&)>;

struct SessionCase {
  const char* name;
  testing_device::ScriptedAnswers answers;
  OutcomeKind opened;  // the open's outcome, its status and problem
  int status;
  std::string_view problem;
  int describes;  // DESCRIBEs and SETUPs the device was sent
  int setups;
  bool udp;           // the transport it plays on
  DeviceHolds until;  // null: read until a read fails
  OutcomeKind readEnds;
  bool keepAliveFailed;
};

void PrintTo(const SessionCase& c, std::ostream* out) { *out << c.name; }

const DeviceHolds kNoReading = [](const testing_device::ScriptedDevice&) { return true; };
// Pictures read at most: 20 s of a stream of one picture each 20 ms.
constexpr int kMaxPictures = 1000;

SessionCase TcpRefusedWith(const char* name, int status, OutcomeKind opened, bool fallsBack) {
  testing_device::ScriptedAnswers answers{testing_device::SdpWithAudioFirst(0), true};
  answers.refuseStatus = status;
  return {name, answers, opened, fallsBack ? 0 : status, "", fallsBack ? 2 : 1,
          fallsBack ? 2 : 1, fallsBack, kNoReading, OutcomeKind::kAnswered, false};
}

testing_device::ScriptedAnswers Streaming(testing_device::ScriptedAnswers answers) {
  answers.sdp = testing_device::SdpWithAudioFirst(0);
  answers.streamEveryMs = 20;
  answers.sessionTimeoutS = 2;  // a keep-alive each second
  return answers;
}

class SessionSteps : public ::testing::TestWithParam<SessionCase> {};

TEST_P(SessionSteps, ComeToTheirTypedOutcomes) {
  const SessionCase& c = GetParam();
  testing_device::ScriptedDevice device(c.answers);
  RtspSource source(nullptr);
  const Outcome opened =
      source.Open({{"127.0.0.1", device.Port(), "admin", "x", "/ch1/main"}, false, 2000}, false);
  EXPECT_EQ(opened.kind, c.opened);
  EXPECT_EQ(opened.status, c.status);
  EXPECT_EQ(opened.problem, c.problem);
  const std::vector<std::string> methods = device.Methods();
  EXPECT_EQ(std::count(methods.begin(), methods.end(), "DESCRIBE"), c.describes);
  EXPECT_EQ(device.Setups(), c.setups);
  EXPECT_EQ(source.Stats().transportFallbacks, c.setups == 2 ? 1u : 0u);
  if (!opened.Ok()) {
    return;
  }
  EXPECT_EQ(source.Udp(), c.udp);
  AVPacket* packet = av_packet_alloc();
  Outcome read;
  for (int pictures = 0; read.Ok() && !(c.until && c.until(device)) && pictures < kMaxPictures;
       ++pictures) {
    read = source.Read(packet);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  EXPECT_EQ(read.kind, c.readEnds);
  EXPECT_EQ(source.Stats().keepAliveFailures > 0, c.keepAliveFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SessionSteps,
    ::testing::Values(
        TcpRefusedWith("Setup400", 400, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup406", 406, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup451", 451, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup461", 461, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup501", 501, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup505", 505, OutcomeKind::kAnswered, true),
        TcpRefusedWith("Setup401", 401, OutcomeKind::kUnauthorised, false),
        TcpRefusedWith("Setup404", 404, OutcomeKind::kNotFound, false),
        // The nonce goes stale between the first keep-alive and the second:
        // the second answers the new challenge, the session and stream go on.
        SessionCase{"KeepAliveMeetsStaleNonce", Streaming({.staleNonceEveryMs = 1500}),
                    OutcomeKind::kAnswered, 0, "", 2, 1, false,
                    [](const auto& d) { return d.StaleRefusals() > 0 && d.KeepAlivesAnswered() > 1; },
                    OutcomeKind::kAnswered, true},
        SessionCase{"KeepAliveFindsSessionGone", Streaming({.keepAliveStatus = 454}),
                    OutcomeKind::kAnswered, 0, "", 1, 1, false, nullptr, OutcomeKind::kNotFound,
                    true},
        SessionCase{"KeepAliveRefusedOnce", Streaming({.keepAliveStatus = 500}),
                    OutcomeKind::kAnswered, 0, "", 1, 1, false,
                    [](const auto& d) { return d.KeepAlivesAnswered() > 0; },
                    OutcomeKind::kAnswered, true},
        SessionCase{"BusyForASecond", Streaming({.busyForMs = 1000}), OutcomeKind::kAnswered, 0,
                    "", 2, 1, false, kNoReading, OutcomeKind::kAnswered, false},
        SessionCase{"LengthNoNumber",
                    {.describeReply = "RTSP/1.0 200 OK\r\nContent-Length: ten\r\n\r\n"},
                    OutcomeKind::kMalformedReply, 0, "Content-Length is not a number", 1, 0,
                    false, kNoReading, OutcomeKind::kAnswered, false},
        SessionCase{"HttpNotRtsp", {.describeReply = "HTTP/1.1 200 OK\r\n\r\n"},
                    OutcomeKind::kMalformedReply, 0, "not an RTSP message", 1, 0, false,
                    kNoReading, OutcomeKind::kAnswered, false},
        SessionCase{"HugeBody", {.hugeBodyBytes = 2000000000LL}, OutcomeKind::kTooLarge, 0, "", 1,
                    0, false, kNoReading, OutcomeKind::kAnswered, false},
        SessionCase{"AudioOnly", {.sdp = "v=0\r\nm=audio 0 RTP/AVP 8\r\n"},
                    OutcomeKind::kUnsupportedMedia, 0, "", 1, 0, false, kNoReading,
                    OutcomeKind::kAnswered, false}),
    [](const auto& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace device
