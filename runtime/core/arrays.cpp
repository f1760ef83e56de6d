#include "core/arrays.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/program.h"
#include "core/numbers.h"

namespace {

// Bytes an element needs beyond its place in the block: a string owns its buffer.
template <class T>
constexpr size_t kOwnedBytes = 0;
template <>
constexpr size_t kOwnedBytes<DQStr> = DQStr::kBufferSize;

// Makes `count` fresh elements, or gives null when the memory for all of them (the
// block and every buffer an element owns) cannot be had. The whole amount is asked
// for at once first, so that a system that cannot promise it refuses before millions
// of small buffers have been handed out; a failure later in the construction is
// caught as well.
template <class T>
T* NewElements(int32_t count) {
    const size_t each = sizeof(T) + kOwnedBytes<T>;
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / each) return nullptr;
    void* whole = std::malloc(static_cast<size_t>(count) * each);
    if (!whole) return nullptr;
    std::free(whole);
    try {
        return new T[static_cast<size_t>(count)]();
    } catch (const std::bad_alloc&) {  // elements made so far are released again
        return nullptr;
    }
}

}  // namespace

template <class T>
void __DQArray<T>::Dim(double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8) {
    if (!(d1 >= 1)) d1 = 1;  // a NaN size counts as below 1 as well
    const double d[8] = {d1, d2, d3, d4, d5, d6, d7, d8};

    double product = std::trunc(d1);
    for (int k = 1; k < 8; ++k)
        if (d[k] >= 1) product *= d[k];
    product = std::trunc(product);

    delete[] data_;
    data_ = nullptr;
    count_ = 0;
    dims_ = -1;
    for (int32_t& s : sizes_) s = 0;
    for (int32_t& s : strides_) s = 0;

    if (!(product <= 2147483647.0)) __FatalError(7);
    count_ = static_cast<int32_t>(product);
    data_ = NewElements<T>(count_);
    if (!data_) {
        count_ = 0;
        __FatalError(7);
    }

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

template <class T>
T& __DQArray<T>::operator()(double i1, double i2, double i3, double i4, double i5, double i6, double i7, double i8) {
    if (sizes_[0] == 0) __FatalError(8);
    const double idx[8] = {i1, i2, i3, i4, i5, i6, i7, i8};
    if (!data_) __FatalError(9);
    for (int k = 0; k < 8; ++k) {
        // A NaN index is never in range.
        if (!(idx[k] >= 0)) __FatalError(9);
        if (sizes_[k] != 0) {
            if (idx[k] >= sizes_[k]) __FatalError(9);
        } else if (idx[k] >= 1) {
            __FatalError(9);
        }
    }
    int64_t pos = static_cast<int64_t>(i1);
    for (int k = 1; k < 8; ++k) pos += static_cast<int64_t>(idx[k]) * strides_[k - 1];
    if (pos < 0 || pos >= count_) __FatalError(9);
    return data_[pos];
}

template <class T>
double __DQArray<T>::Bounds(double k) const {
    int i = __TruncInt(k);
    return (i >= 0 && i <= 7) ? sizes_[i] : 0;
}

template class __DQArray<double>;
template class __DQArray<DQStr>;

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
