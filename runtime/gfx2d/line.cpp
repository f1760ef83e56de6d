#include "gfx2d/line.h"

#include <cstdlib>
#include <utility>

void __LineRects(int x1, int y1, int x2, int y2, int w, int h, std::vector<__PixelRect>& out) {
    out.clear();
    // Walked along the major axis (a), the minor one (b) following; coordinates are
    // 16-bit, so every sum fits.
    const bool steep = std::abs(y2 - y1) > std::abs(x2 - x1);
    int a1 = steep ? y1 : x1, b1 = steep ? x1 : y1, a2 = steep ? y2 : x2, b2 = steep ? x2 : y2;
    if (a1 > a2) {
        std::swap(a1, a2);
        std::swap(b1, b2);
    }
    const int da = a2 - a1, db = std::abs(b2 - b1), step = b2 > b1 ? 1 : -1;
    const int aLimit = steep ? h : w, bLimit = steep ? w : h;
    // The run so far: from a `from` to the present a, at b.
    int b = b1, error = 2 * db - da, from = a1;
    auto flush = [&](int to) {
        if (b < 0 || b >= bLimit) return;
        const int lo = from < 0 ? 0 : from, hi = to >= aLimit ? aLimit - 1 : to;
        if (lo > hi) return;
        const short sb = static_cast<short>(b), slo = static_cast<short>(lo), shi = static_cast<short>(hi);
        out.push_back(steep ? __PixelRect{sb, slo, sb, shi} : __PixelRect{slo, sb, shi, sb});
    };
    for (int a = a1; a < a2; ++a) {
        // The next pixel steps on the minor axis when the line passes its midpoint.
        if (error > 0) {
            flush(a);
            b += step;
            from = a + 1;
            error -= 2 * da;
        }
        error += 2 * db;
    }
    flush(a2);
}
