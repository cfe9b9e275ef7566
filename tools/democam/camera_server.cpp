#include "tools/democam/camera_server.h"

#include <string>

#include "tools/democam/clock_overlay.h"

namespace democam {
namespace {

constexpr const char* kRole = "viewer";

// videotestsrc scrolls the bars sideways so that the picture moves; x264enc
// settings keep encoding cheap and free of frame reordering; config-interval=0
// leaves SPS/PPS to the SDP (sprop-parameter-sets), from where a client puts
// them in front of key frames itself (-1 would split key frames in two packets
// sharing one timestamp).
std::string LaunchLine(int width, int height, int fps, int bitrateKbps) {
  const int fontPoints = height / 9;  // clock text about a fifth of the picture height
  return "( videotestsrc is-live=true pattern=smpte75 horizontal-speed=4"
         " ! video/x-raw,format=I420,width=" +
         std::to_string(width) + ",height=" + std::to_string(height) +
         ",framerate=" + std::to_string(fps) + "/1" +
         " ! textoverlay name=clock font-desc=\"DejaVu Sans Mono Bold " +
         std::to_string(fontPoints) +
         "\" halignment=center valignment=center shaded-background=true" +
         " ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=50 bitrate=" +
         std::to_string(bitrateKbps) +
         " ! h264parse ! rtph264pay config-interval=0 pt=96 name=pay0 )";
}

GstRTSPMediaFactory* MakeFactory(const std::string& launch) {
  GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
  gst_rtsp_media_factory_set_launch(factory, launch.c_str());
  // One pipeline per mount for all clients, as a camera has one encoder per stream.
  gst_rtsp_media_factory_set_shared(factory, TRUE);
  gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                  G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                  G_TYPE_BOOLEAN, TRUE, nullptr);
  AttachClockOverlay(factory);
  return factory;
}

}  // namespace

CameraServer::CameraServer(const CameraOptions& options) : m_server(gst_rtsp_server_new()) {
  gst_rtsp_server_set_address(m_server, options.address.c_str());
  gst_rtsp_server_set_service(m_server, std::to_string(options.port).c_str());

  GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(m_server);
  gst_rtsp_mount_points_add_factory(
      mounts, "/ch1/main",
      MakeFactory(LaunchLine(options.width, options.height, options.fps, options.bitrateKbps)));
  gst_rtsp_mount_points_add_factory(mounts, "/ch1/sub",
                                    MakeFactory(LaunchLine(options.width / 2, options.height / 2,
                                                           options.fps, options.bitrateKbps / 4)));
  g_object_unref(mounts);

  GstRTSPAuth* auth = gst_rtsp_auth_new();
  gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
  GstRTSPToken* token =
      gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
  gst_rtsp_auth_add_digest(auth, options.user.c_str(), options.password.c_str(), token);
  gst_rtsp_token_unref(token);
  gst_rtsp_server_set_auth(m_server, auth);
  g_object_unref(auth);
}

CameraServer::~CameraServer() {
  if (m_sourceId != 0) {
    g_source_remove(m_sourceId);
  }
  g_object_unref(m_server);
}

int CameraServer::Start() {
  m_sourceId = gst_rtsp_server_attach(m_server, nullptr);
  if (m_sourceId == 0) {
    return -1;
  }
  return gst_rtsp_server_get_bound_port(m_server);
}

}  // namespace democam
