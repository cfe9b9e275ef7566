#include "tools/democam/camera_server.h"

#include <gst/video/video.h>

#include <string>

#include "tools/democam/clock_overlay.h"
#include "tools/democam/launch_line.h"
#include "tools/democam/parameter_set_filter.h"

namespace democam {
namespace {

constexpr const char* kRole = "viewer";

StreamShape ShapeOf(const CameraOptions& o, int divisor, int bitrateDivisor) {
  StreamShape shape;
  shape.width = o.width / divisor;
  shape.height = o.height / divisor;
  shape.fps = o.fps;
  shape.bitrateKbps = o.bitrateKbps / bitrateDivisor;
  shape.codec = o.codec;
  shape.bframes = o.bframes;
  shape.params = o.params;
  shape.audio = o.audio;
  shape.clock = o.clock;
  return shape;
}

// A camera's encoder runs whether or not anybody watches. Once a stream's
// pipeline is built it keeps one preparation of its own, so that a client that
// only asks for the description and leaves (a login) does not tear it down
// under the next client, who would be answered 503 meanwhile.
struct KeepRequest {
  GstRTSPServer* server;
  GstRTSPMedia* media;  // referenced until the camera exits
};

gboolean KeepPrepared(gpointer data) {
  auto* request = static_cast<KeepRequest*>(data);
  // The media's bus runs on a thread of the server's pool, as for a client;
  // on the server's own context the wait for the pipeline would block it.
  GstRTSPThreadPool* pool = gst_rtsp_server_get_thread_pool(request->server);
  GstRTSPThread* thread = gst_rtsp_thread_pool_get_thread(pool, GST_RTSP_THREAD_TYPE_MEDIA, nullptr);
  g_object_unref(pool);
  if (thread != nullptr) {
    // Fails harmlessly while the last client's pipeline is still being torn
    // down; the next client's pipeline then gets its own request.
    gst_rtsp_media_prepare(request->media, thread);
  }
  delete request;
  return G_SOURCE_REMOVE;
}

void OnMediaConstructed(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer server) {
  // After the constructing client's own request, on the server's context.
  g_idle_add(&KeepPrepared, new KeepRequest{static_cast<GstRTSPServer*>(server),
                                            static_cast<GstRTSPMedia*>(g_object_ref(media))});
}

GstRTSPMediaFactory* MakeFactory(GstRTSPServer* server, const CameraOptions& options,
                                 const StreamShape& shape) {
  GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
  gst_rtsp_media_factory_set_launch(factory, LaunchLine(shape).c_str());
  // One pipeline per mount for all clients, as a camera has one encoder per stream.
  gst_rtsp_media_factory_set_shared(factory, TRUE);
  // Only the transports offered; RefuseTransport answers a SETUP of another
  // before the server would (with 461).
  int protocols = 0;
  if (options.offerTcp) {
    protocols |= GST_RTSP_LOWER_TRANS_TCP;
  }
  if (options.offerUdp) {
    protocols |= GST_RTSP_LOWER_TRANS_UDP;
  }
  gst_rtsp_media_factory_set_protocols(factory, static_cast<GstRTSPLowerTrans>(protocols));
  gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                  G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                  G_TYPE_BOOLEAN, TRUE, nullptr);
  AttachClockOverlay(factory);
  g_signal_connect(factory, "media-constructed", G_CALLBACK(&OnMediaConstructed), server);
  if (shape.params == ParameterSets::kSdp) {
    AttachParameterSetFilter(factory);
  }
  return factory;
}

// A camera's live stream has no position to go to: PLAY starts from now,
// whatever Range it names. Left in, the Range makes the server seek the shared
// pipeline, flushing it under every client already watching; a PLAY that meets
// the flush half-done can even abort the server.
GstRTSPStatusCode IgnoreRange(GstRTSPClient*, GstRTSPContext* ctx, gpointer) {
  gst_rtsp_message_remove_header(ctx->request, GST_RTSP_HDR_RANGE, -1);
  return GST_RTSP_STS_OK;
}

// A new viewer's picture starts at a key frame. As cameras do for a new
// session, the encoder makes one at once, so the viewer need not wait for the
// next of the interval; those already watching just get one more.
void RequestKeyFrame(GstRTSPClient*, GstRTSPContext* ctx, gpointer) {
  if (ctx->media == nullptr) {
    return;
  }
  GstElement* bin = gst_rtsp_media_get_element(ctx->media);
  GstElement* parser = gst_bin_get_by_name(reinterpret_cast<GstBin*>(bin), kParameterElement);
  if (parser != nullptr) {
    // Sent upstream from the parser, it reaches the encoder.
    gst_element_send_event(parser,
                           gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    gst_object_unref(parser);
  }
  gst_object_unref(bin);
}

// A SETUP of a transport the camera does not offer, answered with the status
// the options name: cameras refuse with 400, 406, 451, 501 or 505 as often
// as with 461, the server's own answer. Offered ones are left to the server.
GstRTSPStatusCode RefuseTransport(GstRTSPClient*, GstRTSPContext* ctx, gpointer data) {
  const auto* options = static_cast<const CameraOptions*>(data);
  gchar* asked = nullptr;
  if (gst_rtsp_message_get_header(ctx->request, GST_RTSP_HDR_TRANSPORT, &asked, 0) != GST_RTSP_OK) {
    return GST_RTSP_STS_OK;  // the server answers a SETUP without Transport itself
  }
  gchar** transports = g_strsplit(asked, ",", 0);
  bool offered = false;
  for (gchar** one = transports; *one != nullptr && !offered; ++one) {
    GstRTSPTransport* transport = nullptr;
    gst_rtsp_transport_new(&transport);
    if (gst_rtsp_transport_parse(*one, transport) == GST_RTSP_OK) {
      offered = (transport->lower_transport == GST_RTSP_LOWER_TRANS_TCP && options->offerTcp) ||
                (transport->lower_transport != GST_RTSP_LOWER_TRANS_TCP && options->offerUdp);
    }
    gst_rtsp_transport_free(transport);
  }
  g_strfreev(transports);
  return offered ? GST_RTSP_STS_OK : static_cast<GstRTSPStatusCode>(options->refuseStatus);
}

void OnClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer options) {
  g_signal_connect(client, "pre-setup-request", G_CALLBACK(&RefuseTransport), options);
  g_signal_connect(client, "pre-play-request", G_CALLBACK(&IgnoreRange), nullptr);
  g_signal_connect(client, "play-request", G_CALLBACK(&RequestKeyFrame), nullptr);
}

// Without an authentication object the server lets every client in.
void SetUpAuthentication(GstRTSPServer* server, const CameraOptions& options) {
  if (options.auth == AuthMethod::kNone) {
    return;
  }
  GstRTSPAuth* auth = gst_rtsp_auth_new();
  GstRTSPToken* token =
      gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
  if (options.auth == AuthMethod::kBasic) {
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_BASIC);
    gchar* basic = gst_rtsp_auth_make_basic(options.user.c_str(), options.password.c_str());
    gst_rtsp_auth_add_basic(auth, basic, token);
    g_free(basic);
  } else {
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
    gst_rtsp_auth_add_digest(auth, options.user.c_str(), options.password.c_str(), token);
  }
  gst_rtsp_token_unref(token);
  gst_rtsp_server_set_auth(server, auth);
  g_object_unref(auth);
}

}  // namespace

CameraServer::CameraServer(const CameraOptions& options)
    : m_server(gst_rtsp_server_new()), m_options(options) {
  gst_rtsp_server_set_address(m_server, options.address.c_str());
  gst_rtsp_server_set_service(m_server, std::to_string(options.port).c_str());

  GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(m_server);
  gst_rtsp_mount_points_add_factory(mounts, "/ch1/main",
                                    MakeFactory(m_server, options, ShapeOf(options, 1, 1)));
  // The sub stream: half the size each way, a quarter of the bitrate.
  gst_rtsp_mount_points_add_factory(mounts, "/ch1/sub",
                                    MakeFactory(m_server, options, ShapeOf(options, 2, 4)));
  g_object_unref(mounts);
  SetUpAuthentication(m_server, options);
  g_signal_connect(m_server, "client-connected", G_CALLBACK(&OnClientConnected), &m_options);
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
