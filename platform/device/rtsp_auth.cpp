#include "platform/device/rtsp_auth.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <random>

extern "C" {
#include <libavutil/base64.h>
#include <libavutil/md5.h>
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "platform/device/text.h"

namespace device {
namespace {

std::string Hex(const uint8_t* bytes, size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex += kHex[bytes[i] >> 4];
    hex += kHex[bytes[i] & 15];
  }
  return hex;
}

std::string HashHex(DigestAlgorithm algorithm, std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  if (algorithm == DigestAlgorithm::kMd5 || algorithm == DigestAlgorithm::kMd5Sess) {
    uint8_t digest[16];
    av_md5_sum(digest, bytes, text.size());
    return Hex(digest, sizeof digest);
  }
  uint8_t digest[32];
  AVSHA* sha = av_sha_alloc();
  if (sha == nullptr) {
    return {};  // an empty response is refused like a wrong password
  }
  av_sha_init(sha, 256);
  av_sha_update(sha, bytes, text.size());
  av_sha_final(sha, digest);
  av_free(sha);
  return Hex(digest, sizeof digest);
}

std::optional<DigestAlgorithm> AlgorithmNamed(std::string_view name) {
  if (name.empty() || EqualsNoCase(name, "MD5")) {
    return DigestAlgorithm::kMd5;
  }
  if (EqualsNoCase(name, "MD5-sess")) {
    return DigestAlgorithm::kMd5Sess;
  }
  if (EqualsNoCase(name, "SHA-256")) {
    return DigestAlgorithm::kSha256;
  }
  if (EqualsNoCase(name, "SHA-256-sess")) {
    return DigestAlgorithm::kSha256Sess;
  }
  return std::nullopt;  // SHA-512-256 and what may come: not answered
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

bool RtspAuth::IsStale(const std::vector<std::string_view>& wwwAuthenticate) {
  for (const std::string_view offer : wwwAuthenticate) {
    if (StartsWithNoCase(offer, "Digest ") &&
        EqualsNoCase(ChallengeParameter(offer.substr(7), "stale"), "true")) {
      return true;
    }
  }
  return false;
}

std::string DigestResponse(const DigestParts& p) {
  const auto h = [&](std::string_view text) { return HashHex(p.algorithm, text); };
  const auto join = [](std::initializer_list<std::string_view> parts) {
    std::string joined;
    bool first = true;
    for (const std::string_view part : parts) {
      joined += first ? "" : ":";
      joined += part;
      first = false;
    }
    return joined;
  };
  std::string ha1 = h(join({p.user, p.realm, p.password}));
  if (p.algorithm == DigestAlgorithm::kMd5Sess || p.algorithm == DigestAlgorithm::kSha256Sess) {
    ha1 = h(join({ha1, p.nonce, p.cnonce}));
  }
  const std::string ha2 = h(join({p.method, p.uri}));
  if (p.qop.empty()) {
    return h(join({ha1, p.nonce, ha2}));
  }
  return h(join({ha1, p.nonce, p.count, p.cnonce, p.qop, ha2}));
}

bool RtspAuth::Challenge(const std::vector<std::string_view>& wwwAuthenticate) {
  m_scheme = Scheme::kNone;
  for (const std::string_view offer : wwwAuthenticate) {
    if (StartsWithNoCase(offer, "Digest ")) {
      const std::string_view rest = offer.substr(7);
      const std::string name = ChallengeParameter(rest, "algorithm");
      const std::optional<DigestAlgorithm> algorithm = AlgorithmNamed(name);
      if (!algorithm || (m_scheme == Scheme::kDigest && *algorithm >= m_algorithm)) {
        continue;  // cannot be answered, or no stronger than the one kept
      }
      m_scheme = Scheme::kDigest;
      m_algorithm = *algorithm;
      m_algorithmName = name;
      m_realm = ChallengeParameter(rest, "realm");
      m_nonce = ChallengeParameter(rest, "nonce");
      m_opaque = ChallengeParameter(rest, "opaque");
      m_qopAuth = ListHolds(ChallengeParameter(rest, "qop"), "auth");
      m_nonceCount = 0;
    } else if (StartsWithNoCase(offer, "Basic") && m_scheme == Scheme::kNone && !m_refuseBasic) {
      m_scheme = Scheme::kBasic;
    }
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
  std::string header = "Digest username=" + Quoted(m_user) + ", realm=" + Quoted(m_realm) +
                       ", nonce=" + Quoted(m_nonce) + ", uri=" + Quoted(uri);
  if (!m_algorithmName.empty()) {
    header += ", algorithm=" + m_algorithmName;
  }
  DigestParts parts{m_algorithm, m_user, m_realm, m_password, m_nonce, method, uri, {}, {}, {}};
  char count[9];
  char cnonce[17];
  if (m_qopAuth) {
    std::snprintf(count, sizeof count, "%08x", ++m_nonceCount);
    std::snprintf(
        cnonce, sizeof cnonce, "%016llx",
        static_cast<unsigned long long>(std::random_device{}()) << 32 | std::random_device{}());
    parts.qop = "auth";
    parts.count = count;
    parts.cnonce = cnonce;
    header += ", qop=auth, nc=" + std::string(count) + ", cnonce=\"" + cnonce + "\"";
  }
  const std::string response = DigestResponse(parts);
  header += ", response=\"" + response + "\"";
  if (!m_opaque.empty()) {
    header += ", opaque=" + Quoted(m_opaque);
  }
  return header;
}

}  // namespace device
