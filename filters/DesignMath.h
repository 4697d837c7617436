#pragma once

namespace quelsor {

// sin, cos, tan and hypot for the filter design, rounded correctly to double (the exact result
// rounded to nearest, up to cases within 2^-100 of a tie), so that the filters come out bit for
// bit the same on every platform with IEEE doubles. The platforms' own functions are not: the
// MinGW-w64 runtime computes sin and cos with the x87 instructions, whose 66-bit π leaves
// sin(3.141592653589793) right to 13 bits only (glibc is right to the last bit there).
//
// The work is done in double-double arithmetic (about 106 bits) with a four-part π/2, over
// |x| ≤ 2^19·π/2 (about 823 000 radians; the design stays below 2π). Beyond that, and for
// infinities and NaNs, the platform's function answers.
double DesignSin(double x);
double DesignCos(double x);
double DesignTan(double x);
// sqrt(x² + y²) without undue overflow or underflow.
double DesignHypot(double x, double y);

} // namespace quelsor
