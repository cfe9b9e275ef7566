// The wait a busy device (503) asks for in its Retry-After header: delta
// seconds ("Retry-After: 2") or a date ("Retry-After: Fri, 07 Jun 2024
// 10:00:02 GMT", the IMF-fixdate form every HTTP-derived server writes).
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace device {

// Longest wait taken from a device: anything beyond is cut to it, as every
// wait is bounded by the attempt's deadline anyway (at most 10 minutes).
constexpr int kMaxRetryAfterMs = 600000;

// Milliseconds to wait from `now` (wall clock, for a date), at most
// kMaxRetryAfterMs; 0 for a date already past; nullopt when the value is
// neither form.
std::optional<int> RetryAfterMs(std::string_view value, std::chrono::system_clock::time_point now);

}  // namespace device
