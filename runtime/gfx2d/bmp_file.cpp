#include "gfx2d/bmp_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Largest picture side accepted: beyond this no texture could hold it anyway.
constexpr int64_t kLargestSide = 1 << 16;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
// The colour (R + 256 G + 65536 B) of a stored pixel, whose bytes go blue, green, red.
uint32_t StoredColour(const uint8_t* p) { return p[2] | (p[1] << 8) | (p[0] << 16); }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

long FileSize(FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return n;
}

// The file header and the information header. The information header declares its
// own size (40 bytes or more); it ends where the pixel data starts, inside the file.
bool ReadHeaders(FILE* f, long fileSize, __BMPLayout& h, uint32_t& infoSize, uint32_t& compression,
                 uint32_t& coloursUsed) {
    uint8_t fh[14];
    if (std::fread(fh, 1, 14, f) != 14 || fh[0] != 'B' || fh[1] != 'M') return false;
    h.offset = Le32(fh + 10);
    uint8_t ih[40];
    if (std::fread(ih, 1, 40, f) != 40) return false;
    infoSize = Le32(ih);
    if (infoSize < 40 || 14 + static_cast<int64_t>(infoSize) > h.offset || h.offset > fileSize) return false;
    const int32_t w = static_cast<int32_t>(Le32(ih + 4));
    const int32_t hh = static_cast<int32_t>(Le32(ih + 8));
    const int64_t width = w < 0 ? -static_cast<int64_t>(w) : w;
    const int64_t height = hh < 0 ? -static_cast<int64_t>(hh) : hh;
    if (width > kLargestSide || height > kLargestSide) return false;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    h.bits = Le16(ih + 14);
    compression = Le32(ih + 16);
    coloursUsed = Le32(ih + 32);
    return true;
}

// Everything the pixel rows need: format, row size, palette, colour masks. The file
// is left at the start of the pixel data.
bool ReadLayout(FILE* f, __BMPLayout& h) {
    const long size = FileSize(f);
    uint32_t infoSize = 0, compression = 0, coloursUsed = 0;
    if (size <= 0 || !ReadHeaders(f, size, h, infoSize, compression, coloursUsed)) return false;
    if (h.bits != 8 && h.bits != 24 && h.bits != 32) return false;
    if (h.width < 1 || h.height < 1) return false;
    h.stride = (static_cast<int64_t>(h.width) * (h.bits / 8) + 3) / 4 * 4;
    if (h.offset + h.stride * h.height > size) return false;
    const int64_t infoEnd = 14 + static_cast<int64_t>(infoSize);
    // 32-bit pixels may give their colours by masks (compression 3, or 6 with an alpha
    // mask): inside the information header when it has room for them, else right
    // after it. Anything else compressed is not supported.
    constexpr uint32_t kBitFields = 3, kAlphaBitFields = 6;
    if (h.bits == 32 && (compression == kBitFields || compression == kAlphaBitFields)) {
        const int64_t at = infoSize >= 52 ? 14 + 40 : infoEnd;
        uint8_t m[12];
        if (at + 12 > h.offset || std::fseek(f, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(m, 1, 12, f) != 12)
            return false;
        for (int k = 0; k < 3; ++k) {
            const uint32_t mask = Le32(m + 4 * k);
            // Each mask must be one run of set bits.
            const uint32_t low = mask & (~mask + 1);
            if (mask == 0 || ((mask + low) & mask) != 0) return false;
            h.masks[k] = mask;
        }
        h.masked = !(h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF);
    } else if (compression != 0) {
        return false;
    }
    if (h.bits == 8) {
        // The palette follows the information header and ends where the pixel data
        // starts; a count of 0 means all 256 colours.
        int64_t entries = coloursUsed == 0 || coloursUsed > 256 ? 256 : coloursUsed;
        entries = std::min<int64_t>(entries, (h.offset - infoEnd) / 4);
        if (entries < 1) return false;
        std::vector<uint8_t> pal(static_cast<size_t>(entries) * 4);
        if (std::fseek(f, static_cast<long>(infoEnd), SEEK_SET) != 0 ||
            std::fread(pal.data(), 1, pal.size(), f) != pal.size())
            return false;
        for (int64_t i = 0; i < entries; ++i)
            h.palette.push_back(pal[i * 4 + 2] | (pal[i * 4 + 1] << 8) | (pal[i * 4] << 16));
    }
    return std::fseek(f, static_cast<long>(h.offset), SEEK_SET) == 0;
}

// Channel value 0 ... 255 of a pixel under a mask of one run of set bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint64_t top = mask >> shift;
    const uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + top / 2) / top);
}

