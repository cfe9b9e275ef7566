#include "platform/device/log_mask.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace device {
namespace {

void DefaultOutput(void* context, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  av_log_default_callback(context, level, format, args);
  va_end(args);
}

void MaskingCallback(void* context, int level, const char* format, va_list args) {
  if ((level & 0xFF) > av_log_get_level()) {  // the high bits carry a colour tint
    return;
  }
  // Formatted whole: a line cut at a fixed length could end inside a URL,
  // after the password but before the '@' that marks it as one.
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    return;
  }
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(line.data(), line.size(), format, args);
  line.resize(static_cast<std::size_t>(length));
  DefaultOutput(context, level, "%s", MaskUserInfo(line).c_str());
}

}  // namespace

std::string MaskUserInfo(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  std::size_t at = 0;
  for (std::size_t scheme = line.find("://"); scheme != std::string_view::npos;
       scheme = line.find("://", at)) {
    const std::size_t authority = scheme + 3;
    // The user information ends at the last '@' before the path, query or end.
    const std::size_t end = line.find_first_of("/?# \t\r\n", authority);
    const std::size_t atSign = line.substr(authority, end - authority).rfind('@');
    out.append(line.substr(at, authority - at));
    if (atSign != std::string_view::npos) {
      out.append("***");
      at = authority + atSign;
    } else {
      at = authority;
    }
  }
  out.append(line.substr(at));
  return out;
}

void InstallLogMask() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(MaskingCallback); });
}

}  // namespace device
