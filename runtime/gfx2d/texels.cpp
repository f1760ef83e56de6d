#include "gfx2d/texels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gfx2d/bmp_file.h"

int __PowerOfTwo(int n) {
    int p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}

void __PictureToTexels(const __BMPImage& picture, int x, int y, int w, int h, uint8_t* texels, int pw,
                       uint32_t key, bool useKey) {
    // Only the columns of the region inside the picture are read.
    const int c0 = std::max(0, -x), c1 = std::min(w, picture.Width() - x);
    std::vector<uint32_t> row(static_cast<size_t>(std::max(c1 - c0, 0)));
    for (int r = 0; r < h && c0 < c1; ++r) {
        const int sy = y + r;
        if (sy < 0 || sy >= picture.Height()) continue;
        picture.Colours(sy, x + c0, c1 - c0, row.data());
        uint8_t* dst = texels + (static_cast<size_t>(h - 1 - r) * pw + c0) * 4;
        for (const uint32_t rgb : row) {
            // The key colour stays (0, 0, 0, 0), which the zeroed buffer already holds.
            if (!useKey || rgb != key) {
                dst[0] = rgb & 0xFF;
                dst[1] = (rgb >> 8) & 0xFF;
                dst[2] = (rgb >> 16) & 0xFF;
                dst[3] = 255;
            }
            dst += 4;
        }
    }
}

// Texel i of the new level reads only texels at i or later of the old one, so going
// in row order never overwrites a texel still to be read.
void __NextMipLevelInPlace(uint8_t* texels, int w, int nw, int nh) {
    auto at = [&](int x, int y, int ch) { return static_cast<int>(texels[(static_cast<size_t>(y) * w + x) * 4 + ch]); };
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            const bool useB = x < nw - 1, useD = y < nh - 1;
            int v[4];
            for (int ch = 0; ch < 4; ++ch) {
                const int a = at(2 * x, 2 * y, ch);
                if (useB && useD)
                    v[ch] = (4 * a + 2 * at(2 * x + 1, 2 * y, ch) + 2 * at(2 * x + 1, 2 * y + 2, ch) +
                             at(2 * x, 2 * y + 2, ch)) / 9;
                else if (useB)
                    v[ch] = (2 * a + at(2 * x + 1, 2 * y, ch)) / 3;
                else if (useD)
                    v[ch] = (2 * a + at(2 * x, 2 * y + 2, ch)) / 3;
                else
                    v[ch] = a;
            }
            uint8_t* out = &texels[(static_cast<size_t>(y) * nw + x) * 4];
            for (int ch = 0; ch < 4; ++ch) out[ch] = static_cast<uint8_t>(v[ch]);
        }
}

// Every texel sees the heights as they were before: the rows around the one being
// rewritten are kept aside.
void __MakeNormalMap(uint8_t* texels, int w, int h) {
    std::vector<uint8_t> first(w), above(w), here(w), below(w);
    auto blues = [&](int row, std::vector<uint8_t>& out) {
        for (int x = 0; x < w; ++x) out[x] = texels[(static_cast<size_t>(row) * w + x) * 4 + 2];
    };
    blues(0, first);
    blues(h - 1, above);
    here = first;
    for (int y = 0; y < h; ++y) {
        if (y + 1 < h)
            blues(y + 1, below);
        else
            below = first;
        auto height = [&](const std::vector<uint8_t>& row, int x) {
            x = (x % w + w) % w;
            return row[x] / 255.0f;
        };
        for (int x = 0; x < w; ++x) {
            float left = height(above, x - 1) + 2 * height(here, x - 1) + height(below, x - 1);
            float right = height(above, x + 1) + 2 * height(here, x + 1) + height(below, x + 1);
            float gx = left - right;
            float gy = (height(below, x - 1) + 2 * height(below, x) + height(below, x + 1)) -
                       (height(above, x - 1) + 2 * height(above, x) + height(above, x + 1));
            float s = std::sqrt(gx * gx + gy * gy + 1.0f);
            float k = 1.0f / s;
            uint8_t* t = &texels[(static_cast<size_t>(y) * w + x) * 4];
            t[0] = static_cast<uint8_t>((gx * k + 1) * 0.5f * 255);
            t[1] = static_cast<uint8_t>((gy * k + 1) * 0.5f * 255);
            t[2] = static_cast<uint8_t>((k + 1) * 0.5f * 255);
        }
        above.swap(here);
        here.swap(below);
    }
}
