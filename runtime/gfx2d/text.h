// Text with bitmap fonts: a font is a picture of 16 x 8 equal cells holding the
// characters 0 ... 127 in code order (row 0 at the top: codes 0 ... 15). Black is
// transparent. Fonts 0 ... 15; font 0 is the built-in "Smalfont.bmp".
#pragma once

#include <cstdint>

#include "core/dqstr.h"

// The current font, 0 ... 15: the one PRINT and INPUT draw with.
extern int __nCurFont;
// The colour PRINT multiplies the font's pixels by, R + 256 G + 65536 B; 0xFFFFFF (the
// font as it is) at start.
extern uint32_t __g_textColour;

// Selects font nr (clamped to 0 ... 15) and loads the file into it. A file that is
// found but cannot be loaded ends the program with code 3.
double LOADFONT(DQStr file, double nr);
double SETFONT(double nr);
// The size of one character cell of the current font.
double GETFONTSIZE(double& w, double& h);
// Later PRINTs draw the font's pixels multiplied by the colour (only its low 24 bits
// count): white pixels come out in the colour itself, black ones stay transparent.
// Sprites and INPUT are not touched by it.
double TEXTCOLOUR(double colour);
// Draws the text with its top-left corner at (x, y) in the text colour; every character
// advances one cell, bytes 128 ... 255 draw nothing.
double PRINT(DQStr text, double x, double y);
// Draws the number with ten significant digits.
double PRINT(double number, double x, double y);
