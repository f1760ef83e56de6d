// Internal: little-endian bytes, read and written. Every file format and packet of the
// runtime (bitmaps, waves, MIDI, archives, object files, network packets) is read through
// ByteReader and written through ByteWriter.
//
// A ByteReader never reads past its end: a read that does not fit fails, returns zero,
// and leaves the reader failed for good (Ok() is false), so a parser reads all its fields
// and checks once. Le16/Le32 read a fixed header already known to be long enough.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

    bool Ok() const { return ok_; }
    // Failed, or every byte read.
    bool AtEnd() const { return ok_ && pos_ == size_; }
    size_t Left() const { return ok_ ? size_ - pos_ : 0; }
    size_t Pos() const { return pos_; }
    void Fail() { ok_ = false; }

    uint8_t U8() { return Need(1) ? data_[pos_++] : 0; }
    uint16_t U16() {
        if (!Need(2)) return 0;
        pos_ += 2;
        return Le16(data_ + pos_ - 2);
    }
    uint32_t U32() {
        if (!Need(4)) return 0;
        pos_ += 4;
        return Le32(data_ + pos_ - 4);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() {
        const uint32_t u = U32();
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    double F64() {
        const uint64_t lo = U32();
        const uint64_t u = lo | (static_cast<uint64_t>(U32()) << 32);
        double v;
        std::memcpy(&v, &u, 8);
        return v;
    }
    // A big-endian number of 1 to 4 bytes (MIDI files).
    uint32_t BigEndian(int bytes) {
        if (bytes < 1 || bytes > 4 || !Need(static_cast<size_t>(bytes))) return 0;
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | data_[pos_++];
        return v;
    }
    // The next n bytes, or nullptr (and failed) when fewer are left.
    const uint8_t* Bytes(size_t n) {
        if (!Need(n)) return nullptr;
        pos_ += n;
        return data_ + pos_ - n;
    }
    bool Skip(size_t n) { return Bytes(n) != nullptr || n == 0; }
    // What is left, without reading it.
    const uint8_t* Here() const { return data_ + pos_; }

private:
    bool Need(size_t n) {
        if (!ok_ || size_ - pos_ < n) ok_ = false;
        return ok_;
    }
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
public:
    ByteWriter& U8(uint8_t v) {
        out_.push_back(v);
        return *this;
    }
    ByteWriter& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    ByteWriter& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
    ByteWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    ByteWriter& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return U32(u);
    }
    ByteWriter& F64(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        return U32(static_cast<uint32_t>(u)).U32(static_cast<uint32_t>(u >> 32));
    }
    ByteWriter& Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
        return *this;
    }
    ByteWriter& Text(std::string_view s) { return Bytes(s.data(), s.size()); }
    // Overwrites 4 bytes already written (a size field filled in afterwards).
    void PatchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4 && at + i < out_.size(); ++i) out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

    size_t Size() const { return out_.size(); }
    const std::vector<uint8_t>& Data() const { return out_; }
    std::vector<uint8_t> Take() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
};
