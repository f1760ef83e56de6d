// Untextured drawing, polygons and the background cross-fade. Colours are
// R + 256 G + 65536 B; the key colour 0x8000FF draws with alpha 0.
#pragma once

#include "core/dqstr.h"

double SETPIXEL(double x, double y, double colour);
// Both end pixels are drawn.
double DRAWLINE(double x1, double y1, double x2, double y2, double colour);
// Fills columns min(x1, x2) ... max(x1, x2) - 1 and the rows likewise.
double FILLRECT(double x1, double y1, double x2, double y2, double colour);
// A polygon: STARTPOLY(sprite or -1), then POLYVECTOR for each corner (texture
// coordinates as fractions of the sprite's texture from its top-left corner), then
// ENDPOLY draws it as a fan around the first corner. ENDPOLY may draw it again.
double STARTPOLY(double nr);
double POLYVECTOR(double x, double y, double tx, double ty, double colour);
double ENDPOLY();
// Cross-fades from the present screen to the bitmap over about 50 frames; the bitmap
// then becomes the background. A file that is found but cannot be loaded ends the
// program with code 3.
double BLENDSCREEN(DQStr file);
