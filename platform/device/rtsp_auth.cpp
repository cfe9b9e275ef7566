#include "platform/device/rtsp_auth.h"

#include <cstdint>
#include <cstdio>
#include <random>

extern "C" {
#include <libavutil/base64.h>
#include <libavutil/md5.h>
}

#include "platform/device/text.h"

namespace device {
namespace {

std::string Md5Hex(std::string_view text) {
  uint8_t digest[16];
  av_md5_sum(digest, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

// A parameter of a challenge: name=value or name="value", comma separated.
std::string ChallengeParameter(std::string_view challenge, std::string_view name) {
  size_t at = 0;
  while (at < challenge.size()) {
    while (at < challenge.size() && (challenge[at] == ' ' || challenge[at] == ',')) {
      ++at;
    }
    const size_t equals = challenge.find('=', at);
    if (equals == std::string_view::npos) {
      break;
    }
    std::string_view key = challenge.substr(at, equals - at);
    while (!key.empty() && key.back() == ' ') {
      key.remove_suffix(1);
    }
    std::string value;
    size_t next = equals + 1;
    if (next < challenge.size() && challenge[next] == '"') {
      ++next;
      while (next < challenge.size() && challenge[next] != '"') {
        if (challenge[next] == '\\' && next + 1 < challenge.size()) {
          ++next;
        }
        value += challenge[next++];
      }
      ++next;
    } else {
      while (next < challenge.size() && challenge[next] != ',') {
        value += challenge[next++];
      }
    }
    if (EqualsNoCase(key, name)) {
      return value;
    }
    at = next;
  }
  return {};
}

// Escapes '"' and '\' for a quoted string.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

bool RtspAuth::IsUsableUser(std::string_view user) {
  for (const char c : user) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return false;
    }
  }
  return true;
}

bool RtspAuth::Challenge(std::string_view wwwAuthenticate) {
  if (StartsWithNoCase(wwwAuthenticate, "Digest ")) {
    const std::string_view rest = wwwAuthenticate.substr(7);
    m_scheme = Scheme::kDigest;
    m_realm = ChallengeParameter(rest, "realm");
    m_nonce = ChallengeParameter(rest, "nonce");
    m_opaque = ChallengeParameter(rest, "opaque");
    const std::string qop = ChallengeParameter(rest, "qop");
    m_qopAuth = qop.find("auth") != std::string::npos;
    m_nonceCount = 0;
    return true;
  }
  if (StartsWithNoCase(wwwAuthenticate, "Basic") && m_scheme != Scheme::kDigest) {
    m_scheme = Scheme::kBasic;
    return true;
  }
  return m_scheme != Scheme::kNone;
}

std::string RtspAuth::Authorization(std::string_view method, std::string_view uri) {
  if (m_scheme == Scheme::kBasic) {
    const std::string plain = m_user + ":" + m_password;
    std::string encoded(AV_BASE64_SIZE(plain.size()), '\0');
    av_base64_encode(encoded.data(), static_cast<int>(encoded.size()),
                     reinterpret_cast<const uint8_t*>(plain.data()),
                     static_cast<int>(plain.size()));
    encoded.resize(encoded.find('\0'));
    return "Basic " + encoded;
  }
  if (m_scheme != Scheme::kDigest) {
    return {};
  }
  const std::string ha1 = Md5Hex(m_user + ":" + m_realm + ":" + m_password);
  const std::string ha2 = Md5Hex(std::string(method) + ":" + std::string(uri));
  std::string header = "Digest username=" + Quoted(m_user) + ", realm=" + Quoted(m_realm) +
                       ", nonce=" + Quoted(m_nonce) + ", uri=" + Quoted(uri);
  std::string response;
  if (m_qopAuth) {
    char count[9];
    std::snprintf(count, sizeof count, "%08x", ++m_nonceCount);
    char cnonce[17];
    std::snprintf(
        cnonce, sizeof cnonce, "%016llx",
        static_cast<unsigned long long>(std::random_device{}()) << 32 | std::random_device{}());
    response = Md5Hex(ha1 + ":" + m_nonce + ":" + count + ":" + cnonce + ":auth:" + ha2);
    header += ", qop=auth, nc=" + std::string(count) + ", cnonce=\"" + cnonce + "\"";
  } else {
    response = Md5Hex(ha1 + ":" + m_nonce + ":" + ha2);
  }
  header += ", response=\"" + response + "\"";
  if (!m_opaque.empty()) {
    header += ", opaque=" + Quoted(m_opaque);
  }
  return header;
}

}  // namespace device
