// Small text helpers for the RTSP client's parsers: protocol texts compare
// names without regard to case and carry spaces around values.
#pragma once

#include <cctype>
#include <string_view>

namespace device {

inline bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// Whether a comma-separated list holds `token`: qop="auth,auth-int",
// "Public: OPTIONS, DESCRIBE, GET_PARAMETER".
inline bool ListHolds(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    if (EqualsNoCase(Trim(list.substr(0, comma)), token)) {
      return true;
    }
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
  }
  return false;
}

}  // namespace device
