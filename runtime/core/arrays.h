// The BASIC world's arrays: up to eight dimensions, sized by DIM, first index varying
// fastest, every access tested. DQIntArray holds 64-bit floats, DQStrArray DQStr; a
// compiled program's arrays of records are __DQArray of the record's type. Copying an
// array copies its shape and every element (records hold arrays by value).
//
// Indexes are truncated toward zero first and then tested: -0.5 is index 0, 4.5 in a
// dimension of size 5 is index 4. Access ends the program with code 8 for an array
// that was never dimensioned and code 9 for an index below 0 (or a NaN), an index not
// below its dimension's size, or a non-zero index in a dimension of size 0. DIM ends
// it with code 7 when the storage cannot be had (for a string array, also every
// element's own buffer) or the element count does not fit 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "core/dqstr.h"
#include "core/program.h"

// The shape of an array, whatever its elements: sizes, strides, the element count and
// the tested position of an element.
class __ArrayShape {
public:
    // The shape DIM gives for these sizes: the element count is d1 (raised to 1) times
    // every later size of at least 1, truncated. Ends the program with code 7 when the
    // count does not fit 32 bits.
    void Set(double d1, double d2, double d3, double d4, double d5, double d6, double d7, double d8);
    // Back to "never dimensioned".
    void Clear();
    // The position of an element in the storage, or the end of the program: code 8
    // when the array was never dimensioned, 9 when an index is out of range or the
    // array has no storage.
    int32_t Position(bool hasStorage, double i1, double i2, double i3, double i4, double i5, double i6, double i7,
                     double i8) const;
    // Size of dimension k (0 ... 7), else 0.
    double Bounds(double k) const;
    int32_t Count() const { return count_; }
    int32_t Dimensions() const { return dims_; }

private:
    int32_t count_ = 0;
    int32_t strides_[7] = {};
    int32_t sizes_[8] = {};
    int32_t dims_ = -1;
};

// Bytes an element needs beyond its place in the block: a string owns its buffer.
template <class T> inline constexpr size_t __kOwnedBytes = 0;
template <> inline constexpr size_t __kOwnedBytes<DQStr> = DQStr::kBufferSize;

// Makes `count` fresh elements, or gives null when the memory for all of them (the
// block and every buffer an element owns) cannot be had. The whole amount is asked for
// at once first, so that a system that cannot promise it refuses before millions of
// small buffers have been handed out; a failure later in the construction is caught.
template <class T>
T* __NewElements(int32_t count) {
    const size_t each = sizeof(T) + __kOwnedBytes<T>;
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

template <class T>
class __DQArray {
public:
    __DQArray() = default;
    __DQArray(const __DQArray& other) : shape_(other.shape_) {
        if (!other.data_) return;
        data_ = __NewElements<T>(shape_.Count());
        if (!data_) {
            shape_.Clear();
            __FatalError(7);
        }
        for (int32_t i = 0; i < shape_.Count(); ++i) data_[i] = other.data_[i];
    }
    __DQArray& operator=(const __DQArray& other) {
        if (this != &other) {
            __DQArray copy(other);
            std::swap(shape_, copy.shape_);
            std::swap(data_, copy.data_);
        }
        return *this;
    }
    ~__DQArray() { delete[] data_; }

    T& operator()(double i1 = 0, double i2 = 0, double i3 = 0, double i4 = 0, double i5 = 0, double i6 = 0,
                  double i7 = 0, double i8 = 0) {
        return data_[shape_.Position(data_ != nullptr, i1, i2, i3, i4, i5, i6, i7, i8)];
    }

    // (Re)dimensions the array; every element starts fresh (0, the empty string, a
    // record of such).
    void Dim(double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0, double d7 = 0,
             double d8 = 0) {
        delete[] data_;
        data_ = nullptr;
        shape_.Set(d1, d2, d3, d4, d5, d6, d7, d8);
        data_ = __NewElements<T>(shape_.Count());
        if (!data_) {
            shape_.Clear();
            __FatalError(7);
        }
    }
    // Size of dimension k (0 ... 7), else 0.
    double Bounds(double k) const { return shape_.Bounds(k); }
    int DimensionCount() const { return shape_.Dimensions(); }
    int ElementCount() const { return shape_.Count(); }
    // The storage, first index fastest; null before the first DIM.
    const T* Data() const { return data_; }

private:
    __ArrayShape shape_;
    T* data_ = nullptr;
};

using DQIntArray = __DQArray<double>;
using DQStrArray = __DQArray<DQStr>;

double DIM(DQIntArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0,
           double d7 = 0, double d8 = 0);
double DIM(DQStrArray& a, double d1, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0, double d6 = 0,
           double d7 = 0, double d8 = 0);
double BOUNDS(DQIntArray& a, double k);
double BOUNDS(DQStrArray& a, double k);
// The same for an array of a compiled program's records.
template <class T>
double BOUNDS(__DQArray<T>& a, double k) {
    return a.Bounds(k);
}

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
    int Capacity() const { return capacity_; }
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
