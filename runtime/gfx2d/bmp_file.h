// Internal: reading Windows bitmap files (8, 24 and 32 bits per pixel, uncompressed; 32-bit
// files may give their colours by bit masks). The information header may be any of
// the sizes from 40 bytes up; the palette follows it. Rows are always read bottom-up.
// Every size and offset is checked against the file: a file that is truncated,
// inconsistent, or holds a palette index beyond its palette is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct __BMPImage {
    int width = 0;   // absolute value of the header's width
    int height = 0;  // absolute value of the header's height
    int bits = 0;    // 8, 24 or 32
    int stride = 0;  // bytes per stored row
    std::vector<uint8_t> pixels;   // stride x height bytes, bottom row first; 32-bit
                                   // pixels as blue, green, red and an unused byte
    std::vector<uint32_t> palette; // R + 256 G + 65536 B per entry (8-bit files)

    // Colour (R + 256 G + 65536 B) of column c of row r counted from the top; the
    // position must lie inside the picture.
    uint32_t Colour(int c, int r) const;
};

// What the headers of a bitmap file say, checked against the file's size.
struct __BMPLayout {
    int64_t offset = 0;           // where the pixel rows start
    int width = 0, height = 0;    // absolute values
    int bits = 0;
    int64_t stride = 0;           // bytes per stored row
    std::vector<uint32_t> palette;
    bool masked = false;          // 32 bits with colour masks other than blue, green, red
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
};

// Reads a picture a row at a time, bottom row first, so that a large picture never
// has to be held whole.
class __BMPRowReader {
public:
    __BMPRowReader() = default;
    ~__BMPRowReader();
    __BMPRowReader(const __BMPRowReader&) = delete;
    __BMPRowReader& operator=(const __BMPRowReader&) = delete;

    // Reads the headers and the palette; false when the file cannot be read or is
    // not supported.
    bool Open(const char* path);
    int Width() const { return layout_.width; }
    int Height() const { return layout_.height; }
    // The colours (R + 256 G + 65536 B) of the next stored row, Width() of them; false
    // when the file ends early or a palette index lies beyond the palette.
    bool NextRow(uint32_t* colours);

private:
    FILE* file_ = nullptr;
    __BMPLayout layout_;
    std::vector<uint8_t> row_;
    int rowsRead_ = 0;
};

// Reads the whole picture; false when the file cannot be read or is not supported.
bool __ReadBMP(const char* path, __BMPImage& out);
// Width and height from the headers alone; false (0 and 0) when they cannot be read.
bool __ReadBMPSize(const char* path, int& width, int& height);
// Writes a 24-bit bitmap of width x height pixels given as RGB bytes, bottom row
// first, rows packed without padding. Returns false when the file cannot be made.
bool __WriteBMP24(const char* path, int width, int height, const uint8_t* rgbBottomUp);
