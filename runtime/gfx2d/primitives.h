// Untextured drawing, polygons and the background cross-fade. Colours are
// R + 256 G + 65536 B; the key colour 0x8000FF draws with alpha 0.
#pragma once

#include "core/dqstr.h"

double SETPIXEL(double x, double y, double colour);
// Both end pixels are drawn.
double DRAWLINE(double x1, double y1, double x2, double y2, double colour);
// Fills columns min(x1, x2) ... max(x1, x2) - 1 and the rows likewise.
double FILLRECT(double x1, double y1, double x2, double y2, double colour);
// Circles and ellipses around the centre (x, y), filled or outlined: the pixels of
// gfx2d/ellipse.h (they reach exactly radius pixels from the centre each way; radius 0
// is the centre's pixel, a negative one draws nothing; radii are truncated, and taken
// as at most 1073741823). Every pixel is drawn once, so blending lights each alike.
double DRAWCIRCLE(double x, double y, double radius, double colour);
double FILLCIRCLE(double x, double y, double radius, double colour);
double DRAWELLIPSE(double x, double y, double rx, double ry, double colour);
double FILLELLIPSE(double x, double y, double rx, double ry, double colour);
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
