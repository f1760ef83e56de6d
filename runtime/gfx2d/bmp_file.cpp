#include "gfx2d/bmp_file.h"

#include <cstdio>
#include <cstring>

namespace {

// Largest picture side accepted: beyond this no texture could hold it anyway.
constexpr int64_t kLargestSide = 1 << 16;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

struct Header {
    int64_t offset = 0;
    int64_t width = 0, height = 0;
    int bits = 0;
};

// File header and the fields of the information header the reader needs.
bool ReadHeader(FILE* f, Header& h, long fileSize) {
    uint8_t fh[14];
    if (std::fread(fh, 1, 14, f) != 14 || fh[0] != 'B' || fh[1] != 'M') return false;
    h.offset = Le32(fh + 10);
    // The information header must reach at least past the bit count; it and the
    // palette end where the pixel data starts, inside the file.
    if (h.offset < 30 || h.offset > fileSize) return false;
    uint8_t ih[16];
    if (std::fread(ih, 1, 16, f) != 16) return false;
    int32_t w = static_cast<int32_t>(Le32(ih + 4));
    int32_t hh = static_cast<int32_t>(Le32(ih + 8));
    h.width = w < 0 ? -static_cast<int64_t>(w) : w;
    h.height = hh < 0 ? -static_cast<int64_t>(hh) : hh;
    h.bits = Le16(ih + 14);
    return true;
}

long FileSize(FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return n;
}

}  // namespace

uint32_t __BMPImage::Colour(int c, int r) const {
    const uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - r) * stride;
    if (bits == 8) return palette[row[c]];
    const uint8_t* p = row + static_cast<size_t>(c) * (bits / 8);
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

bool __ReadBMPSize(const char* path, int& width, int& height) {
    width = height = 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    Header h;
    long size = FileSize(f);
    bool ok = size > 0 && ReadHeader(f, h, size) && h.width <= kLargestSide && h.height <= kLargestSide;
    std::fclose(f);
    if (!ok) return false;
    width = static_cast<int>(h.width);
    height = static_cast<int>(h.height);
    return true;
}

bool __ReadBMP(const char* path, __BMPImage& out) {
    out = __BMPImage{};
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    long size = FileSize(f);
    Header h;
    bool ok = size > 0 && ReadHeader(f, h, size);
    ok = ok && (h.bits == 8 || h.bits == 24 || h.bits == 32);
    ok = ok && h.width >= 1 && h.height >= 1 && h.width <= kLargestSide && h.height <= kLargestSide;
    int64_t stride = ((h.width * (h.bits / 8)) + 3) / 4 * 4;
    ok = ok && h.offset + stride * h.height <= size;
    if (ok && h.bits == 8) {
        // The palette starts 40 bytes into the information header and ends where the
        // pixel data starts.
        int64_t entries = (h.offset - 54) / 4;
        if (entries > 256) entries = 256;
        if (entries < 1) ok = false;
        if (ok) {
            std::vector<uint8_t> pal(static_cast<size_t>(entries) * 4);
            ok = std::fseek(f, 54, SEEK_SET) == 0 && std::fread(pal.data(), 1, pal.size(), f) == pal.size();
            for (int64_t i = 0; ok && i < entries; ++i)
                out.palette.push_back(pal[i * 4 + 2] | (pal[i * 4 + 1] << 8) | (pal[i * 4] << 16));
        }
    }
    if (ok) {
        out.pixels.resize(static_cast<size_t>(stride * h.height));
        ok = std::fseek(f, static_cast<long>(h.offset), SEEK_SET) == 0 &&
             std::fread(out.pixels.data(), 1, out.pixels.size(), f) == out.pixels.size();
    }
    std::fclose(f);
    if (!ok) {
        out = __BMPImage{};
        return false;
    }
    out.width = static_cast<int>(h.width);
    out.height = static_cast<int>(h.height);
    out.bits = h.bits;
    out.stride = static_cast<int>(stride);
    if (out.bits == 8) {
        const size_t n = out.palette.size();
        for (int r = 0; r < out.height; ++r) {
            const uint8_t* row = out.pixels.data() + static_cast<size_t>(r) * out.stride;
            for (int c = 0; c < out.width; ++c)
                if (row[c] >= n) {
                    out = __BMPImage{};
                    return false;
                }
        }
    }
    return true;
}

bool __WriteBMP24(const char* path, int width, int height, const uint8_t* rgb) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const int stride = (width * 3 + 3) / 4 * 4;
    const uint32_t pixelBytes = static_cast<uint32_t>(stride) * height;
    uint8_t head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, 54 + pixelBytes);
    Put32(head + 10, 54);
    Put32(head + 14, 40);
    Put32(head + 18, static_cast<uint32_t>(width));
    Put32(head + 22, static_cast<uint32_t>(height));
    Put16(head + 26, 1);
    Put16(head + 28, 24);
    Put32(head + 38, 10000);
    Put32(head + 42, 10000);
    bool ok = std::fwrite(head, 1, 54, f) == 54;
    std::vector<uint8_t> row(stride, 0);
    for (int y = 0; ok && y < height; ++y) {
        const uint8_t* src = rgb + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            row[x * 3] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
        ok = std::fwrite(row.data(), 1, stride, f) == static_cast<size_t>(stride);
    }
    return std::fclose(f) == 0 && ok;
}
