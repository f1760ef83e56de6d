// The BASIC world's arrays: up to eight dimensions, sized by DIM, first index varying
// fastest, every access tested. DQIntArray holds 64-bit floats, DQStrArray DQStr.
//
// Access ends the program with code 8 for an array that was never dimensioned and
// code 9 for a negative index, an index not below its dimension's size, or a non-zero
// index in a dimension of size 0. DIM ends it with code 7 when the storage cannot be
// had (for a string array, also every element's own buffer) or the element count does
// not fit 32 bits.
#pragma once

#include <cstdint>

#include "core/dqstr.h"

template <class T>
class __DQArray {
public:
    __DQArray() = default;
    __DQArray(const __DQArray&) = delete;
    __DQArray& operator=(const __DQArray&) = delete;
    ~__DQArray() { delete[] data_; }

    T& operator()(double i1 = 0, double i2 = 0, double i3 = 0, double i4 = 0, double i5 = 0, double i6 = 0,
                  double i7 = 0, double i8 = 0);

    // (Re)dimensions the array; every element starts at 0 / the empty string.
    void Dim(double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8);
    // Size of dimension k (0 ... 7), else 0.
    double Bounds(double k) const;
    int DimensionCount() const { return dims_; }
    int ElementCount() const { return count_; }
    // The storage, first index fastest; null before the first DIM.
    const T* Data() const { return data_; }

private:
    T* data_ = nullptr;
    int32_t count_ = 0;
    int32_t strides_[7] = {};
    int32_t sizes_[8] = {};
    int32_t dims_ = -1;
};

using DQIntArray = __DQArray<double>;
using DQStrArray = __DQArray<DQStr>;

double DIM(DQIntArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0,
           double d7 = 0, double d8 = 0);
double DIM(DQStrArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0,
           double d7 = 0, double d8 = 0);
double BOUNDS(DQIntArray& a, double k);
double BOUNDS(DQStrArray& a, double k);

// A growable list: capacity 512 on the first append, then 128 more whenever full.
template <class T>
class Queue {
public:
    Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    ~Queue() { Clear(); }

    void Add(const T& v) {
        if (count_ >= capacity_) {
            int grown = capacity_ == 0 ? 512 : capacity_ + 128;
            T* block = new T[grown];
            for (int i = 0; i < count_; ++i) block[i] = data_[i];
            delete[] data_;
            data_ = block;
            capacity_ = grown;
        }
        data_[count_++] = v;
    }
    // Element i, 0 <= i < Count(); other positions give a shared empty element.
    const T& operator[](int i) const {
        static const T empty{};
        return (i >= 0 && i < count_) ? data_[i] : empty;
    }
    int Count() const { return count_; }
    void Clear() {
        delete[] data_;
        data_ = nullptr;
        count_ = capacity_ = 0;
    }

private:
    T* data_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};
