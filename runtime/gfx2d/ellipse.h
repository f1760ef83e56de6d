// Internal: which pixels a circle or an ellipse covers, worked out on the processor so
// that every renderer draws the very same ones (they only fill the rectangles handed to
// them).
//
// The ellipse with centre (cx, cy) and whole-pixel semi-axes rx, ry >= 0 covers the pixel
// at (cx + dx, cy + dy) when
//     (2 dx / (2 rx + 1))^2 + (2 dy / (2 ry + 1))^2 <= 1,
// the pixels whose centres lie within the ellipse half a pixel larger than the radii: so
// it reaches exactly rx pixels left and right of the centre and ry up and down, a radius
// 0 covers the centre's pixel alone, and a semi-axis 0 gives a line. Every row of it is
// one unbroken run symmetric about cx, and the shape is symmetric about cy too.
// The outline is the covered pixels of which one of the four neighbours (left, right,
// up, down) is not covered: it lies inside the filled shape, and is closed without a gap
// between pixels that touch at least by a corner.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx2d/drawing.h"

// Semi-axes are at most this (larger ones are taken as it), so that the exact sums stay
// within 128-bit integers.
constexpr int64_t __kMaxEllipseRadius = (int64_t{1} << 30) - 1;

// The pixels of the ellipse (filled, or its outline) that lie in the rectangle
// 0 ... w - 1, 0 ... h - 1, as rectangles from the top: each row's runs, a run that is
// the same on the rows below taken down with it. Each pixel belongs to exactly one
// rectangle. A negative semi-axis gives none. The work grows with h, not with the radii.
void __EllipseRects(int64_t cx, int64_t cy, int64_t rx, int64_t ry, bool filled, int w, int h,
                    std::vector<__PixelRect>& out);
