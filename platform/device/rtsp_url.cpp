#include "platform/device/rtsp_url.h"

#include "platform/device/text.h"

namespace device {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

bool IsValidHost(std::string_view host) {
  if (host.empty() || host.size() > 253) {  // the longest DNS name
    return false;
  }
  for (const char ch : host) {
    const auto c = static_cast<unsigned char>(ch);
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
    if (!allowed) {
      return false;
    }
  }
  return true;
}

bool IsValidPathTemplate(std::string_view pathTemplate) {
  if (pathTemplate.size() > 255) {
    return false;
  }
  for (const char ch : pathTemplate) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      return false;
    }
  }
  return true;
}

std::string ExpandPath(std::string_view pathTemplate, int channel, int streamType) {
  std::string path(pathTemplate.empty() ? kDefaultPathTemplate : pathTemplate);
  ReplaceAll(path, "{streamno}", streamType == 0 ? "1" : "2");
  ReplaceAll(path, "{stream}", streamType == 0 ? "main" : "sub");
  ReplaceAll(path, "{ch}", std::to_string(channel));
  if (path.front() != '/') {
    path.insert(path.begin(), '/');
  }
  return path;
}

bool ParseRtspUrl(std::string_view url, std::string* host, int* port, std::string* path) {
  constexpr std::string_view kScheme = "rtsp://";
  if (!StartsWithNoCase(url, kScheme)) {
    return false;
  }
  std::string_view rest = url.substr(kScheme.size());
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  *path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {  // [IPv6 address]:port
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      return false;
    }
    *host = std::string(authority.substr(1, close - 1));
    portText = authority.substr(close + 1);
  } else {
    const size_t colon = authority.find(':');
    *host = std::string(authority.substr(0, colon));
    portText = colon == std::string_view::npos ? "" : authority.substr(colon);
  }
  *port = 554;
  if (!portText.empty()) {
    if (portText.front() != ':' || portText.size() < 2 || portText.size() > 6) {
      return false;
    }
    *port = 0;
    for (const char c : portText.substr(1)) {
      if (c < '0' || c > '9') {
        return false;
      }
      *port = *port * 10 + (c - '0');
    }
  }
  return *port >= 1 && *port <= 65535 && IsValidHost(*host) && IsValidPathTemplate(*path);
}

std::string BuildRtspUrl(std::string_view host, int port, std::string_view user,
                         std::string_view password, std::string_view path) {
  std::string url = "rtsp://";
  if (!user.empty() || !password.empty()) {
    url += PercentEncode(user);
    url += ':';
    url += PercentEncode(password);
    url += '@';
  }
  const bool ipv6 = host.find(':') != std::string_view::npos;
  if (ipv6) {
    url += '[';
  }
  url += host;
  if (ipv6) {
    url += ']';
  }
  url += ':';
  url += std::to_string(port);
  url += path;
  return url;
}

}  // namespace device
