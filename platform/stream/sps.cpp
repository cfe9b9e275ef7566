#include "platform/stream/sps.h"

#include <vector>

#include "platform/stream/nal.h"

namespace stream {
namespace {

// The most pictures any level lets a decoder hold; a stated depth beyond it is damage.
constexpr uint32_t kMaxReorderDepth = 16;

// Reads the RBSP of a NAL unit bit by bit: the emulation prevention bytes
// (00 00 03) taken out, every read bounded by the data. A read past the end
// or an exp-Golomb code longer than 32 bits fails the reader for good.
class BitReader {
 public:
  BitReader(const uint8_t* nal, size_t size) {
    m_bytes.reserve(size);
    int zeros = 0;
    for (size_t at = 0; at < size; ++at) {
      if (zeros >= 2 && nal[at] == 3) {
        zeros = 0;
        continue;
      }
      zeros = nal[at] == 0 ? zeros + 1 : 0;
      m_bytes.push_back(nal[at]);
    }
  }

  bool Failed() const { return m_failed; }
  void Fail() { m_failed = true; }

  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      if (m_bit >= 8 * m_bytes.size()) {
        m_failed = true;
        return 0;
      }
      value = value << 1 | ((m_bytes[m_bit / 8] >> (7 - m_bit % 8)) & 1U);
      ++m_bit;
    }
    return value;
  }
  bool Flag() { return Bits(1) != 0; }
  void Skip(int count) {
    for (; count > 32; count -= 32) {
      Bits(32);
    }
    Bits(count);
  }
  uint32_t Ue() {
    int zeros = 0;
    while (!m_failed && Bits(1) == 0) {
      if (++zeros > 31) {
        m_failed = true;
        return 0;
      }
    }
    return m_failed ? 0 : (uint32_t{1} << zeros) - 1 + Bits(zeros);
  }
  void SkipUe(int count = 1) {
    for (int i = 0; i < count; ++i) {
      Ue();
    }
  }
  void SkipSe() { Ue(); }  // the same code, read as signed; only skipped here

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_bit = 0;
  bool m_failed = false;
};

std::optional<int> Depth(const BitReader& reader, uint32_t depth) {
  if (reader.Failed() || depth > kMaxReorderDepth) {
    return std::nullopt;
  }
  return static_cast<int>(depth);
}

void SkipScalingList(BitReader& reader, int entries) {
  int last = 8;
  int next = 8;
  for (int j = 0; j < entries && !reader.Failed(); ++j) {
    if (next != 0) {
      const uint32_t code = reader.Ue();
      // se(v): code k stands for (-1)^(k+1) * ceil(k / 2).
      const int delta = (code & 1U) != 0 ? static_cast<int>((code + 1) / 2)
                                         : -static_cast<int>(code / 2);
      next = (last + delta + 256) % 256;
    }
    last = next == 0 ? last : next;
  }
}

void SkipHrdParameters(BitReader& reader) {
  const uint32_t cpbCount = reader.Ue() + 1;
  if (cpbCount > 32) {
    reader.Fail();  // out of range: damage
    return;
  }
  reader.Skip(8);  // bit_rate_scale, cpb_size_scale
  for (uint32_t i = 0; i < cpbCount && !reader.Failed(); ++i) {
    reader.SkipUe(2);  // bit_rate_value_minus1, cpb_size_value_minus1
    reader.Skip(1);    // cbr_flag
  }
  reader.Skip(20);  // four delay and offset lengths of 5 bits
}

// Profiles whose SPS carries the chroma format, bit depths and scaling lists.
bool HasChromaInfo(uint32_t profile) {
  switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128:
    case 138: case 139: case 134: case 135:
      return true;
    default:
      return false;
  }
}