// Rewrites a stored row of 32-bit pixels with colour masks as blue, green, red and an
// unused byte.
void UnmaskRow(uint8_t* row, int width, const __BMPLayout& h) {
    for (int c = 0; c < width; ++c) {
        uint8_t* p = row + static_cast<size_t>(c) * 4;
        const uint32_t v = Le32(p);
        p[0] = static_cast<uint8_t>(Channel(v, h.masks[2]));
        p[1] = static_cast<uint8_t>(Channel(v, h.masks[1]));
        p[2] = static_cast<uint8_t>(Channel(v, h.masks[0]));
        p[3] = 0;
    }
}

bool IndicesInPalette(const uint8_t* row, int width, size_t entries) {
    for (int c = 0; c < width; ++c)
        if (row[c] >= entries) return false;
    return true;
}

}  // namespace

uint32_t __BMPImage::Colour(int c, int r) const {
    const uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - r) * stride;
    if (bits == 8) return palette[row[c]];
    return StoredColour(row + static_cast<size_t>(c) * (bits / 8));
}

bool __ReadBMPSize(const char* path, int& width, int& height) {
    width = height = 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    __BMPLayout h;
    uint32_t infoSize = 0, compression = 0, coloursUsed = 0;
    long size = FileSize(f);
    bool ok = size > 0 && ReadHeaders(f, size, h, infoSize, compression, coloursUsed);
    std::fclose(f);
    if (!ok) return false;
    width = h.width;
    height = h.height;
    return true;
}

bool __ReadBMP(const char* path, __BMPImage& out) {
    out = __BMPImage{};
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    __BMPLayout h;
    bool ok = ReadLayout(f, h);
    if (ok) {
        out.pixels.resize(static_cast<size_t>(h.stride * h.height));
        ok = std::fread(out.pixels.data(), 1, out.pixels.size(), f) == out.pixels.size();
    }
    std::fclose(f);
    for (int r = 0; ok && r < h.height; ++r) {
        uint8_t* row = out.pixels.data() + static_cast<size_t>(r) * h.stride;
        if (h.masked) UnmaskRow(row, h.width, h);
        if (h.bits == 8) ok = IndicesInPalette(row, h.width, h.palette.size());
    }
    if (!ok) {
        out = __BMPImage{};
        return false;
    }
    out.width = h.width;
    out.height = h.height;
    out.bits = h.bits;
    out.stride = static_cast<int>(h.stride);
    out.palette = std::move(h.palette);
    return true;
}

__BMPRowReader::~__BMPRowReader() {
    if (file_) std::fclose(file_);
}

bool __BMPRowReader::Open(const char* path) {
    if (file_) std::fclose(file_);
    layout_ = __BMPLayout{};
    rowsRead_ = 0;
    file_ = std::fopen(path, "rb");
    if (!file_) return false;
    if (!ReadLayout(file_, layout_)) {
        std::fclose(file_);
        file_ = nullptr;
        layout_ = __BMPLayout{};
        return false;
    }
    row_.assign(static_cast<size_t>(layout_.stride), 0);
    return true;
}

bool __BMPRowReader::NextRow(uint32_t* colours) {
    if (!file_ || rowsRead_ >= layout_.height) return false;
    if (std::fread(row_.data(), 1, row_.size(), file_) != row_.size()) return false;
    ++rowsRead_;
    const int w = layout_.width;
    const uint8_t* row = row_.data();
    if (layout_.bits == 8) {
        if (!IndicesInPalette(row, w, layout_.palette.size())) return false;
        for (int c = 0; c < w; ++c) colours[c] = layout_.palette[row[c]];
        return true;
    }
    if (layout_.masked) UnmaskRow(row_.data(), w, layout_);
    const int step = layout_.bits / 8;
    for (int c = 0; c < w; ++c, row += step) colours[c] = StoredColour(row);
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
