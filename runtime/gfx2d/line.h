// Internal: which pixels a line covers, worked out on the processor so that every
// renderer draws the very same ones (GL implementations differ in which end pixels of a
// line they leave out; they only fill the rectangles handed to them).
//
// The line from (x1, y1) to (x2, y2) covers one pixel in each column (a line at most
// 45 degrees from the horizontal) or in each row (a steeper one) from one end to the
// other, both ends included: the pixel nearest to the line there (Bresenham's choice,
// walked from the end with the lower coordinate on the longer axis).
#pragma once

#include <vector>

#include "gfx2d/drawing.h"

// The line's pixels that lie in the rectangle 0 ... w - 1, 0 ... h - 1, as rectangles
// from the first end on: each run of pixels in one row (a flat line) or one column (a
// steep line) one rectangle. Each pixel belongs to exactly one rectangle.
void __LineRects(int x1, int y1, int x2, int y2, int w, int h, std::vector<__PixelRect>& out);
