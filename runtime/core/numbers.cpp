#include "core/numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int32_t __TruncInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int64_t __TruncInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

__Digits __DecimalDigits(double v) {
    __Digits d{};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.16e", std::fabs(v));  // d.dddddddddddddddde+XX
    d.digits[0] = buf[0];
    std::memcpy(d.digits + 1, buf + 2, 16);
    d.digits[17] = 0;
    d.exponent = std::atoi(std::strchr(buf, 'e') + 1);
    return d;
}

void __RoundDigits(__Digits& d, int keep) {
    if (keep < 1 || keep >= 17) return;
    bool up = d.digits[keep] >= '5';
    for (int i = keep; i < 17; ++i) d.digits[i] = '0';
    for (int i = keep - 1; up && i >= 0; --i) {
        if (d.digits[i] == '9') {
            d.digits[i] = '0';
        } else {
            ++d.digits[i];
            up = false;
        }
    }
    if (up) {  // 99...9 became 100...0
        d.digits[0] = '1';
        d.exponent += 1;
    }
}

std::string __FixedDigits(double v, int places) {
    if (places < 0) places = 0;
    bool negative = v < 0;
    // Digits by power of ten, from the highest integer position down to 10^-places,
    // with one spare position on top for a carry.
    int top = 0;
    __Digits d{};
    bool zero = (v == 0);
    if (!zero) {
        d = __DecimalDigits(v);
        if (d.exponent > top) top = d.exponent;
    }
    auto digitAt = [&](int power) -> int {
        if (zero) return 0;
        int idx = d.exponent - power;
        return (idx >= 0 && idx < 17) ? d.digits[idx] - '0' : 0;
    };
    std::string digits;  // digits[0] is the spare carry position 10^(top+1)
    digits.reserve(top + places + 2);
    for (int p = top + 1; p >= -places; --p) digits += static_cast<char>('0' + digitAt(p));
    if (digitAt(-places - 1) >= 5) {
        for (int i = static_cast<int>(digits.size()) - 1; i >= 0; --i) {
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
        }
    }
    std::string out = negative ? "-" : "";
    int intDigits = top + 2;  // positions 10^(top+1) ... 10^0
    size_t first = 0;
    while (static_cast<int>(first) < intDigits - 1 && digits[first] == '0') ++first;
    out.append(digits, first, intDigits - first);
    if (places > 0) {
        out += '.';
        out.append(digits, intDigits, places);
    }
    return out;
}
