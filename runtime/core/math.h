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
