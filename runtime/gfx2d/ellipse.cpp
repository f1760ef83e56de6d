#include "gfx2d/ellipse.h"

#include <algorithm>
#include <cmath>

namespace {

// Exact sums of squares of numbers up to 2^31: below 2^126.
__extension__ typedef __int128 Wide;

// The ellipse's semi-axes as the sums need them: A = (2 rx + 1)^2, B = (2 ry + 1)^2.
struct Axes {
    int64_t rx, ry;
    Wide a, b;
};

// Half the width of row dy: the largest dx with 4 dx^2 B + 4 dy^2 A <= A B, that is
// dx^2 <= A (B - 4 dy^2) / (4 B); -1 for a row outside the ellipse.
int64_t HalfWidth(const Axes& e, int64_t dy) {
    if (dy < -e.ry || dy > e.ry) return -1;
    const Wide num = e.a * (e.b - Wide{4} * dy * dy), den = Wide{4} * e.b;
    // A close guess, then made exact in integers.
    int64_t w = static_cast<int64_t>(std::sqrt(static_cast<double>(num) / static_cast<double>(den)));
    w = std::clamp<int64_t>(w, 0, e.rx);
    while (w > 0 && Wide{w} * w * den > num) --w;
    while (w < e.rx && Wide{w + 1} * (w + 1) * den <= num) ++w;
    return w;
}

// Collects the runs row by row: a run equal to one that ended the row above extends
// that rectangle down, any other starts a new one.
class Runs {
public:
    Runs(int w, std::vector<__PixelRect>& out) : w_(w), out_(out) {}

    void NextRow() {
        above_ = row_;
        row_.clear();
    }
    // The part of x0 ... x1 of row y that lies in 0 ... w - 1.
    void Add(int64_t y, int64_t x0, int64_t x1) {
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, w_ - 1);
        if (x0 > x1) return;
        for (size_t i : above_) {
            __PixelRect& r = out_[i];
            if (r.x0 == x0 && r.x1 == x1) {
                r.y1 = static_cast<short>(y);
                row_.push_back(i);
                return;
            }
        }
        const short top = static_cast<short>(y);
        out_.push_back({static_cast<short>(x0), top, static_cast<short>(x1), top});
        row_.push_back(out_.size() - 1);
    }

private:
    int w_;
    std::vector<__PixelRect>& out_;
    std::vector<size_t> above_, row_;  // the rectangles that end on the row above, on this row
};

}  // namespace

void __EllipseRects(int64_t cx, int64_t cy, int64_t rx, int64_t ry, bool filled, int w, int h,
                    std::vector<__PixelRect>& out) {
    out.clear();
    if (rx < 0 || ry < 0 || w < 1 || h < 1) return;
    w = std::min(w, 32767);
    h = std::min(h, 32767);
    Axes e{std::min(rx, __kMaxEllipseRadius), std::min(ry, __kMaxEllipseRadius), 0, 0};
    e.a = Wide{2 * e.rx + 1} * (2 * e.rx + 1);
    e.b = Wide{2 * e.ry + 1} * (2 * e.ry + 1);
    // A centre this far out leaves every row of an ellipse of the largest size unseen.
    constexpr int64_t kFar = int64_t{1} << 40;
    cx = std::clamp(cx, -kFar, kFar);
    cy = std::clamp(cy, -kFar, kFar);
    const int64_t top = std::max<int64_t>(cy - e.ry, 0), bottom = std::min<int64_t>(cy + e.ry, h - 1);
    Runs runs(w, out);
    for (int64_t y = top; y <= bottom; ++y) {
        runs.NextRow();
        const int64_t dy = y - cy, half = HalfWidth(e, dy);
        // Pixels 0 ... inner - 1 from the centre have both their upper and lower
        // neighbours covered; the outline keeps the rest (and the row's two ends).
        int64_t inner = 0;
        if (!filled) inner = std::min(std::min(HalfWidth(e, dy - 1), HalfWidth(e, dy + 1)) + 1, half);
        if (inner == 0) {
            runs.Add(y, cx - half, cx + half);
        } else {
            runs.Add(y, cx - half, cx - inner);
            runs.Add(y, cx + inner, cx + half);
        }
    }
}
