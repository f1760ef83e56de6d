// Internal: turning the BASIC world's 64-bit floats into integers and decimal digits.
#pragma once

#include <cstdint>
#include <string>

// Truncates toward zero into a 32-bit integer. Values beyond the range saturate and a
// NaN gives 0, so no conversion is ever undefined.
int32_t __TruncInt(double v);
// The same into a 64-bit integer.
int64_t __TruncInt64(double v);

// The first 17 significant decimal digits of |v| (v finite, non-zero) and the power
// of ten of the first one.
struct __Digits {
    char digits[18];
    int exponent;
};
__Digits __DecimalDigits(double v);
// Rounds the digits half away from zero to the first `keep` (1 ... 16); a carry out of
// the first digit moves the exponent up.
void __RoundDigits(__Digits& d, int keep);
// v in fixed notation with exactly `places` decimals (rounded half away from zero from
// its 17 significant digits; later digits print as 0), with a leading '-' when v < 0.
std::string __FixedDigits(double v, int places);
