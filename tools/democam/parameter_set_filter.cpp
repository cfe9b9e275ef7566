#include "tools/democam/parameter_set_filter.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/democam/launch_line.h"

namespace democam {
namespace {

struct VideoFormat {
  bool h265 = false;
  unsigned lengthSize = 4;  // bytes of the length before each NAL unit
};

// The parsers hand on packetised video (avc, hvc1): NAL units each behind a
// big-endian length whose size the codec data in the caps names.
VideoFormat FormatOf(GstPad* pad) {
  VideoFormat format;
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr) {
    return format;
  }
  const GstStructure* structure = gst_caps_get_structure(caps, 0);
  format.h265 = gst_structure_has_name(structure, "video/x-h265");
  const GValue* value = gst_structure_get_value(structure, "codec_data");
  if (value != nullptr && G_VALUE_HOLDS(value, GST_TYPE_BUFFER)) {
    GstMapInfo map;
    GstBuffer* codecData = gst_value_get_buffer(value);
    if (gst_buffer_map(codecData, &map, GST_MAP_READ)) {
      const gsize at = format.h265 ? 21 : 4;  // lengthSizeMinusOne in hvcC / avcC
      if (map.size > at) {
        format.lengthSize = (map.data[at] & 0x3u) + 1;
      }
      gst_buffer_unmap(codecData, &map);
    }
  }
  gst_caps_unref(caps);
  return format;
}

bool IsParameterSet(const VideoFormat& format, guint8 header) {
  if (format.h265) {
    const int type = (header >> 1) & 0x3F;
    return type == 32 || type == 33 || type == 34;  // VPS, SPS, PPS
  }
  const int type = header & 0x1F;
  return type == 7 || type == 8;  // SPS, PPS
}

// The NAL units of `data` other than parameter sets; false when the lengths
// do not add up to the buffer.
bool KeepOtherUnits(const VideoFormat& format, const guint8* data, gsize size,
                    std::vector<guint8>* kept) {
  gsize at = 0;
  while (at < size) {
    if (size - at < format.lengthSize) {
      return false;
    }
    gsize length = 0;
    for (unsigned i = 0; i < format.lengthSize; ++i) {
      length = (length << 8) | data[at + i];
    }
    const gsize unit = format.lengthSize + length;
    if (length == 0 || size - at < unit) {
      return false;
    }
    if (!IsParameterSet(format, data[at + format.lengthSize])) {
      kept->insert(kept->end(), data + at, data + at + unit);
    }
    at += unit;
  }
  return true;
}

// Runs on the streaming thread for every access unit leaving the parser.
GstPadProbeReturn StripParameterSets(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  GstBuffer* in = GST_PAD_PROBE_INFO_BUFFER(info);
  const VideoFormat format = FormatOf(pad);
  GstMapInfo map;
  if (!gst_buffer_map(in, &map, GST_MAP_READ)) {
    return GST_PAD_PROBE_OK;
  }
  std::vector<guint8> kept;
  kept.reserve(map.size);
  const bool whole = KeepOtherUnits(format, map.data, map.size, &kept);
  const gsize inSize = map.size;
  gst_buffer_unmap(in, &map);
  if (!whole) {
    static std::atomic<bool> reported{false};  // once, not for every frame of every stream
    if (!reported.exchange(true)) {
      std::fprintf(stderr,
                   "democam: cannot split the video into NAL units, parameter sets "
                   "left in the stream\n");
    }
    return GST_PAD_PROBE_OK;
  }
  if (kept.size() == inSize) {
    return GST_PAD_PROBE_OK;
  }
  if (kept.empty()) {
    return GST_PAD_PROBE_DROP;
  }
  GstBuffer* out = gst_buffer_new_memdup(kept.data(), kept.size());
  gst_buffer_copy_into(out, in, GST_BUFFER_COPY_METADATA, 0, static_cast<gsize>(-1));
  gst_buffer_unref(in);
  GST_PAD_PROBE_INFO_DATA(info) = out;
  return GST_PAD_PROBE_OK;
}

void OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer) {
  GstElement* bin = gst_rtsp_media_get_element(media);
  GstElement* parser = gst_bin_get_by_name(reinterpret_cast<GstBin*>(bin), kParameterElement);
  if (parser != nullptr) {
    GstPad* pad = gst_element_get_static_pad(parser, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, StripParameterSets, nullptr, nullptr);
    gst_object_unref(pad);
    gst_object_unref(parser);
  }
  gst_object_unref(bin);
}

}  // namespace

void AttachParameterSetFilter(GstRTSPMediaFactory* factory) {
  g_signal_connect_data(factory, "media-configure", reinterpret_cast<GCallback>(OnMediaConfigure),
                        nullptr, nullptr, static_cast<GConnectFlags>(0));
}

}  // namespace democam
