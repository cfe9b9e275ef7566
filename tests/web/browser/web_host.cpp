// The web screens without the GUI, for the browser, cache and benchmark
// scripts: the demo camera (started with this program's arguments), a real
// session into the ring and the stream history, and the web site on
// 127.0.0.1 at a free port with tokens of its own. The main display's
// pictures go nowhere: no window takes them.
//
// stdout, one line each, flushed:
//   ready port <port> view <viewer token>   once everything is up
//   started | refused <message>             after each start
//   stopped                                 after each stop
//   count <requests> <path> ... counts end  after counts
// stdin, one command a line:
//   start <delay s> [<history MiB>]  a session as the start button starts one; a
//                                    history size below the configuration's 32 MiB
//                                    lets a test fill it in seconds
//   stop                             as the cancel button stops it
//   counts                           the requests answered so far, by path
// The end of stdin, SIGTERM or SIGINT: stops the session, the server and the
// camera, and exits 0.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/LocalConfig.h"
#include "platform/device/device.h"
#include "platform/http/server.h"
#include "session/DecThread.h"
#include "session/SessionControl.h"
#include "session/StreamHistory.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"
#include "tests/device/democam_process.h"
#include "tests/integration/loopback_dialog.h"
#include "tests/web/browser/command_lines.h"
#include "tests/web/browser/request_counts.h"
#include "web/WebClock.h"
#include "web/WebSite.h"
#include "web/WebTokens.h"

namespace {

int s_displayAnchor = 0;  // its address is the display window's handle
HWND DisplayWindow() { return reinterpret_cast<HWND>(&s_displayAnchor); }

void Say(const std::string& line) {
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

WebSessionState CurrentState() {
  WebSessionState state;
  state.running = g_hDecThread.load() != nullptr;
  state.delaySeconds = static_cast<int>(g_nDelayMs / 1000);
  return state;
}

void Start(std::istringstream& words, int cameraPort,
           std::optional<integration::LoopbackDialog>* dialog) {
  int delaySeconds = 0;
  int historyMiB = kHistoryMBDefault;
  words >> delaySeconds;
  if (!(words >> historyMiB)) {
    historyMiB = kHistoryMBDefault;
  }
  if (*dialog) {
    EndRunningSession(**dialog);
  }
  g_settings.historyMB = historyMiB;
  dialog->emplace(cameraPort, delaySeconds, DisplayWindow());
  OnStartTeaching(**dialog);
  Say((*dialog)->messages.empty() ? "started" : "refused " + (*dialog)->messages.front());
}

}  // namespace

int main(int argc, char** argv) {
  webhost::CatchStopSignals();
  testing_device::DemoCamProcess camera;
  if (!camera.Start(0, std::vector<std::string>(argv + 1, argv + argc))) {
    std::fprintf(stderr, "web_host: the demo camera did not start\n");
    return 1;
  }
  InitDeviceSdk();
  g_pStreamRing = StreamRing::Create();
  const WebTokens tokens{RandomToken(), RandomToken()};
  const WebClock clock;
  const WebSite site(g_history, tokens, clock, CurrentState, NewRunName());
  webhost::RequestCounts counts;
  http::Server server;
  const bool listening =
      g_pStreamRing != nullptr && !tokens.view.empty() &&
      server.Start(0, true, [&](const http::Request& request) {
        counts.Count(request.path);
        return site.Handle(request);
      });
  int status = 0;
  if (!listening) {
    std::fprintf(stderr, "web_host: cannot serve: %s\n", server.Error().c_str());
    status = 1;
  } else {
    Say("ready port " + std::to_string(server.Port()) + " view " + tokens.view);
  }

  std::optional<integration::LoopbackDialog> dialog;
  for (std::string line; listening && webhost::NextCommand(&line);) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "start") {
      Start(words, camera.Port(), &dialog);
    } else if (command == "stop") {
      if (dialog) {
        StopSession(*dialog);
      }
      Say("stopped");
    } else if (command == "counts") {
      for (const auto& [path, count] : counts.Snapshot()) {
        Say("count " + std::to_string(count) + " " + path);
      }
      Say("counts end");
    } else if (!command.empty()) {
      std::fprintf(stderr, "web_host: unknown command %s\n", command.c_str());
    }
  }

  if (dialog) {
    EndRunningSession(*dialog);
  }
  server.Stop();
  delete g_pStreamRing;
  g_pStreamRing = nullptr;
  NET_DVR_Cleanup();
  if (!camera.Stop()) {
    std::fprintf(stderr, "web_host: the demo camera did not exit cleanly\n");
    status = 1;
  }
  return status;
}
