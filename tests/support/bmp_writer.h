// Writes test bitmaps: 8, 24 or 32 bits, bottom-up or top-down, from a colour
// function of (column, row from the top), with an information header of 40 bytes or
// a larger one (the palette follows whatever size is written).
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
    int headerSize = 40;                           // 40, or 56 and more with colour masks
    uint32_t coloursUsed = 0;                      // palette entries declared (0: all)
    uint32_t masks[3] = {0, 0, 0};                 // 32 bits: red, green, blue byte masks
};

inline std::vector<uint8_t> BitmapBytes(const TestBitmap& b) {
    auto put32 = [](std::vector<uint8_t>& v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
    };
    const int bpp = b.bits / 8, stride = (b.width * bpp + 3) / 4 * 4;
    const size_t palBytes = b.bits == 8 ? b.palette.size() * 4 : 0;
    const size_t offset = 14 + b.headerSize + palBytes;
    const size_t palAt = 14 + b.headerSize;
    const bool masked = b.bits == 32 && b.masks[0] != 0;
    std::vector<uint8_t> v(offset + static_cast<size_t>(stride) * b.height, 0);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<uint32_t>(v.size()));
    put32(v, 10, static_cast<uint32_t>(offset));
    put32(v, 14, static_cast<uint32_t>(b.headerSize));
    put32(v, 18, static_cast<uint32_t>(b.width));
    put32(v, 22, static_cast<uint32_t>(b.topDown ? -b.height : b.height));
    v[26] = 1;
    v[28] = static_cast<uint8_t>(b.bits);
    put32(v, 46, b.coloursUsed);
    if (masked) {
        put32(v, 30, 3);  // colours given by bit masks
        for (int k = 0; k < 3; ++k) put32(v, 54 + 4 * k, b.masks[k]);
    }
    for (size_t i = 0; i < b.palette.size() && b.bits == 8; ++i) {
        v[palAt + i * 4] = (b.palette[i] >> 16) & 0xFF;
        v[palAt + i * 4 + 1] = (b.palette[i] >> 8) & 0xFF;
        v[palAt + i * 4 + 2] = b.palette[i] & 0xFF;
    }
    for (int r = 0; r < b.height; ++r) {
        int stored = b.topDown ? r : b.height - 1 - r;  // file row of picture row r
        uint8_t* row = &v[offset + static_cast<size_t>(stored) * stride];
        for (int c = 0; c < b.width; ++c) {
            uint32_t p = b.pixel ? b.pixel(c, r) : 0;
            if (b.bits == 8) {
                row[c] = static_cast<uint8_t>(p);
            } else if (masked) {
                uint32_t word = 0;
                for (int k = 0; k < 3; ++k) {
                    int shift = 0;
                    while (!((b.masks[k] >> shift) & 1)) ++shift;
                    word |= ((p >> (8 * k)) & 0xFF) << shift;
                }
                for (int i = 0; i < 4; ++i) row[c * 4 + i] = static_cast<uint8_t>(word >> (8 * i));
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
