// Writes test bitmaps: 8, 24 or 32 bits, bottom-up or top-down, from a colour
// function of (column, row from the top).
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

struct TestBitmap {
    int width = 1, height = 1, bits = 24;
    bool topDown = false;
    std::vector<uint32_t> palette;                 // 8-bit files: R + 256 G + 65536 B
    std::function<uint32_t(int, int)> pixel;       // colour, or palette index for 8 bits
};

inline std::vector<uint8_t> BitmapBytes(const TestBitmap& b) {
    auto put32 = [](std::vector<uint8_t>& v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
    };
    const int bpp = b.bits / 8, stride = (b.width * bpp + 3) / 4 * 4;
    const size_t palBytes = b.bits == 8 ? b.palette.size() * 4 : 0;
    const size_t offset = 54 + palBytes;
    std::vector<uint8_t> v(offset + static_cast<size_t>(stride) * b.height, 0);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<uint32_t>(v.size()));
    put32(v, 10, static_cast<uint32_t>(offset));
    put32(v, 14, 40);
    put32(v, 18, static_cast<uint32_t>(b.width));
    put32(v, 22, static_cast<uint32_t>(b.topDown ? -b.height : b.height));
    v[26] = 1;
    v[28] = static_cast<uint8_t>(b.bits);
    for (size_t i = 0; i < b.palette.size() && b.bits == 8; ++i) {
        v[54 + i * 4] = (b.palette[i] >> 16) & 0xFF;
        v[54 + i * 4 + 1] = (b.palette[i] >> 8) & 0xFF;
        v[54 + i * 4 + 2] = b.palette[i] & 0xFF;
    }
    for (int r = 0; r < b.height; ++r) {
        int stored = b.topDown ? r : b.height - 1 - r;  // file row of picture row r
        uint8_t* row = &v[offset + static_cast<size_t>(stored) * stride];
        for (int c = 0; c < b.width; ++c) {
            uint32_t p = b.pixel ? b.pixel(c, r) : 0;
            if (b.bits == 8) {
                row[c] = static_cast<uint8_t>(p);
            } else {
                row[c * bpp] = (p >> 16) & 0xFF;
                row[c * bpp + 1] = (p >> 8) & 0xFF;
                row[c * bpp + 2] = p & 0xFF;
            }
        }
    }
    return v;
}

inline std::string WriteBitmap(const std::string& path, const TestBitmap& b) {
    std::vector<uint8_t> bytes = BitmapBytes(b);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

inline std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}
