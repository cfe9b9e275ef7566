// RTSP messages on the wire: requests out, responses (and anything else the
// device sends on its connection) in, every length bounded so that a hostile
// device cannot make us allocate what it announces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace device {

// Largest message (status line, headers and body) accepted from a device. An
// SDP of a camera is a few KiB; a megabyte leaves room for any recorder.
constexpr size_t kMaxRtspMessageBytes = 1 << 20;

struct RtspMessage {
  std::string startLine;  // "RTSP/1.0 200 OK", or a request line the device sent
  int status = 0;         // status code of a response; 0 for a request
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Value of the first header of that name (case-insensitive), or empty.
  std::string Header(std::string_view name) const;
  // Values of every header of that name, in order (WWW-Authenticate offers).
  std::vector<std::string_view> AllHeaders(std::string_view name) const;
};

enum class ParseResult {
  kIncomplete,  // more bytes needed
  kComplete,    // one message parsed; `consumed` bytes used
  kInvalid,     // not an RTSP message, or a header that cannot be read
  kTooLarge,    // over kMaxRtspMessageBytes, or announcing more
};

// Parses one message from the front of `bytes`. On kInvalid, *problem (when
// given) says what was wrong, as a literal.
ParseResult ParseRtspMessage(std::string_view bytes, RtspMessage* message, size_t* consumed,
                             std::string_view* problem = nullptr);

// "METHOD uri RTSP/1.0\r\nCSeq: n\r\n" + each header + "User-Agent" + blank line.
std::string BuildRtspRequest(std::string_view method, std::string_view uri, int cseq,
                             const std::vector<std::pair<std::string, std::string>>& headers);

// A parameter of a header value such as `Transport` or `Session`:
// "RTP/AVP/TCP;interleaved=0-1" with name "interleaved" gives "0-1"; a
// parameter without '=' gives "" and sets *present; absent gives "".
std::string HeaderParameter(std::string_view value, std::string_view name, bool* present = nullptr);

}  // namespace device
