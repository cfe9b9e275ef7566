// The RTSP server of the demo camera: two mounts, the transports offered and
// the authentication method that the options name.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

#include "tools/democam/options.h"

namespace democam {

class CameraServer {
 public:
  explicit CameraServer(const CameraOptions& options);
  ~CameraServer();
  CameraServer(const CameraServer&) = delete;
  CameraServer& operator=(const CameraServer&) = delete;

  // Starts listening on the default main context; returns the bound port, or
  // -1 when the address or port cannot be used.
  int Start();

 private:
  GstRTSPServer* m_server;
  CameraOptions m_options;  // read by the clients' signal handlers
  guint m_sourceId = 0;  // the listening source on the main context, 0 before Start
};

}  // namespace democam
