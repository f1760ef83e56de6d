#include "core/arrays.h"

#include <cmath>
#include <cstdint>

#include "core/numbers.h"
#include "core/program.h"

void __ArrayShape::Clear() { *this = __ArrayShape(); }

void __ArrayShape::Set(double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8) {
    if (!(d1 >= 1)) d1 = 1;  // a NaN size counts as below 1 as well
    const double d[8] = {d1, d2, d3, d4, d5, d6, d7, d8};

    double product = std::trunc(d1);
    for (int k = 1; k < 8; ++k)
        if (d[k] >= 1) product *= d[k];
    product = std::trunc(product);

    Clear();
    if (!(product <= 2147483647.0)) __FatalError(7);
    count_ = static_cast<int32_t>(product);

    dims_ = 1;
    for (int k = 7; k >= 1; --k)
        if (d[k] != 0) {
            dims_ = k + 1;
            break;
        }
    for (int k = 0; k < 8; ++k) sizes_[k] = __TruncInt(d[k]);
    // Strides are partial products of the stored sizes; every product of sizes of at
    // least 1 is bounded by the element count, and a dimension of size 0 or below
    // never passes an index other than 0, so the products cannot overflow in use.
    int64_t stride = sizes_[0];
    for (int j = 1; j < 8; ++j) {
        strides_[j - 1] = static_cast<int32_t>(stride);
        stride = (stride * sizes_[j]) % (int64_t{1} << 32);
    }
}

int32_t __ArrayShape::Position(bool hasStorage, double i1, double i2, double i3, double i4, double i5, double i6,
                               double i7, double i8) const {
    if (sizes_[0] == 0) __FatalError(8);
    if (!hasStorage) __FatalError(9);
    // Each index is cut toward zero first: -0.5 is index 0, 4.5 is index 4. A NaN
    // index is never in range.
    const double idx[8] = {std::trunc(i1), std::trunc(i2), std::trunc(i3), std::trunc(i4),
                           std::trunc(i5), std::trunc(i6), std::trunc(i7), std::trunc(i8)};
    for (int k = 0; k < 8; ++k) {
        if (!(idx[k] >= 0)) __FatalError(9);
        if (sizes_[k] != 0) {
            if (idx[k] >= sizes_[k]) __FatalError(9);
        } else if (idx[k] >= 1) {
            __FatalError(9);
        }
    }
    int64_t pos = static_cast<int64_t>(idx[0]);
    for (int k = 1; k < 8; ++k) pos += static_cast<int64_t>(idx[k]) * strides_[k - 1];
    if (pos < 0 || pos >= count_) __FatalError(9);
    return static_cast<int32_t>(pos);
}

double __ArrayShape::Bounds(double k) const {
    int i = __TruncInt(k);
    return (i >= 0 && i <= 7) ? sizes_[i] : 0;
}

double DIM(DQIntArray& a, double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8) {
    a.Dim(d1, d2, d3, d4, d5, d6, d7, d8);
    return 0;
}
double DIM(DQStrArray& a, double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8) {
    a.Dim(d1, d2, d3, d4, d5, d6, d7, d8);
    return 0;
}
double BOUNDS(DQIntArray& a, double k) { return a.Bounds(k); }
double BOUNDS(DQStrArray& a, double k) { return a.Bounds(k); }
