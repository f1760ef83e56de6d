// Internal: Windows bitmap files (8, 24 and 32 bits per pixel, uncompressed; 32-bit files
// may give their colours by bit masks), read from a file's bytes and written as 24-bit
// files. The information header may be any of the sizes from 40 bytes up; the palette
// follows it. Rows are always read bottom-up. Every size and offset is checked against
// the bytes: a file that is truncated, inconsistent, or holds a palette index beyond
// its palette is refused.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// What the headers of a bitmap file say, checked against the file's size.
struct __BMPLayout {
    int64_t offset = 0;  // where the pixel rows start
    int width = 0, height = 0;  // absolute values
    int bits = 0;
    int64_t stride = 0;  // bytes per stored row
    std::vector<uint32_t> palette;  // R + 256 G + 65536 B per entry (8-bit files)
    bool masked = false;  // 32 bits with colour masks other than blue, green, red
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
};

// A bitmap file held in memory: its bytes, and the layout its headers give. The
// pixels are read from the bytes where they lie, a row or a pixel at a time.
class __BMPImage {
public:
    // Takes the file's bytes and reads the headers; false (and an empty image) when they
    // are not a bitmap of a supported kind.
    bool Open(std::vector<uint8_t> file);
    // Drops the bytes (and the picture).
    void Release() { *this = __BMPImage{}; }

    int Width() const { return layout_.width; }
    int Height() const { return layout_.height; }
    int Bits() const { return layout_.bits; }
    // Every palette index of an 8-bit picture lies inside its palette (other pictures:
    // true). Loaders refuse a picture without it.
    bool IndicesInPalette() const;
    // The colours (R + 256 G + 65536 B) of `count` pixels from column `from` on of row r
    // counted from the top; the pixels must lie inside the picture. An index beyond the
    // palette reads as black.
    void Colours(int r, int from, int count, uint32_t* out) const;
    uint32_t Colour(int c, int r) const {
        uint32_t colour;
        Colours(r, c, 1, &colour);
        return colour;
    }

private:
    const uint8_t* StoredRow(int k) const { return bytes_.data() + layout_.offset + k * layout_.stride; }
    std::vector<uint8_t> bytes_;
    __BMPLayout layout_;
};

// The 24-bit bitmap file of width x height pixels given as RGB bytes, bottom row
// first, rows packed without padding.
std::vector<uint8_t> __BMP24Bytes(int width, int height, const uint8_t* rgbBottomUp);
// Writes it; false when the file cannot be made or written.
bool __WriteBMP24(const char* path, int width, int height, const uint8_t* rgbBottomUp);
