// The numeric commands. Angles are degrees, converted with the constant 57.2957795.
#pragma once

constexpr double __kDegree = 57.2957795;

double SIN(double a);
double COS(double a);
double TAN(double a);
// atan2(y, x) in degrees, -180 ... 180.
double ATAN(double y, double x);
// 90 for v >= 1, -90 for v <= -1.
double ASIN(double v);
// 0 for v >= 1, 180 for v <= -1.
double ACOS(double v);
double POW(double b, double e);
// Remainder of the truncated operands with the sign of the dividend; 0 when the
// truncated divisor is 0. Operands beyond the 32-bit range are truncated as 64-bit
// floats and divided exactly; a non-finite operand gives 0.
double MOD(double a, double b);
double SQR(double v);
double ABS(double v);

// The number cut toward zero to a whole number: TRUNC(-2.7) is -2 (never -0).
double TRUNC(double v);
// The largest whole number not above v: INT(-2.7) is -3 (never -0).
double INT(double v);
// The smaller and the larger of two numbers (the first one when they are equal).
double MIN(double a, double b);
double MAX(double a, double b);
// -1 for a negative number, 1 for a positive one, 0 for 0 (and a NaN).
double SGN(double v);
// The colour of red, green and blue parts 0 ... 255 (each truncated, and held within
// that range): red + 256 * green + 65536 * blue, the colour number every drawing
// command takes (0xBBGGRR written in hexadecimal).
double RGB(double red, double green, double blue);
