#include "tools/democam/clock_overlay.h"

#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tools/democam/launch_line.h"

namespace democam {
namespace {

constexpr int kValueBits = 48;
constexpr int kSumBits = 8;
constexpr uint8_t kWhiteLuma = 235;
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;
static_assert(1 + kValueBits + kSumBits + 1 == kStripBlocks);

// Runs on the streaming thread for every raw frame entering the overlay.
GstPadProbeReturn SetClockText(GstPad*, GstPadProbeInfo*, gpointer overlay) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms.count()));
  g_object_set(overlay, "text", text, nullptr);
  return GST_PAD_PROBE_OK;
}

// The strip's blocks, 1 for white, as the header describes them.
std::array<bool, kStripBlocks> StripBits(uint64_t ms) {
  std::array<bool, kStripBlocks> bits{};
  bits[0] = true;
  unsigned sum = 0;
  for (int byte = 0; byte < kValueBits / 8; ++byte) {
    sum += (ms >> (kValueBits - 8 * (byte + 1))) & 0xFF;
  }
  for (int bit = 0; bit < kValueBits; ++bit) {
    bits[static_cast<size_t>(1 + bit)] = ((ms >> (kValueBits - 1 - bit)) & 1) != 0;
  }
  for (int bit = 0; bit < kSumBits; ++bit) {
    bits[static_cast<size_t>(1 + kValueBits + bit)] = ((sum >> (kSumBits - 1 - bit)) & 1) != 0;
  }
  return bits;
}

// Fills a rectangle of one plane of an I420 frame (chroma planes at half size).
void Fill(GstVideoFrame& frame, int plane, int x, int y, int width, int height, uint8_t value) {
  auto* pixels = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
  for (int row = y; row < y + height; ++row) {
    std::memset(pixels + row * stride + x, value, static_cast<size_t>(width));
  }
}

// Draws the strip into each raw frame leaving the source.
GstPadProbeReturn DrawClockStrip(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  const auto ms = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
  GstCaps* caps = gst_pad_get_current_caps(pad);
  GstVideoInfo video;
  const bool known = caps != nullptr && gst_video_info_from_caps(&video, caps);
  if (caps != nullptr) {
    gst_caps_unref(caps);
  }
  if (!known || GST_VIDEO_INFO_FORMAT(&video) != GST_VIDEO_FORMAT_I420) {
    return GST_PAD_PROBE_OK;
  }
  GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
  GST_PAD_PROBE_INFO_DATA(info) = buffer;
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &video, buffer, GST_MAP_WRITE)) {
    return GST_PAD_PROBE_OK;
  }
  const int width = GST_VIDEO_INFO_WIDTH(&video);
  const int height = GST_VIDEO_INFO_HEIGHT(&video);
  const int blockWidth = width / kStripBlocks & ~1;  // even: whole chroma samples
  const int blockHeight = std::min(height, std::max(8, height / 24)) & ~1;
  const int top = height - blockHeight;
  const std::array<bool, kStripBlocks> bits = StripBits(ms);
  for (int block = 0; blockWidth > 0 && block < kStripBlocks; ++block) {
    const int left = block * blockWidth;
    Fill(frame, 0, left, top, blockWidth, blockHeight,
         bits[static_cast<size_t>(block)] ? kWhiteLuma : kBlackLuma);
    for (int plane = 1; plane <= 2; ++plane) {
      Fill(frame, plane, left / 2, top / 2, blockWidth / 2, blockHeight / 2, kNeutralChroma);
    }
  }
  gst_video_frame_unmap(&frame);
  return GST_PAD_PROBE_OK;
}

// A buffer probe on `pad` of the element named `name` in the media's bin, if it has one.
void ProbeElement(GstElement* bin, const char* name, const char* pad, GstPadProbeCallback probe,
                  bool passElement) {
  GstElement* element = gst_bin_get_by_name(reinterpret_cast<GstBin*>(bin), name);
  if (element == nullptr) {
    return;
  }
  GstPad* elementPad = gst_element_get_static_pad(element, pad);
  // The pad belongs to the element, so the element outlives the probe.
  gst_pad_add_probe(elementPad, GST_PAD_PROBE_TYPE_BUFFER, probe, passElement ? element : nullptr,
                    nullptr);
  gst_object_unref(elementPad);
  gst_object_unref(element);
}

void OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer) {
  GstElement* bin = gst_rtsp_media_get_element(media);
  ProbeElement(bin, kClockElement, "video_sink", SetClockText, true);
  ProbeElement(bin, kStripElement, "sink", DrawClockStrip, false);
  gst_object_unref(bin);
}

}  // namespace

void AttachClockOverlay(GstRTSPMediaFactory* factory) {
  g_signal_connect_data(factory, "media-configure", reinterpret_cast<GCallback>(OnMediaConfigure),
                        nullptr, nullptr, static_cast<GConnectFlags>(0));
}

}  // namespace democam
