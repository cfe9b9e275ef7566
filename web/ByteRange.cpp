#include "web/ByteRange.h"

namespace {

constexpr size_t kMaxDigits = 19;  // below 2^63

// Decimal digits, all of `text`; none when empty, other or too long.
std::optional<uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > kMaxDigits) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

RangeAsk ParseByteRange(std::string_view header, uint64_t size, ByteRange* range) {
  constexpr std::string_view kUnit = "bytes=";
  if (header.substr(0, kUnit.size()) != kUnit || header.find(',') != std::string_view::npos) {
    return RangeAsk::kWhole;
  }
  const std::string_view spec = header.substr(kUnit.size());
  const size_t dash = spec.find('-');
  if (dash == std::string_view::npos) {
    return RangeAsk::kWhole;
  }
  const std::optional<uint64_t> first = Number(spec.substr(0, dash));
  const std::optional<uint64_t> last = Number(spec.substr(dash + 1));
  if (!first && last) {  // the last `last` bytes
    if (*last == 0 || size == 0) {
      return RangeAsk::kUnsatisfiable;
    }
    range->first = *last >= size ? 0 : size - *last;
    range->last = size - 1;
    return RangeAsk::kPart;
  }
  if (!first || (!last && dash + 1 != spec.size()) || (last && *last < *first)) {
    return RangeAsk::kWhole;  // not a range we read: ignored, as the header allows
  }
  if (*first >= size) {
    return RangeAsk::kUnsatisfiable;
  }
  range->first = *first;
  range->last = last && *last < size ? *last : size - 1;
  return RangeAsk::kPart;
}
