// The input commands. Keys are scan codes (see DXInput); the mouse position is built
// from relative movement and kept within 0 ... screen width and 0 ... screen height,
// both inclusive; joysticks are numbered 0 ... 9, and any other number reads as a
// joystick at rest. A key or button pressed and let go again between two readings is
// still seen, once, by each of KEY, the character commands, MOUSESTATE and MOUSEBUTTON,
// when the second reading comes before the end of the frame after the press's.
#pragma once

#include "core/dqstr.h"

// The mouse position MOUSESTATE reports and SETMOUSE sets ((100, 100) when the main
// procedure starts).
extern double __g_mx, __g_my;

// 1 while the key is held (the low 8 bits of the truncated code), or when it was
// pressed since KEY last read it; else 0.
double KEY(double code);
// 1 throughout a frame when the key went down in the frame before (the frame's input
// is made at the end of SHOWSCREEN: frame_input.h), else 0; codes outside 0 ... 255: 0.
double KEYHIT(double code);
// The character of the key being pressed, once per press; "" when there is none.
DQStr INKEY_Str();
// A line editor at (x, y) with the current font: typing appends, Backspace deletes,
// Return ends. The text form edits the variable's contents.
double INPUT(DQStr& text, double x, double y);
double INPUT(double& number, double x, double y);
// Waits for a key that gives a character.
double KEYWAIT();
// Waits for a mouse button; Escape ends the program.
double MOUSEWAIT();
double MOUSESTATE(double& x, double& y, double& b1, double& b2);
// Button 1 left, 2 right, 3 middle: 1 while held or when pressed since MOUSEBUTTON last
// read that button; other numbers 0.
double MOUSEBUTTON(double button);
// Wheel steps turned since the previous call, positive away from the user.
double MOUSEWHEEL();
double SETMOUSE(double x, double y);
// Joystick 0: X, Y (-1, 0 or 1) and buttons 0 and 1.
double JOYSTATE(double& x, double& y, double& b1, double& b2);
double GETJOYX(double n);
double GETJOYY(double n);
double GETJOYZ(double n);
// The first hat: GETDIGIX 1 right, -1 left; GETDIGIY -1 up, 1 down; else 0.
double GETDIGIX(double n);
double GETDIGIY(double n);
// Button b (0 ... 31) of joystick n: 0 when up, nonzero when down.
double GETJOYBUTTON(double n, double b);
double GETNUMJOYSTICKS();
DQStr GETJOYNAME_Str(double n);
