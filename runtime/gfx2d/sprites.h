// Sprite commands: loading, drawing, blending and collision. Sprite numbers 0 ... 4094
// (slots 4079 ... 4094 hold fonts 0 ... 15); numbers outside the table are ignored. Coordinates
// are pixels from the viewport's top-left corner, y downwards.
#pragma once

#include "core/dqstr.h"

// Loads a bitmap into a sprite slot; the colour 0x8000FF (R 255, G 0, B 128) is
// transparent. A name found nowhere leaves the slot as it was; a file that cannot be
// read leaves it empty.
double LOADSPRITE(DQStr file, double nr);
// As LOADSPRITE, the picture's blue channel read as heights and turned into a normal map.
double LOADBUMPTEXTURE(DQStr file, double nr);
// Loads a bitmap as the background drawn behind every frame and draws it at once. A
// file that is found but cannot be loaded ends the program with code 3.
double LOADBMP(DQStr file);
// The screen rectangle becomes sprite nr.
double GRABSPRITE(double nr, double x, double y, double w, double h);
// The back buffer becomes the background.
double USEASBMP();
// Writes the back buffer as a 24-bit bitmap.
double SAVEBMP(DQStr file);

// The picture's width and height in pixels; 0, 0 for an empty slot or a number
// outside the table.
double GETSPRITESIZE(double nr, double& w, double& h);

double SPRITE(double nr, double x, double y);
// A negative width or height draws nothing.
double STRETCHSPRITE(double nr, double x, double y, double w, double h);
// Zooms about the centre where SPRITE(nr, x, y) would put it; negative factors
// zoom like positive ones.
double ZOOMSPRITE(double nr, double x, double y, double zx, double zy);
double ROTOSPRITE(double nr, double x, double y, double angle);
double ROTOZOOMSPRITE(double nr, double x, double y, double angle, double zoom);
// 0: opaque; f > 0: additive with f; f < 0: multiplicative with -f (|f| at most 1).
double ALPHAMODE(double f);
// result = 1 when the rectangles overlap or touch, else 0.
double BOXCOLL(double& result, double x1, double y1, double w1, double h1, double x2, double y2, double w2,
               double h2);
// 1 when opaque pixels of the two sprites overlap.
double SPRCOLL(double nr1, double x1, double y1, double nr2, double x2, double y2);
