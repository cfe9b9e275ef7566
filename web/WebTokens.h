// The web screens' two secrets: the viewer token (the delayed picture) and
// the coach token (the coach's remote), 128 random bits each as 32 hex digits,
// kept in web.ini (section [Web], keys viewToken and coachToken) in the folder
// Tarnview runs in. Made, with mode 0600, at the first start when the file is
// missing; then only read, so a coach may write tokens of their own. Neither
// ever reaches the work log, stderr or a URL that the program logs.
#pragma once

#include <string>
#include <string_view>

struct WebTokens {
  std::string view;   // 32 hex digits; empty when web.ini holds none that is usable
  std::string coach;  // likewise
};

inline constexpr char kWebIniName[] = "web";  // web.ini
inline constexpr size_t kTokenHexDigits = 32;

// The tokens of `dir`/web.ini, made first when the file is missing. A token
// that is missing or not 32 hex digits is left empty (its pages are then
// refused) and stderr says so, naming the key, never the value.
WebTokens LoadWebTokens(const std::string& dir);

// Whether `given` is the token `expected`, in a time that does not depend on
// where they differ. Never true for an empty `expected`.
bool SameToken(std::string_view given, std::string_view expected);

// 32 hex digits from the system's random source; empty when it fails.
std::string RandomToken();
