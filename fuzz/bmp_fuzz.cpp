// Bitmap files: the size query and the full read that every sprite, surface and font
// load runs, then every pixel fetched through Colour() the way the texture builder
// does. A picture that reads must agree with its own headers.
#include <cstdint>
#include <cstdlib>

#include "gfx2d/bmp_file.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    int width = 0, height = 0;
    const bool sized = __ReadBMPSize(path, width, height);

    __BMPImage image;
    if (!__ReadBMP(path, image)) return 0;
    if (!sized || width != image.width || height != image.height) std::abort();
    if (image.pixels.size() != static_cast<size_t>(image.stride) * image.height) std::abort();
    uint32_t mix = 0;
    for (int r = 0; r < image.height; ++r)
        for (int c = 0; c < image.width; ++c) mix ^= image.Colour(c, r);
    if (mix > 0xFFFFFF) std::abort();  // colours are 24-bit
    return 0;
}
