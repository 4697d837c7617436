#pragma once

#include "filters/DesignMath.h"

#include <cmath>

namespace quelsor {

// A complex number as the filter design uses it: a plain pair of doubles copied by value. Every
// operation rounds each component to double when it is stored, and the functions come from
// DesignMath (correctly rounded), so the design gives the same coefficients on every platform
// with IEEE doubles.
struct Complex {
    double re = 0.0;
    double im = 0.0;

    constexpr Complex() = default;
    constexpr Complex(double real, double imaginary = 0.0)
        : re(real)
        , im(imaginary)
    {
    }
};

inline Complex operator+(Complex a, Complex b) { return { a.re + b.re, a.im + b.im }; }
inline Complex operator-(Complex a, Complex b) { return { a.re - b.re, a.im - b.im }; }

// (a, b)·(c, d) = (ac − db, ad + cb)
inline Complex operator*(Complex x, Complex y)
{
    const double re = x.re * y.re - y.im * x.im;
    const double im = x.re * y.im + y.re * x.im;
    return { re, im };
}

// (a, b)/(c, d) = ((ca + db)/m, (cb − ad)/m), m = c² + d²
inline Complex operator/(Complex x, Complex y)
{
    const double m = y.re * y.re + y.im * y.im;
    const double re = (y.re * x.re + y.im * x.im) / m;
    const double im = (y.re * x.im - x.re * y.im) / m;
    return { re, im };
}

// (0, 0) − w, so a zero component becomes +0, not −0.
inline Complex operator-(Complex w) { return Complex(0.0, 0.0) - w; }

inline Complex Square(Complex z) { return z * z; }

// The point of the unit circle at angle t radians: (cos t, sin t).
inline Complex ExpJ(double t) { return { DesignCos(t), DesignSin(t) }; }

// sqrt(v) for v ≥ 0 and 0 for v < 0: a slightly negative rounding residue gives 0, not a NaN.
inline double SafeSqrt(double v) { return v >= 0.0 ? std::sqrt(v) : 0.0; }

// The principal square root, with the sign of the imaginary part taken from x.im: only a strictly
// negative imaginary part gives a negative one, so (−4, −0.0) gives (0, 2).
inline Complex ComplexSqrt(Complex x)
{
    const double r = DesignHypot(x.re, x.im);
    const double re = SafeSqrt((r + x.re) * 0.5);
    double im = SafeSqrt((r - x.re) * 0.5);
    if (x.im < 0.0)
        im = -im;
    return { re, im };
}

// Σ c[i]·z^i for i = 0..n, by Horner's rule from the highest coefficient down.
inline Complex EvaluatePolynomial(const Complex* c, int n, Complex z)
{
    Complex sum(0.0, 0.0);
    for (int i = n; i >= 0; --i)
        sum = sum * z + c[i];
    return sum;
}

// top(z) / bot(z), polynomials of degrees nz and np.
inline Complex EvaluateRatio(const Complex* top, int nz, const Complex* bot, int np, Complex z)
{
    return EvaluatePolynomial(top, nz, z) / EvaluatePolynomial(bot, np, z);
}

} // namespace quelsor
