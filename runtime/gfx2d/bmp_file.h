// Reading Windows bitmap files (8, 24 and 32 bits per pixel, uncompressed). Rows are
// always read bottom-up. Every size and offset is checked against the file: a file
// that is truncated, inconsistent, or holds a palette index beyond its palette is
// refused.
#pragma once

#include <cstdint>
#include <vector>

struct __BMPImage {
    int width = 0;   // absolute value of the header's width
    int height = 0;  // absolute value of the header's height
    int bits = 0;    // 8, 24 or 32
    int stride = 0;  // bytes per stored row
    std::vector<uint8_t> pixels;   // stride x height bytes, bottom row first
    std::vector<uint32_t> palette; // R + 256 G + 65536 B per entry (8-bit files)

    // Colour (R + 256 G + 65536 B) of column c of row r counted from the top; the
    // position must lie inside the picture.
    uint32_t Colour(int c, int r) const;
};

// Reads the whole picture; false when the file cannot be read or is not supported.
bool __ReadBMP(const char* path, __BMPImage& out);
// Width and height from the headers alone; false (0 and 0) when they cannot be read.
bool __ReadBMPSize(const char* path, int& width, int& height);
// Writes a 24-bit bitmap of width x height pixels given as RGB bytes, bottom row
// first, rows packed without padding. Returns false when the file cannot be made.
bool __WriteBMP24(const char* path, int width, int height, const uint8_t* rgbBottomUp);
