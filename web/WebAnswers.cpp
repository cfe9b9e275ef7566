#include "web/WebAnswers.h"

namespace {

constexpr char kPagePolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "media-src 'self' blob:; worker-src 'self' blob:; img-src 'self' data: blob:";

}  // namespace

http::Response Answer(int status, const char* type, std::string body, const char* caching) {
  http::Response response;
  response.status = status;
  response.headers = {{"Content-Type", type},
                      {"Cache-Control", caching},
                      {"X-Content-Type-Options", "nosniff"},
                      {"Referrer-Policy", "no-referrer"}};
  response.body = std::move(body);
  return response;
}

http::Response Text(int status, const char* text) {
  return Answer(status, "text/plain; charset=utf-8", text, kNoCaching);
}

http::Response Json(int status, std::string body) {
  return Answer(status, "application/json", std::move(body), kNoCaching);
}

http::Response Page(std::string_view html) {
  http::Response page = Answer(200, "text/html; charset=utf-8", std::string(html), kNoCaching);
  page.headers.emplace_back("Content-Security-Policy", kPagePolicy);
  return page;
}

http::Response Refused() {
  return Text(403, "需要有效的访问令牌：请用 Tarnview 显示的地址（在画面上按 W）。\n");
}
