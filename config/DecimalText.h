// Decimal text to a 32-bit number, by the standard conversion's rules but
// saturated: the configuration file and the main dialog's boxes are read the
// same way, and a long number never wraps to a small one.
#pragma once

#include <cstdint>
#include <string>

// Leading white space, an optional sign, then decimal digits up to the first
// non-digit; no digits gives 0. Values beyond the 32-bit range give
// INT32_MAX or INT32_MIN.
int32_t DecimalToInt(const std::string& text);