std::optional<int> H264Depth(BitReader& reader) {
  reader.Skip(8);  // NAL header
  const uint32_t profile = reader.Bits(8);
  const uint32_t constraints = reader.Bits(8);
  reader.Skip(8);  // level_idc
  reader.SkipUe();  // seq_parameter_set_id
  constexpr uint32_t kBaseline = 66;
  // Intra-only profiles (constraint_set3 with these) never reorder.
  const bool intraOnly = (constraints & 0x10) != 0 &&
                         (profile == 44 || profile == 86 || profile == 100 || profile == 110 ||
                          profile == 122 || profile == 244);
  if (HasChromaInfo(profile)) {
    const uint32_t chromaFormat = reader.Ue();
    if (chromaFormat == 3) {
      reader.Skip(1);  // separate_colour_plane_flag
    }
    reader.SkipUe(2);  // bit depths
    reader.Skip(1);    // qpprime_y_zero_transform_bypass_flag
    if (reader.Flag()) {  // seq_scaling_matrix_present_flag
      const int lists = chromaFormat != 3 ? 8 : 12;
      for (int i = 0; i < lists && !reader.Failed(); ++i) {
        if (reader.Flag()) {
          SkipScalingList(reader, i < 6 ? 16 : 64);
        }
      }
    }
  }
  reader.SkipUe();  // log2_max_frame_num_minus4
  const uint32_t pocType = reader.Ue();
  if (pocType == 0) {
    reader.SkipUe();  // log2_max_pic_order_cnt_lsb_minus4
  } else if (pocType == 1) {
    reader.Skip(1);  // delta_pic_order_always_zero_flag
    reader.SkipSe();
    reader.SkipSe();
    const uint32_t cycle = reader.Ue();
    if (cycle > 255) {
      reader.Fail();
    }
    for (uint32_t i = 0; i < cycle && !reader.Failed(); ++i) {
      reader.SkipSe();
    }
  }
  reader.SkipUe();  // max_num_ref_frames
  reader.Skip(1);   // gaps_in_frame_num_value_allowed_flag
  reader.SkipUe(2);  // picture width and height
  if (!reader.Flag()) {  // frame_mbs_only_flag
    reader.Skip(1);      // mb_adaptive_frame_field_flag
  }
  reader.Skip(1);  // direct_8x8_inference_flag
  if (reader.Flag()) {  // frame_cropping_flag
    reader.SkipUe(4);
  }
  const bool baselineOrIntra = profile == kBaseline || intraOnly;
  if (!reader.Flag()) {  // vui_parameters_present_flag
    return baselineOrIntra ? Depth(reader, 0) : std::nullopt;
  }
  if (reader.Flag()) {  // aspect_ratio_info_present_flag
    constexpr uint32_t kExtendedSar = 255;
    if (reader.Bits(8) == kExtendedSar) {
      reader.Skip(32);
    }
  }
  if (reader.Flag()) {  // overscan_info_present_flag
    reader.Skip(1);
  }
  if (reader.Flag()) {  // video_signal_type_present_flag
    reader.Skip(4);
    if (reader.Flag()) {  // colour_description_present_flag
      reader.Skip(24);
    }
  }
  if (reader.Flag()) {  // chroma_loc_info_present_flag
    reader.SkipUe(2);
  }
  if (reader.Flag()) {  // timing_info_present_flag
    reader.Skip(65);
  }
  const bool nalHrd = reader.Flag();
  if (nalHrd) {
    SkipHrdParameters(reader);
  }
  const bool vclHrd = reader.Flag();
  if (vclHrd) {
    SkipHrdParameters(reader);
  }
  if (nalHrd || vclHrd) {
    reader.Skip(1);  // low_delay_hrd_flag
  }
  reader.Skip(1);  // pic_struct_present_flag
  if (!reader.Flag()) {  // bitstream_restriction_flag
    return baselineOrIntra ? Depth(reader, 0) : std::nullopt;
  }
  reader.Skip(1);    // motion_vectors_over_pic_boundaries_flag
  reader.SkipUe(4);  // bytes and bits denominators, motion vector lengths
  return Depth(reader, reader.Ue());  // max_num_reorder_frames
}

std::optional<int> H265Depth(BitReader& reader) {
  reader.Skip(16);  // NAL header
  reader.Skip(4);   // sps_video_parameter_set_id
  const auto subLayers = static_cast<int>(reader.Bits(3));  // sps_max_sub_layers_minus1
  reader.Skip(1);   // sps_temporal_id_nesting_flag
  // profile_tier_level: the general profile (88 bits) and level (8), then
  // which sub-layers carry a profile or a level of their own.
  reader.Skip(96);
  bool profilePresent[8] = {};
  bool levelPresent[8] = {};
  for (int i = 0; i < subLayers; ++i) {
    profilePresent[i] = reader.Flag();
    levelPresent[i] = reader.Flag();
  }
  if (subLayers > 0) {
    reader.Skip(2 * (8 - subLayers));
  }
  for (int i = 0; i < subLayers; ++i) {
    reader.Skip((profilePresent[i] ? 88 : 0) + (levelPresent[i] ? 8 : 0));
  }
  reader.SkipUe();  // sps_seq_parameter_set_id
  if (reader.Ue() == 3) {  // chroma_format_idc
    reader.Skip(1);        // separate_colour_plane_flag
  }
  reader.SkipUe(2);  // picture width and height
  if (reader.Flag()) {  // conformance_window_flag
    reader.SkipUe(4);
  }
  reader.SkipUe(3);  // bit depths, log2_max_pic_order_cnt_lsb_minus4
  const bool everySubLayer = reader.Flag();  // sps_sub_layer_ordering_info_present_flag
  uint32_t depth = 0;
  for (int i = everySubLayer ? 0 : subLayers; i <= subLayers && !reader.Failed(); ++i) {
    reader.SkipUe();       // sps_max_dec_pic_buffering_minus1
    depth = reader.Ue();   // sps_max_num_reorder_pics: the highest sub-layer's is kept
    reader.SkipUe();       // sps_max_latency_increase_plus1
  }
  return Depth(reader, depth);
}

}  // namespace

std::optional<int> StatedReorderDepth(VideoCodec codec, const uint8_t* nal, size_t size) {
  if (codec == VideoCodec::kNone || size < NalHeaderBytes(codec) || size > kMaxSpsBytes ||
      !IsSpsNal(codec, nal)) {
    return std::nullopt;
  }
  BitReader reader(nal, size);
  return codec == VideoCodec::kH264 ? H264Depth(reader) : H265Depth(reader);
}

std::optional<int> StatedReorderDepthIn(VideoCodec codec, const uint8_t* bytes, size_t size) {
  std::optional<int> depth;
  bool seen = false;
  ForEachNal(bytes, size, [&](const uint8_t* nal, size_t nalSize) {
    if (!seen && nalSize >= NalHeaderBytes(codec) && IsSpsNal(codec, nal)) {
      seen = true;
      depth = StatedReorderDepth(codec, nal, nalSize);
    }
  });
  return depth;
}

}  // namespace stream
