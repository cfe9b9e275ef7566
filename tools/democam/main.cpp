// democam: the demo network camera. See --help.
#include <glib-unix.h>
#include <gst/gst.h>

#include <csignal>
#include <cstdio>

#include "tools/democam/camera_server.h"
#include "tools/democam/options.h"

namespace {

gboolean Quit(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_CONTINUE;  // removed with the other handler after the loop
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

  int status = 0;
  {
    democam::CameraServer server(parsed.options);
    const int port = server.Start();
    if (port < 0) {
      std::fprintf(stderr, "democam: cannot listen on %s port %d\n",
                   parsed.options.address.c_str(), parsed.options.port);
      status = 1;
    } else {
      GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
      const guint term = g_unix_signal_add(SIGTERM, Quit, loop);
      const guint interrupt = g_unix_signal_add(SIGINT, Quit, loop);
      std::printf("democam ready on %s port %d\n", parsed.options.address.c_str(), port);
      std::fflush(stdout);
      g_main_loop_run(loop);
      g_source_remove(term);
      g_source_remove(interrupt);
      server.Shutdown();
      // Let the sessions' teardown run on the main context before leaving.
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
      g_main_loop_unref(loop);
    }
  }
  gst_deinit();
  return status;
}
