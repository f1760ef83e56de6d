// Internal: a line of any width as two triangles, so that it looks the same wherever it
// is drawn (WebGL draws no line wider than one pixel, desktop GL draws them its own way).
#pragma once

#include <cstdint>
#include <vector>

#include "gfx3d/lit_program.h"

// The line from world point a to world point b, `width` pixels wide across its
// direction on the screen, appended to `out` as two triangles of points in normalised
// device coordinates (to be drawn with identity matrices, without culling). `matrix`
// (column by column) takes world points to clip coordinates; the viewport is w x h
// pixels. What lies before the near plane is cut off; nothing is appended when all of
// the line does, or when the viewport is empty.
void __WideLine(const float (&matrix)[16], const float a[3], const float b[3], float width, int w, int h,
                uint32_t colour, std::vector<__LitVertex>& out);
