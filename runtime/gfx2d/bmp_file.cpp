#include "gfx2d/bmp_file.h"

#include <algorithm>
#include <utility>

#include "core/byte_io.h"
#include "platform/files.h"

namespace {

// Largest picture side accepted: beyond this no texture could hold it anyway.
constexpr int64_t kLargestSide = 1 << 16;

// The colour (R + 256 G + 65536 B) of a stored pixel, whose bytes go blue, green, red.
uint32_t StoredColour(const uint8_t* p) { return p[2] | (p[1] << 8) | (p[0] << 16); }

// Channel value 0 ... 255 of a pixel under a mask of one run of set bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint64_t top = mask >> shift;
    const uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + top / 2) / top);
}

// The colour of a 32-bit pixel given by colour masks.
uint32_t MaskedColour(const uint8_t* p, const __BMPLayout& h) {
    const uint32_t v = Le32(p);
    return Channel(v, h.masks[0]) | (Channel(v, h.masks[1]) << 8) | (Channel(v, h.masks[2]) << 16);
}

// The file header and the information header, then everything the pixel rows need:
// format, row size, palette, colour masks. The information header declares its own
// size (40 bytes or more); it ends where the pixel data starts, inside the file.
bool ReadLayout(std::span<const uint8_t> file, __BMPLayout& h) {
    ByteReader r(file);
    const uint8_t* fh = r.Bytes(14);
    const uint8_t* ih = r.Bytes(40);
    if (!r.Ok() || fh[0] != 'B' || fh[1] != 'M') return false;
    const int64_t size = static_cast<int64_t>(file.size());
    h.offset = Le32(fh + 10);
    const uint32_t infoSize = Le32(ih);
    if (infoSize < 40 || 14 + static_cast<int64_t>(infoSize) > h.offset || h.offset > size) return false;
    const int32_t w = static_cast<int32_t>(Le32(ih + 4));
    const int32_t hh = static_cast<int32_t>(Le32(ih + 8));
    const int64_t width = w < 0 ? -static_cast<int64_t>(w) : w;
    const int64_t height = hh < 0 ? -static_cast<int64_t>(hh) : hh;
    if (width > kLargestSide || height > kLargestSide) return false;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    h.bits = Le16(ih + 14);
    const uint32_t compression = Le32(ih + 16);
    const uint32_t coloursUsed = Le32(ih + 32);

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
        if (at + 12 > h.offset) return false;
        for (int k = 0; k < 3; ++k) {
            const uint32_t mask = Le32(file.data() + at + 4 * k);
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
        const uint8_t* pal = file.data() + infoEnd;
        for (int64_t i = 0; i < entries; ++i)
            h.palette.push_back(pal[i * 4 + 2] | (pal[i * 4 + 1] << 8) | (pal[i * 4] << 16));
    }
    return true;
}

}  // namespace

bool __BMPImage::Open(std::vector<uint8_t> file) {
    Release();
    __BMPLayout layout;
    if (!ReadLayout(file, layout)) return false;
    bytes_ = std::move(file);
    layout_ = std::move(layout);
    return true;
}

bool __BMPImage::IndicesInPalette() const {
    for (int k = 0; layout_.bits == 8 && k < layout_.height; ++k) {
        const uint8_t* row = StoredRow(k);
        for (int c = 0; c < layout_.width; ++c)
            if (row[c] >= layout_.palette.size()) return false;
    }
    return true;
}

void __BMPImage::Colours(int r, int from, int count, uint32_t* out) const {
    const uint8_t* p = StoredRow(layout_.height - 1 - r) + static_cast<size_t>(from) * (layout_.bits / 8);
    if (layout_.bits == 8) {
        const size_t entries = layout_.palette.size();
        for (int c = 0; c < count; ++c) out[c] = p[c] < entries ? layout_.palette[p[c]] : 0;
    } else if (layout_.masked) {
        for (int c = 0; c < count; ++c, p += 4) out[c] = MaskedColour(p, layout_);
    } else {
        const int step = layout_.bits / 8;
        for (int c = 0; c < count; ++c, p += step) out[c] = StoredColour(p);
    }
}

std::vector<uint8_t> __BMP24Bytes(int width, int height, const uint8_t* rgb) {
    const int stride = (width * 3 + 3) / 4 * 4;
    const uint32_t pixelBytes = static_cast<uint32_t>(stride) * height;
    ByteWriter w;
    w.Text("BM").U32(54 + pixelBytes).U32(0).U32(54);  // file header: size, reserved, pixel offset
    w.U32(40).I32(width).I32(height).U16(1).U16(24);      // information header: 24 bits, one plane,
    w.U32(0).U32(0).U32(10000).U32(10000).U32(0).U32(0);  // no compression, 10000 pixels a metre
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgb + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            row[x * 3] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
        w.Bytes(row.data(), row.size());
    }
    return w.Take();
}

bool __WriteBMP24(const char* path, int width, int height, const uint8_t* rgb) {
    const std::vector<uint8_t> bytes = __BMP24Bytes(width, height, rgb);
    return plat::WriteWholeFile(path, bytes.data(), bytes.size());
}
