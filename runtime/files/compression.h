// Internal: packing and unpacking one block of bytes with LZO1X-1. The packed stream is the
// unpacked length (4 bytes, little-endian) followed by the compressed bytes; it is
// the format of every archive entry.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class KWCompression {
public:
    // Replaces the output with the packed stream of the bytes.
    void Pack(const unsigned char* data, long length);
    // Replaces the output with the unpacked bytes of a stream; returns their number,
    // or 0 when the stream is damaged (the output then holds what was unpacked). An
    // unpacked length the stream cannot hold is refused before anything is allocated.
    int UnPack(const unsigned char* packed, int packedSize);
    void Clear();

    const unsigned char* Output() const { return out_.data(); }
    int OutputSize() const { return static_cast<int>(out_.size()); }
    // Hands the output over (leaving none), so a large entry is never copied.
    std::vector<unsigned char> TakeOutput() { return std::move(out_); }

private:
    std::vector<unsigned char> out_;
};

// The largest unpacked length a stream of packedSize bytes can honestly claim.
uint64_t __MaxUnpackedLength(uint64_t packedSize);
