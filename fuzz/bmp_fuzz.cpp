// Bitmap files: the header and layout checks every picture loader runs, every pixel
// read both whole rows and one at a time (which must agree), and the copy into
// texels with the key colour, a region reaching past the picture's edges, the mip
// levels and the normal map.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "gfx2d/texels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    __BMPImage image;
    if (!image.Open(std::vector<uint8_t>(data, data + size))) {
        if (image.Width() != 0 || image.Height() != 0) std::abort();
        return 0;
    }
    image.IndicesInPalette();  // the loaders refuse a picture without it; any answer will do here
    const int w = image.Width(), h = image.Height();
    if (w < 1 || h < 1 || (image.Bits() != 8 && image.Bits() != 24 && image.Bits() != 32)) std::abort();
    std::vector<uint32_t> row(static_cast<size_t>(w));
    for (int r = 0; r < h; ++r) {
        image.Colours(r, 0, w, row.data());
        for (int c = 0; c < w; ++c)
            if (row[c] > 0xFFFFFF || image.Colour(c, r) != row[c]) std::abort();
    }
    // A region one pixel beyond the top-left corner, at most 64 x 64.
    const int rw = std::min(w + 2, 64), rh = std::min(h + 2, 64);
    const int pw = __PowerOfTwo(rw), ph = __PowerOfTwo(rh);
    __TexelBuffer texels(static_cast<size_t>(pw) * ph * 4);
    if (!texels.data()) std::abort();
    __PictureToTexels(image, -1, -1, rw, rh, texels.data(), pw, 0x8000FF, true);
    for (int x = 0; x < pw; ++x)  // the region's first row lies above the picture
        if (texels.data()[(static_cast<size_t>(rh - 1) * pw + x) * 4 + 3] != 0) std::abort();
    __MakeNormalMap(texels.data(), pw, ph);
    for (int lw = pw, lh = ph; lw > 1 || lh > 1;) {
        const int nw = lw > 1 ? lw / 2 : 1, nh = lh > 1 ? lh / 2 : 1;
        __NextMipLevelInPlace(texels.data(), lw, nw, nh);
        lw = nw;
        lh = nh;
    }
    return 0;
}
