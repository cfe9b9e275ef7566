// RTSP authentication: answers a device's Basic or Digest challenge. The
// password never leaves this object except hashed (Digest) or encoded in the
// Authorization header (Basic).
#pragma once

#include <string>
#include <string_view>

namespace device {

class RtspAuth {
 public:
  RtspAuth(std::string user, std::string password)
      : m_user(std::move(user)), m_password(std::move(password)) {}

  // Takes the WWW-Authenticate value(s) of a 401; Digest is preferred over
  // Basic when both are offered (pass each header value in turn). False when
  // no scheme we can answer was offered.
  bool Challenge(std::string_view wwwAuthenticate);
  // The Authorization header value for a request, or empty before any
  // challenge was taken.
  std::string Authorization(std::string_view method, std::string_view uri);

  // A user name must fit in a quoted string: no control characters.
  static bool IsUsableUser(std::string_view user);

 private:
  enum class Scheme { kNone, kBasic, kDigest };
  std::string m_user;
  std::string m_password;
  Scheme m_scheme = Scheme::kNone;
  std::string m_realm;
  std::string m_nonce;
  std::string m_opaque;
  bool m_qopAuth = false;
  unsigned m_nonceCount = 0;
};

}  // namespace device
