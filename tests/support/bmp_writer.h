// Test bitmaps: written as 8, 24 or 32 bits, bottom-up or top-down, from a colour
// function of (column, row from the top), with an information header of 40 bytes or a
// larger one (the palette follows whatever size is written); and bitmap files read
// back, as the runtime reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "support/harness.h"

struct TestBitmap {
    int width = 1, height = 1, bits = 24;
    std::function<uint32_t(int, int)> pixel;  // colour R + 256 G + 65536 B, or palette index for 8 bits
    std::vector<uint32_t> palette = {};
    bool topDown = false;
    int headerSize = 40;            // 40, or 56 and more with colour masks
    uint32_t coloursUsed = 0;       // palette entries declared (0: all)
    uint32_t masks[3] = {0, 0, 0};  // 32 bits: red, green, blue byte masks
};

inline std::function<uint32_t(int, int)> Solid(uint32_t colour) {
    return [colour](int, int) { return colour; };
}

inline std::string BitmapBytes(const TestBitmap& b) {
    auto put32 = [](std::string& v, size_t at, uint32_t x) { v.replace(at, 4, U32(x)); };
    const int bpp = b.bits / 8, stride = (b.width * bpp + 3) / 4 * 4;
    const size_t palAt = 14 + b.headerSize, offset = palAt + (b.bits == 8 ? b.palette.size() * 4 : 0);
    const bool masked = b.bits == 32 && b.masks[0] != 0;
    std::string v(offset + static_cast<size_t>(stride) * b.height, '\0');
    v[0] = 'B';
    v[1] = 'M';
    v[26] = 1;  // planes
    v[28] = static_cast<uint8_t>(b.bits);
    for (auto [at, x] : {std::pair<size_t, size_t>{2, v.size()}, {10, offset}, {14, b.headerSize}, {18, b.width},
                         {22, b.topDown ? -b.height : b.height}, {46, b.coloursUsed}})
        put32(v, at, static_cast<uint32_t>(x));
    if (masked) {
        put32(v, 30, 3);  // colours given by bit masks
        for (int k = 0; k < 3; ++k) put32(v, 54 + 4 * k, b.masks[k]);
    }
    auto bgr = [](uint32_t p) { return p >> 16 | (p & 0xFF00) | (p & 0xFF) << 16; };  // stored order B, G, R
    for (size_t i = 0; i < b.palette.size() && b.bits == 8; ++i) put32(v, palAt + i * 4, bgr(b.palette[i]));
    for (int r = 0; r < b.height; ++r) {
        char* row = &v[offset + static_cast<size_t>(b.topDown ? r : b.height - 1 - r) * stride];
        for (int c = 0; c < b.width; ++c) {
            uint32_t p = b.pixel ? b.pixel(c, r) : 0, word = b.bits == 8 ? p : bgr(p);
            if (masked) {
                word = 0;
                for (int k = 0; k < 3; ++k) word |= ((p >> (8 * k)) & 0xFF) << __builtin_ctz(b.masks[k]);
            }
            for (int i = 0; i < bpp; ++i) row[c * bpp + i] = static_cast<char>(word >> (8 * i));
        }
    }
    return v;
}

inline std::string WriteBitmap(const std::string& path, const TestBitmap& b) { return WriteText(path, BitmapBytes(b)); }

// Reads a bitmap file (a screenshot, say); false when it cannot be read or is no bitmap.
inline bool ReadBitmap(const std::string& path, __BMPImage& image) {
    const std::string bytes = ReadText(path);
    return image.Open(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
