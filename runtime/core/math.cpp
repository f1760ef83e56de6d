#include "core/math.h"

#include <cmath>

#include "core/numbers.h"

double SIN(double a) { return std::sin(a / __kDegree); }
double COS(double a) { return std::cos(a / __kDegree); }
double TAN(double a) { return std::tan(a / __kDegree); }
double ATAN(double y, double x) { return std::atan2(y, x) * __kDegree; }

double ASIN(double v) {
    if (v >= 1) return 90;
    if (v <= -1) return -90;
    return std::asin(v) * __kDegree;
}

double ACOS(double v) {
    if (v >= 1) return 0;
    if (v <= -1) return 180;
    return std::acos(v) * __kDegree;
}

double POW(double b, double e) { return std::pow(b, e); }

double MOD(double a, double b) {
    if (b == 0) return 0;
    if (!std::isfinite(a) || !std::isfinite(b)) return 0;
    double ta = std::trunc(a), tb = std::trunc(b);
    if (tb == 0) return 0;
    if (std::fabs(ta) <= 2147483647.0 && std::fabs(tb) <= 2147483647.0) {
        int32_t ia = static_cast<int32_t>(ta), ib = static_cast<int32_t>(tb);
        return static_cast<double>(ia % ib);
    }
    // Beyond 32 bits: the exact remainder of the truncated values; fmod keeps the
    // dividend's sign. Adding 0 turns a -0 into 0.
    return std::fmod(ta, tb) + 0.0;
}

double SQR(double v) {
    double r = std::sqrt(v);
    return r;
}

double ABS(double v) { return v < 0 ? -v : v; }

double TRUNC(double v) { return std::trunc(v) + 0.0; }
double INT(double v) { return std::floor(v) + 0.0; }
double MIN(double a, double b) { return b < a ? b : a; }
double MAX(double a, double b) { return b > a ? b : a; }
double SGN(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

double RGB(double red, double green, double blue) {
    auto part = [](double v) {
        const int32_t n = __TruncInt(v);
        return n < 0 ? 0 : n > 255 ? 255 : n;
    };
    return part(red) + 256.0 * part(green) + 65536.0 * part(blue);
}
