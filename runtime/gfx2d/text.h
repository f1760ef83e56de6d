// Text with bitmap fonts: a font is a picture of 16 x 8 equal cells holding the
// characters 0 ... 127 in code order (row 0 at the top: codes 0 ... 15). Black is
// transparent. Fonts 0 ... 15; font 0 is the built-in "Smalfont.bmp".
#pragma once

#include "core/dqstr.h"

// The current font, 0 ... 15: the one PRINT and INPUT draw with.
extern int __nCurFont;

// Selects font nr (clamped to 0 ... 15) and loads the file into it. A file that is
// found but cannot be loaded ends the program with code 3.
double LOADFONT(DQStr file, double nr);
double SETFONT(double nr);
// The size of one character cell of the current font.
double GETFONTSIZE(double& w, double& h);
// Draws the text with its top-left corner at (x, y); every character advances one
// cell, bytes 128 ... 255 draw nothing.
double PRINT(DQStr text, double x, double y);
// Draws the number with ten significant digits.
double PRINT(double number, double x, double y);
