// RTSP authentication: answers a device's Basic or Digest challenge. The
// password never leaves this object except hashed (Digest) or encoded in the
// Authorization header (Basic).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace device {

// Digest's hash and whether the session variant ("-sess") folds the nonces
// into the first hash. Stronger first: the order of preference.
enum class DigestAlgorithm { kSha256, kSha256Sess, kMd5, kMd5Sess };

// One Digest answer's parts. `qop` is "auth", or empty for a device that
// asked for none (then `count` and `cnonce` are not used).
struct DigestParts {
  DigestAlgorithm algorithm = DigestAlgorithm::kMd5;
  std::string_view user, realm, password, nonce, method, uri, qop, count, cnonce;
};

// The "response" value of a Digest answer: lower-case hex of its hash.
std::string DigestResponse(const DigestParts& parts);

class RtspAuth {
 public:
  RtspAuth(std::string user, std::string password)
      : m_user(std::move(user)), m_password(std::move(password)) {}

  // Takes the WWW-Authenticate values of one 401 and keeps the strongest
  // challenge we can answer: Digest with SHA-256, then with MD5, then Basic.
  // False when none of them can be answered.
  bool Challenge(const std::vector<std::string_view>& wwwAuthenticate);
  // The Authorization header value for a request, or empty before any
  // challenge was taken.
  std::string Authorization(std::string_view method, std::string_view uri);

  // From now on a Basic challenge is not answered: the device is not the one
  // the coach named (a redirect led elsewhere).
  void RefuseBasic() { m_refuseBasic = true; }

  // Whether a 401's Digest offer says stale=true: the nonce expired, the
  // credentials were right, and the new nonce is to be answered at once.
  static bool IsStale(const std::vector<std::string_view>& wwwAuthenticate);

  // A user name must fit in a quoted string: no control characters.
  static bool IsUsableUser(std::string_view user);

 private:
  enum class Scheme { kNone, kBasic, kDigest };
  std::string m_user;
  std::string m_password;
  Scheme m_scheme = Scheme::kNone;
  DigestAlgorithm m_algorithm = DigestAlgorithm::kMd5;
  std::string m_algorithmName;  // as the device named it; empty when it named none
  std::string m_realm;
  std::string m_nonce;
  std::string m_opaque;
  bool m_qopAuth = false;
  unsigned m_nonceCount = 0;
  bool m_refuseBasic = false;
};

}  // namespace device
