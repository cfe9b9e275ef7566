#include "tools/democam/clock_overlay.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "tools/democam/launch_line.h"

namespace democam {
namespace {

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

void OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer) {
  GstElement* bin = gst_rtsp_media_get_element(media);
  GstElement* overlay = gst_bin_get_by_name(reinterpret_cast<GstBin*>(bin), kClockElement);
  if (overlay != nullptr) {
    GstPad* pad = gst_element_get_static_pad(overlay, "video_sink");
    // The pad belongs to the overlay, so the overlay outlives the probe.
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, SetClockText, overlay, nullptr);
    gst_object_unref(pad);
    gst_object_unref(overlay);
  }
  gst_object_unref(bin);
}

}  // namespace

void AttachClockOverlay(GstRTSPMediaFactory* factory) {
  g_signal_connect_data(factory, "media-configure", reinterpret_cast<GCallback>(OnMediaConfigure),
                        nullptr, nullptr, static_cast<GConnectFlags>(0));
}

}  // namespace democam
