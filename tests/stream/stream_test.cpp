// The shared stream readers: what an SPS says of the reordering (parameter
// sets written by real encoders), PES time stamps, and NAL units in Annex B.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/stream/nal.h"
#include "platform/stream/sps.h"
#include "platform/stream/ts.h"

namespace stream {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  }
  return bytes;
}

struct SpsCase {
  std::string name;
  VideoCodec codec;
  std::string sps;  // the NAL unit, header included, as the encoder wrote it
  std::optional<int> depth;
};

class StatedReorderDepthTest : public ::testing::TestWithParam<SpsCase> {};

TEST_P(StatedReorderDepthTest, IsWhatTheEncoderWrote) {
  const std::vector<uint8_t> sps = FromHex(GetParam().sps);
  EXPECT_EQ(StatedReorderDepth(GetParam().codec, sps.data(), sps.size()), GetParam().depth);
  // Cut short anywhere before its reordering field, an SPS states nothing.
  for (size_t size = 1; size + 4 < sps.size(); ++size) {
    const std::optional<int> depth = StatedReorderDepth(GetParam().codec, sps.data(), size);
    EXPECT_TRUE(!depth || depth == GetParam().depth) << "cut at " << size;
  }
}

// The depths are those the decoders of the reference toolchain report for
// the same streams.
INSTANTIATE_TEST_SUITE_P(
    Encoders, StatedReorderDepthTest,
    ::testing::Values(
        SpsCase{"H264ConstrainedBaseline", VideoCodec::kH264,
                "6742c00bd902847e5c0440000003004000000c83c50a92", 0},
        SpsCase{"H264HighNoBFrames", VideoCodec::kH264,
                "6764000bacb20508fcb808800000030080000019078a1524", 0},
        SpsCase{"H264HighOneBFrame", VideoCodec::kH264,
                "6764000bace40a11f97011000003000100000300320f142912", 1},
        SpsCase{"H264HighThreeBFramesNoPyramid", VideoCodec::kH264,
                "6764000bacd102847e5c0440000003004000000c83c50a4480", 1},
        SpsCase{"H264HighThreeBFramesPyramid", VideoCodec::kH264,
                "6764000bacd942847e5c0440000003004000000c83c50a6580", 2},
        SpsCase{"H264High444", VideoCodec::kH264,
                "67f4000b919b28508fc4e022000003000200000300641e28532c", 2},
        SpsCase{"H264WithHrdParameters", VideoCodec::kH264,
                "6764000dacd942847e5c0440000003004000000c9808007a10001e84a4c30078a14cb0", 2},
        SpsCase{"H265NoBFrames", VideoCodec::kH265,
                "42010101600000030090000003000003001ea01420796592a4932bc05a020000030002000003003210",
                0},
        SpsCase{"H265TwoBFrames", VideoCodec::kH265,
                "42010101600000030090000003000003001ea01420796595924932bc05a02000000300200000030321",
                2},
        // Not an SPS at all: a PPS.
        SpsCase{"H264PpsIsNoSps", VideoCodec::kH264, "68ebe3cb22c0", std::nullopt}),
    [](const ::testing::TestParamInfo<SpsCase>& param) { return param.param.name; });

TEST(StatedReorderDepth, IsFoundAmongTheNalUnitsOfAKeyFrame) {
  const std::vector<uint8_t> unit =
      FromHex("00000001" "0910" "00000001" "6764000bacd942847e5c0440000003004000000c83c50a6580"
              "000001" "68ebe3cb22c0" "00000001" "6588840021ff");
  EXPECT_EQ(StatedReorderDepthIn(VideoCodec::kH264, unit.data(), unit.size()), 2);
  EXPECT_TRUE(StartsKeyFrame(VideoCodec::kH264, unit.data(), unit.size()));
  std::vector<int> types;
  ForEachNal(unit.data(), unit.size(), [&](const uint8_t* nal, size_t size) {
    types.push_back(NalType(VideoCodec::kH264, nal));
    EXPECT_NE(nal[size - 1], 0) << "a start code's zero byte was taken into the unit";
  });
  EXPECT_EQ(types, (std::vector<int>{9, 7, 8, 5}));
  const std::vector<uint8_t> nonKey = FromHex("00000001" "419a0021ff");
  EXPECT_FALSE(StartsKeyFrame(VideoCodec::kH264, nonKey.data(), nonKey.size()));
}

TEST(PesHeader, TimestampsAreReadAndTruncatedHeadersRefused) {
  // Video PES, unstated length, PTS 0x1_2345_6789 and DTS 0x0_0000_1000.
  const std::vector<uint8_t> pes = FromHex("000001e00000" "80c00a" "398d15cf13" "1100012001" "00000001");
  const std::optional<PesHeader> header = ReadPesHeader(pes.data(), pes.size());
  ASSERT_TRUE(header);
  EXPECT_TRUE(IsVideoStreamId(header->streamId));
  EXPECT_EQ(header->statedBytes, 0u);
  EXPECT_EQ(header->dataOffset, 19u);
  EXPECT_EQ(header->pts, 0x123456789LL);
  EXPECT_EQ(header->dts, 0x1000);
  for (size_t size = 0; size < 19; ++size) {
    EXPECT_FALSE(ReadPesHeader(pes.data(), size)) << size << " bytes";
  }
  // A PTS alone is the DTS too.
  const std::vector<uint8_t> ptsOnly = FromHex("000001e00000" "808005" "298d15cf13");
  const std::optional<PesHeader> single = ReadPesHeader(ptsOnly.data(), ptsOnly.size());
  ASSERT_TRUE(single);
  EXPECT_EQ(single->dts, single->pts);
}

}  // namespace
}  // namespace stream
