#include "platform/device/retry_after.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/device/text.h"

namespace device {
namespace {

// Month names by hand: strptime's %b follows the locale, and the program
// runs in a Chinese one.
int MonthOf(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (EqualsNoCase(name, kMonths[i])) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

std::optional<int> RetryAfterMs(std::string_view value, std::chrono::system_clock::time_point now) {
  value = Trim(value);
  if (!value.empty() &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    long long seconds = 0;
    for (const char c : value) {
      seconds = std::min(seconds * 10 + (c - '0'), static_cast<long long>(kMaxRetryAfterMs));
    }
    return static_cast<int>(std::min(seconds * 1000, static_cast<long long>(kMaxRetryAfterMs)));
  }
  // "Sun, 06 Nov 1994 08:49:37 GMT"
  const std::string text(value);
  std::tm date{};
  char month[4] = {};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%*3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d GMT%n", &date.tm_mday,
                  month, &date.tm_year, &date.tm_hour, &date.tm_min, &date.tm_sec,
                  &consumed) != 6 ||
      static_cast<size_t>(consumed) != text.size() || (date.tm_mon = MonthOf(month)) < 0) {
    return std::nullopt;
  }
  date.tm_year -= 1900;
  const std::time_t at = timegm(&date);
  const auto left = std::chrono::system_clock::from_time_t(at) - now;
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, kMaxRetryAfterMs));
}

}  // namespace device
