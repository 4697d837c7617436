#include "DesignMath.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace quelsor {

namespace {

    // An unevaluated sum hi + lo with |lo| ≤ ulp(hi)/2: about 106 significant bits.
    struct DoubleDouble {
        double hi = 0.0;
        double lo = 0.0;
    };

    // a + b = s + err exactly (any a, b).
    DoubleDouble TwoSum(double a, double b)
    {
        const double s = a + b;
        const double bb = s - a;
        return { s, (a - (s - bb)) + (b - bb) };
    }

    // The same for |a| ≥ |b|.
    DoubleDouble QuickTwoSum(double a, double b)
    {
        const double s = a + b;
        return { s, b - (s - a) };
    }

    // a·b = p + err exactly, by Dekker's splitting (no fused multiply-add needed). |a|, |b| must
    // stay below 2^996.
    DoubleDouble TwoProduct(double a, double b)
    {
        constexpr double kSplitter = 134217729.0; // 2^27 + 1
        const auto split = [](double v, double& high, double& low) {
            const double t = kSplitter * v;
            high = t - (t - v);
            low = v - high;
        };
        double ah = 0.0, al = 0.0, bh = 0.0, bl = 0.0;
        split(a, ah, al);
        split(b, bh, bl);
        const double p = a * b;
        return { p, ((ah * bh - p) + ah * bl + al * bh) + al * bl };
    }

    DoubleDouble operator+(DoubleDouble a, DoubleDouble b)
    {
        DoubleDouble s = TwoSum(a.hi, b.hi);
        const DoubleDouble t = TwoSum(a.lo, b.lo);
        s.lo += t.hi;
        s = QuickTwoSum(s.hi, s.lo);
        s.lo += t.lo;
        return QuickTwoSum(s.hi, s.lo);
    }

    DoubleDouble operator-(DoubleDouble a) { return { -a.hi, -a.lo }; }
    DoubleDouble operator-(DoubleDouble a, DoubleDouble b) { return a + (-b); }

    DoubleDouble operator*(DoubleDouble a, DoubleDouble b)
    {
        DoubleDouble p = TwoProduct(a.hi, b.hi);
        p.lo += a.hi * b.lo + a.lo * b.hi;
        return QuickTwoSum(p.hi, p.lo);
    }

    DoubleDouble operator/(DoubleDouble a, DoubleDouble b)
    {
        const double q1 = a.hi / b.hi;
        DoubleDouble r = a - b * DoubleDouble { q1, 0.0 };
        const double q2 = r.hi / b.hi;
        r = r - b * DoubleDouble { q2, 0.0 };
        const double q3 = r.hi / b.hi;
        return QuickTwoSum(q1, q2) + DoubleDouble { q3, 0.0 };
    }

    DoubleDouble Sqrt(DoubleDouble a)
    {
        if (a.hi <= 0.0)
            return {};
        const double q = std::sqrt(a.hi);
        const DoubleDouble residue = a - TwoProduct(q, q);
        return QuickTwoSum(q, residue.hi / (2.0 * q));
    }

    // π/2 as p1 + p2 + p3 + p4: the first three parts carry 33 bits each, so k·p1, k·p2 and k·p3
    // are exact for |k| < 2^20; together about 150 bits.
    constexpr double kHalfPi1 = 1.57079632673412561417e+00;
    constexpr double kHalfPi2 = 6.07710050630396597660e-11;
    constexpr double kHalfPi3 = 2.02226624871116645580e-21;
    constexpr double kHalfPi4 = 8.47842766036889956997e-32;
    constexpr double kTwoOverPi = 6.36619772367581382433e-01;
    constexpr double kReductionLimit = 823549.6; // 2^19·π/2

    // x = k·π/2 + r with |r| ≤ π/4 (a hair more at worst); returns r and k mod 4.
    DoubleDouble Reduce(double x, int& quadrant)
    {
        const double k = std::nearbyint(x * kTwoOverPi);
        // x − k·p1 is exact: both are within a factor of two of each other (or k is 0).
        DoubleDouble r { x - k * kHalfPi1, 0.0 };
        r = r - DoubleDouble { k * kHalfPi2, 0.0 };
        r = r - DoubleDouble { k * kHalfPi3, 0.0 };
        r = r - TwoProduct(k, kHalfPi4);
        quadrant = static_cast<int>(static_cast<long>(k) & 3);
        return r;
    }

    // Taylor series of sin and cos for |r| ≤ π/4, summed until the terms no longer count.
    DoubleDouble SinSeries(DoubleDouble r)
    {
        const DoubleDouble r2 = r * r;
        DoubleDouble term = r;
        DoubleDouble sum = r;
        for (int n = 1; n < 40 && std::fabs(term.hi) > 1e-40 * std::fabs(sum.hi); ++n) {
            term = -(term * r2) / DoubleDouble { (2.0 * n) * (2.0 * n + 1.0), 0.0 };
            sum = sum + term;
        }
        return sum;
    }

    DoubleDouble CosSeries(DoubleDouble r)
    {
        const DoubleDouble r2 = r * r;
        DoubleDouble term { 1.0, 0.0 };
        DoubleDouble sum { 1.0, 0.0 };
        for (int n = 1; n < 40 && std::fabs(term.hi) > 1e-40; ++n) {
            term = -(term * r2) / DoubleDouble { (2.0 * n - 1.0) * (2.0 * n), 0.0 };
            sum = sum + term;
        }
        return sum;
    }

    bool Reducible(double x) { return std::isfinite(x) && std::fabs(x) <= kReductionLimit; }

    // sin (or cos) of x as a double-double.
    DoubleDouble SinOrCos(double x, bool cosine)
    {
        int quadrant = 0;
        const DoubleDouble r = Reduce(x, quadrant);
        if (cosine)
            quadrant = (quadrant + 1) & 3; // cos x = sin(x + π/2)
        switch (quadrant) {
        case 0:
            return SinSeries(r);
        case 1:
            return CosSeries(r);
        case 2:
            return -SinSeries(r);
        default:
            return -CosSeries(r);
        }
    }

} // namespace

double DesignSin(double x)
{
    if (!Reducible(x))
        return std::sin(x);
    if (x == 0.0)
        return x; // keeps the sign of zero
    return SinOrCos(x, false).hi;
}

double DesignCos(double x)
{
    if (!Reducible(x))
        return std::cos(x);
    return SinOrCos(x, true).hi;
}

double DesignTan(double x)
{
    if (!Reducible(x))
        return std::tan(x);
    if (x == 0.0)
        return x;
    return (SinOrCos(x, false) / SinOrCos(x, true)).hi;
}

double DesignHypot(double x, double y)
{
    if (std::isinf(x) || std::isinf(y))
        return HUGE_VAL;
    if (std::isnan(x) || std::isnan(y))
        return x + y;
    double a = std::fabs(x);
    double b = std::fabs(y);
    if (a < b)
        std::swap(a, b);
    if (b == 0.0)
        return a;
    // Scaled by a power of two (exact) so that the squares neither overflow nor underflow.
    const int exponent = std::ilogb(a);
    a = std::ldexp(a, -exponent);
    b = std::ldexp(b, -exponent);
    const DoubleDouble sum = TwoProduct(a, a) + TwoProduct(b, b);
    return std::ldexp(Sqrt(sum).hi, exponent);
}

} // namespace quelsor
