#include "platform/device/rtsp_message.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/device/text.h"

namespace device {
namespace {

// Content-Length as a byte count; nullopt for anything but plain digits. A
// value beyond the message bound is saturated just past it, so that an
// announced 2 GB (or 2^70) body is refused as too large before anything is
// allocated for it.
std::optional<size_t> ParseLength(std::string_view text) {
  text = Trim(text);
  if (text.empty()) {
    return std::nullopt;
  }
  size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = std::min(value * 10 + static_cast<size_t>(c - '0'), kMaxRtspMessageBytes + 1);
  }
  return value;
}

}  // namespace

std::vector<std::string_view> RtspMessage::AllHeaders(std::string_view name) const {
  std::vector<std::string_view> values;
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) {
      values.push_back(value);
    }
  }
  return values;
}

std::string RtspMessage::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) {
      return value;
    }
  }
  return {};
}

ParseResult ParseRtspMessage(std::string_view bytes, RtspMessage* message, size_t* consumed,
                             std::string_view* problem) {
  const auto invalid = [problem](std::string_view what) {
    if (problem != nullptr) {
      *problem = what;
    }
    return ParseResult::kInvalid;
  };
  // Lines end in CR LF; some cameras send LF alone, which is taken too.
  size_t end = bytes.find("\r\n\r\n");
  size_t blankBytes = 4;
  if (const size_t lf = bytes.find("\n\n"); lf < end) {
    end = lf;
    blankBytes = 2;
  }
  if (end == std::string_view::npos) {
    return bytes.size() >= kMaxRtspMessageBytes ? ParseResult::kTooLarge : ParseResult::kIncomplete;
  }
  const size_t headerBytes = end + blankBytes;
  if (headerBytes > kMaxRtspMessageBytes) {
    return ParseResult::kTooLarge;
  }
  RtspMessage parsed;
  std::string_view head = bytes.substr(0, end);
  size_t lineEnd = head.find('\n');
  parsed.startLine = std::string(Trim(head.substr(0, lineEnd)));
  if (parsed.startLine.rfind("RTSP/", 0) == 0) {
    const size_t space = parsed.startLine.find(' ');
    if (space == std::string::npos) {
      return invalid("status line without a status");
    }
    parsed.status = std::atoi(parsed.startLine.c_str() + space + 1);
    if (parsed.status < 100 || parsed.status > 999) {
      return invalid("status outside 100-999");
    }
  } else if (parsed.startLine.find(" RTSP/") == std::string::npos) {
    return invalid("not an RTSP message");
  }
  size_t length = 0;
  while (lineEnd != std::string_view::npos) {
    head.remove_prefix(lineEnd + 1);
    lineEnd = head.find('\n');
    const std::string_view line = head.substr(0, lineEnd);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      continue;  // a folded or broken line carries nothing we use
    }
    std::string name(Trim(line.substr(0, colon)));
    std::string value(Trim(line.substr(colon + 1)));
    if (EqualsNoCase(name, "Content-Length")) {
      const std::optional<size_t> announced = ParseLength(value);
      if (!announced) {
        return invalid("Content-Length is not a number");
      }
      length = *announced;
    }
    parsed.headers.emplace_back(std::move(name), std::move(value));
  }
  if (length > kMaxRtspMessageBytes - headerBytes) {
    return ParseResult::kTooLarge;
  }
  if (bytes.size() < headerBytes + length) {
    return ParseResult::kIncomplete;
  }
  parsed.body = std::string(bytes.substr(headerBytes, length));
  *message = std::move(parsed);
  *consumed = headerBytes + length;
  return ParseResult::kComplete;
}

std::string BuildRtspRequest(std::string_view method, std::string_view uri, int cseq,
                             const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string request;
  request.append(method).append(" ").append(uri).append(" RTSP/1.0\r\n");
  request.append("CSeq: ").append(std::to_string(cseq)).append("\r\n");
  for (const auto& [name, value] : headers) {
    request.append(name).append(": ").append(value).append("\r\n");
  }
  request.append("User-Agent: Tarnview\r\n\r\n");
  return request;
}

std::string HeaderParameter(std::string_view value, std::string_view name, bool* present) {
  if (present != nullptr) {
    *present = false;
  }
  while (!value.empty()) {
    const size_t semicolon = value.find(';');
    const std::string_view item = Trim(value.substr(0, semicolon));
    const size_t equals = item.find('=');
    if (EqualsNoCase(Trim(item.substr(0, equals)), name)) {
      if (present != nullptr) {
        *present = true;
      }
      return equals == std::string_view::npos ? std::string()
                                              : std::string(item.substr(equals + 1));
    }
    if (semicolon == std::string_view::npos) {
      break;
    }
    value.remove_prefix(semicolon + 1);
  }
  return {};
}

}  // namespace device
