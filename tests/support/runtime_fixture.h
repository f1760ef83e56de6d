// Starts the runtime (window, GL context, service objects) once per test process.
#pragma once

#include <cstdint>
#include <vector>

void StartRuntimeOnce();

// RGB of the pixel at (x, y) of the back buffer, y counted from the top.
uint32_t ReadPixel(int x, int y);
// Fills the rectangle in viewport coordinates with one colour (red + 256 green +
// 65536 blue), drawing straight through GL.
void DrawRect(int x, int y, int w, int h, uint32_t rgb);
