#include "web/WebServer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "config/LocalConfig.h"
#include "platform/http/server.h"
#include "session/DecThread.h"
#include "session/StreamHistory.h"
#include "session/StreamIntake.h"
#include "web/WebSite.h"

namespace {

constexpr size_t kCurrentDirBytes = 4096;  // PATH_MAX

struct Web {
  WebClock clock;
  std::unique_ptr<WebSite> site;
  http::Server server;
};
std::unique_ptr<Web> s_web;  // GUI thread: made at start, gone at stop

WebSessionState CurrentState() {
  WebSessionState state;
  state.running = g_hDecThread.load() != nullptr;
  state.delaySeconds = g_nDelayMs > 0 ? static_cast<int>(g_nDelayMs / 1000) : g_settings.delaytime;
  return state;
}

// The first IPv4 address of an interface that is up and not the loopback:
// what a phone on the same network reaches. The loopback when there is none.
std::string NetworkAddress() {
  std::string address = "127.0.0.1";
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) {
    return address;
  }
  for (ifaddrs* at = interfaces; at != nullptr; at = at->ifa_next) {
    if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_INET ||
        (at->ifa_flags & IFF_UP) == 0 || (at->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    char text[INET_ADDRSTRLEN] = "";
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(at->ifa_addr);
    if (inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr) {
      address = text;
      break;
    }
  }
  freeifaddrs(interfaces);
  return address;
}

}  // namespace

bool StartWebServer(int port, CoachRemote* remote, const std::string& captureDir) {
  StopWebServer();
  if (port <= 0) {
    return false;
  }
  char dir[kCurrentDirBytes] = ".";
  if (getcwd(dir, sizeof dir) == nullptr) {
    dir[0] = '.';
    dir[1] = '\0';
  }
  auto web = std::make_unique<Web>();
  web->site = std::make_unique<WebSite>(g_history, LoadWebTokens(dir), web->clock, CurrentState,
                                        NewRunName(), CoachParts{remote, captureDir});
  const WebSite& site = *web->site;
  if (!web->server.Start(static_cast<uint16_t>(port), false,
                         [&site](const http::Request& request) { return site.Handle(request); })) {
    std::fprintf(stderr, "web: the web screens are off: %s\n", web->server.Error().c_str());
    return false;
  }
  std::fprintf(stderr, "web: the web screens listen on port %u\n",
               static_cast<unsigned>(web->server.Port()));
  s_web = std::move(web);
  return true;
}

void StopWebServer() {
  if (s_web != nullptr) {
    s_web->server.Stop();  // no request is answered after this
    s_web.reset();
  }
}

std::string ViewerAddress() {
  if (s_web == nullptr || s_web->site->Tokens().view.empty()) {
    return {};
  }
  return "http://" + NetworkAddress() + ":" + std::to_string(s_web->server.Port()) +
         "/view?t=" + s_web->site->Tokens().view;
}
