// What log lines show in place of a password: never the password itself,
// and always six characters so its length is not given away either.
#pragma once

inline constexpr char kMaskedPassword[] = "******";
