#include "config/DecimalText.h"

#include <climits>

int32_t DecimalToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Held at 2^31 at most, so the next digit cannot overflow int64_t.
  constexpr int64_t kLimit = static_cast<int64_t>(INT32_MAX) + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) {
      magnitude = kLimit;
    }
  }
  if (negative) {
    return static_cast<int32_t>(-magnitude);
  }
  return static_cast<int32_t>(magnitude == kLimit ? INT32_MAX : magnitude);
}
