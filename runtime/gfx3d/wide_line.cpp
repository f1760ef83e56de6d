#include "gfx3d/wide_line.h"

#include <cmath>

namespace {

void ToClip(const float (&m)[16], const float p[3], float out[4]) {
    for (int row = 0; row < 4; ++row) out[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
}

}  // namespace

void __WideLine(const float (&matrix)[16], const float a[3], const float b[3], float width, int w, int h,
                uint32_t colour, std::vector<__LitVertex>& out) {
    if (w < 1 || h < 1 || !(width > 0)) return;
    float ca[4], cb[4];
    ToClip(matrix, a, ca);
    ToClip(matrix, b, cb);
    // The near plane is z = -w in clip coordinates: keep the part with z + w >= 0.
    const float da = ca[2] + ca[3], db = cb[2] + cb[3];
    if (!(da >= 0) && !(db >= 0)) return;
    if (!(da >= 0) || !(db >= 0)) {
        const float t = da / (da - db);
        float* moved = da >= 0 ? cb : ca;
        for (int k = 0; k < 4; ++k) moved[k] = ca[k] + (cb[k] - ca[k]) * t;
    }
    if (!(ca[3] > 0) || !(cb[3] > 0)) return;
    float na[3], nb[3];
    for (int k = 0; k < 3; ++k) {
        na[k] = ca[k] / ca[3];
        nb[k] = cb[k] / cb[3];
    }
    // Across the line on the screen, half the width each way, in device coordinates.
    float dx = (nb[0] - na[0]) * w / 2, dy = (nb[1] - na[1]) * h / 2;
    const float len = std::sqrt(dx * dx + dy * dy);
    if (len > 0) {
        dx /= len;
        dy /= len;
    } else {
        dx = 1;
        dy = 0;
    }
    const float ox = -dy * width / w, oy = dx * width / h;  // (width / 2 pixels) x (2 / size)
    auto corner = [&](const float* n, float side) {
        return __LitVertex{{n[0] + side * ox, n[1] + side * oy, n[2]}, {0, 0, 1}, {0, 0}, colour};
    };
    const __LitVertex a0 = corner(na, -1), a1 = corner(na, 1), b0 = corner(nb, -1), b1 = corner(nb, 1);
    out.insert(out.end(), {a0, b0, b1, a0, b1, a1});
}
