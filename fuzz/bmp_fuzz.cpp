// Bitmap files: the size query, the full read that backgrounds load through (every
// pixel fetched through Colour()), and the row reader that sprites and fonts load
// through. A picture that reads must agree with its own headers, and both readers
// must give the same colours.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    int width = 0, height = 0;
    const bool sized = __ReadBMPSize(path, width, height);

    __BMPImage image;
    const bool whole = __ReadBMP(path, image);
    __BMPRowReader rows;
    const bool opened = rows.Open(path);
    if (whole && (!opened || !sized || width != image.width || height != image.height)) std::abort();
    if (!whole) {
        // A damaged picture may still open: its rows are read until the damage shows.
        std::vector<uint32_t> row(opened ? static_cast<size_t>(rows.Width()) : 0);
        while (opened && rows.NextRow(row.data())) {
        }
        return 0;
    }
    if (image.pixels.size() != static_cast<size_t>(image.stride) * image.height) std::abort();
    std::vector<uint32_t> row(static_cast<size_t>(image.width));
    for (int r = image.height - 1; r >= 0; --r) {  // stored rows come bottom first
        if (!rows.NextRow(row.data())) std::abort();
        for (int c = 0; c < image.width; ++c)
            if (image.Colour(c, r) != row[c] || row[c] > 0xFFFFFF) std::abort();
    }
    return 0;
}
