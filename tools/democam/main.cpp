// democam: the demo network camera. See --help.
#include <glib-unix.h>
#include <gst/gst.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "tools/democam/camera_server.h"
#include "tools/democam/options.h"

namespace {

gboolean Quit(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  const democam::ParseResult parsed = democam::ParseOptions(argc, argv);
  if (parsed.showHelp) {
    std::fputs(democam::Usage().c_str(), stdout);
    return 0;
  }
  if (!parsed.ok) {
    std::fprintf(stderr, "%s\n", parsed.message.c_str());
    return 2;
  }
  gst_init(nullptr, nullptr);

  democam::CameraServer server(parsed.options);
  const int port = server.Start();
  if (port < 0) {
    std::fprintf(stderr, "democam: cannot listen on %s port %d\n", parsed.options.address.c_str(),
                 parsed.options.port);
    return 1;
  }
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(SIGTERM, Quit, loop);
  g_unix_signal_add(SIGINT, Quit, loop);
  std::printf("democam ready on %s port %d\n", parsed.options.address.c_str(), port);
  std::fflush(stdout);
  g_main_loop_run(loop);
  // Like a camera switched off: the exit closes every client connection, so
  // clients see their stream end at once. Tearing the server's sessions down
  // one by one while clients are connected can hang inside the RTSP server
  // library (seen with a client leaving at the same moment), so it is not done.
  std::fflush(stdout);
  std::_Exit(0);
}