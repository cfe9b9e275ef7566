#include "web/FlatJson.h"

#include <cstdio>

namespace {

// The longest request the API reads is a few dozen bytes; this is far above.
constexpr size_t kMaxMembers = 16;

class Reader {
 public:
  explicit Reader(std::string_view text) : m_text(text) {}

  void SkipSpace() {
    while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                    m_text[m_at] == '\n' || m_text[m_at] == '\r')) {
      ++m_at;
    }
  }
  bool Take(char c) {
    SkipSpace();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return m_at == m_text.size();
  }
  std::optional<std::string> String() {
    if (!Take('"')) {
      return std::nullopt;
    }
    std::string out;
    while (m_at < m_text.size()) {
      const auto c = static_cast<unsigned char>(m_text[m_at++]);
      if (c == '"') {
        return out;
      }
      if (c < 0x20) {
        return std::nullopt;  // control characters must be escaped
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (m_at >= m_text.size()) {
        return std::nullopt;
      }
      const char escape = m_text[m_at++];
      switch (escape) {
        case '"': case '\\': case '/': out += escape; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u':
          if (!Unicode(&out)) {
            return std::nullopt;
          }
          break;
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;  // unterminated
  }

 private:
  // \uXXXX of the basic plane as UTF-8 (our names never need more).
  bool Unicode(std::string* out) {
    if (m_at + 4 > m_text.size()) {
      return false;
    }
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = m_text[m_at++];
      const int digit = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
      if (digit < 0) {
        return false;
      }
      code = code * 16 + static_cast<unsigned>(digit);
    }
    if (code >= 0xD800 && code <= 0xDFFF) {
      return false;  // half of a pair
    }
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
  }

  std::string_view m_text;
  size_t m_at = 0;
};

}  // namespace

std::optional<std::map<std::string, std::string>> ParseFlatJsonObject(std::string_view text) {
  Reader reader(text);
  std::map<std::string, std::string> members;
  if (!reader.Take('{')) {
    return std::nullopt;
  }
  if (!reader.Take('}')) {
    do {
      std::optional<std::string> name = reader.String();
      if (!name || !reader.Take(':')) {
        return std::nullopt;
      }
      std::optional<std::string> value = reader.String();
      if (!value || members.size() == kMaxMembers ||
          !members.emplace(std::move(*name), std::move(*value)).second) {
        return std::nullopt;
      }
    } while (reader.Take(','));
    if (!reader.Take('}')) {
      return std::nullopt;
    }
  }
  if (!reader.AtEnd()) {
    return std::nullopt;
  }
  return members;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}
