#include "BandPassFilter.h"

#include <cmath>

namespace quelsor {

namespace {

    constexpr double kPi = 3.141592653589793;
    constexpr double kTwoPi = 6.283185307179586;
    constexpr long double kOneOverPi = 0.318309886183790671537767526745028724L;

} // namespace

void BandPassFilter::Design(double fLow, double fHigh)
{
    order = 3;
    rawAlpha1 = fLow / sampleRate;
    rawAlpha2 = fHigh / sampleRate;
    poleMask = 0xFFFFFFFFu;
    ComputeSPlanePoles();
    Prewarp();
    TransformToBandPass();
    ComputeZPlane();
    ExpandPolynomials();
    gain = DesignHypot(centreGain.re, centreGain.im);
}

void BandPassFilter::AdvanceHistory(const double* x, const double* y, std::size_t steps)
{
    const int at = static_cast<int>((static_cast<std::size_t>(historyPos) + steps) % kDelayLength);
    // Entry k of a delay line sits at at + 1 + k, both copies of each slot alike, as
    // FilterSample keeps them.
    for (int k = 0; k < kDelayLength; ++k) {
        const int slot = (at + 1 + k) % kDelayLength;
        xRing[slot] = x[k];
        xRing[slot + kDelayLength] = x[k];
        yRing[slot] = y[k];
        yRing[slot + kDelayLength] = y[k];
    }
    historyPos = at;
}

void BandPassFilter::ComputeSPlanePoles()
{
    sPlane.numPoles = 0;
    for (int i = 0; i < 2 * order; ++i) {
        const double theta = (order % 2 != 0) ? i * kPi / order : (i + 0.5) * kPi / order;
        ChoosePole(ExpJ(theta));
    }
}

void BandPassFilter::ChoosePole(Complex z)
{
    if (z.re < 0.0) {
        if ((poleMask & 1u) != 0 && sPlane.numPoles < kMaxPoleZero)
            sPlane.poles[sPlane.numPoles++] = z;
        poleMask >>= 1;
    }
}

void BandPassFilter::Prewarp()
{
    // tan(π·α)/π, the multiplication by 1/π done in extended precision as the constant is.
    // GCC and Clang on x86 (Linux, MinGW-w64) have an 80-bit long double; MSVC's long double is
    // the 64-bit double, so an MSVC build rounds 1/π and the product to double and may differ
    // here in the last bit.
    warpedAlpha1
        = static_cast<double>(static_cast<long double>(DesignTan(kPi * rawAlpha1)) * kOneOverPi);
    warpedAlpha2
        = static_cast<double>(static_cast<long double>(DesignTan(kPi * rawAlpha2)) * kOneOverPi);
}

void BandPassFilter::TransformToBandPass()
{
    const double w1 = kTwoPi * warpedAlpha1;
    const double w2 = kTwoPi * warpedAlpha2;
    const double w0 = std::sqrt(w1 * w2);
    const double bw = w2 - w1;
    const int n = sPlane.numPoles;
    for (int i = 0; i < n; ++i) {
        const Complex p = sPlane.poles[i];
        const Complex hba = Complex(0.5, 0.0) * (p * Complex(bw, 0.0));
        const Complex temp = ComplexSqrt(Complex(1.0, 0.0) - Square(Complex(w0, 0.0) / hba));
        sPlane.poles[i] = hba * (Complex(1.0, 0.0) + temp);
        sPlane.poles[n + i] = hba * (Complex(1.0, 0.0) - temp);
    }
    for (int i = 0; i < n; ++i)
        sPlane.zeros[i] = Complex(0.0, 0.0);
    sPlane.numZeros = n;
    sPlane.numPoles = 2 * n;
}

Complex BilinearTransform(Complex s) { return (Complex(2.0, 0.0) + s) / (Complex(2.0, 0.0) - s); }

void BandPassFilter::ComputeZPlane()
{
    zPlane.numPoles = sPlane.numPoles;
    zPlane.numZeros = sPlane.numZeros;
    for (int i = 0; i < zPlane.numPoles; ++i)
        zPlane.poles[i] = BilinearTransform(sPlane.poles[i]);
    for (int i = 0; i < zPlane.numZeros; ++i)
        zPlane.zeros[i] = BilinearTransform(sPlane.zeros[i]);
    while (zPlane.numZeros < zPlane.numPoles)
        zPlane.zeros[zPlane.numZeros++] = Complex(-1.0, 0.0);
}

void MultiplyFactor(Complex w, int n, Complex* coeffs)
{
    const Complex nw = -w;
    for (int i = n; i >= 1; --i)
        coeffs[i] = nw * coeffs[i] + coeffs[i - 1];
    coeffs[0] = nw * coeffs[0];
}

void Expand(const Complex* roots, int n, Complex* coeffs)
{
    coeffs[0] = Complex(1.0, 0.0);
    for (int i = 1; i <= n; ++i)
        coeffs[i] = Complex(0.0, 0.0);
    for (int i = 0; i < n; ++i)
        MultiplyFactor(roots[i], n, coeffs);
}

void BandPassFilter::ExpandPolynomials()
{
    Complex top[kMaxPoleZero + 1];
    Complex bot[kMaxPoleZero + 1];
    const int nz = zPlane.numZeros;
    const int np = zPlane.numPoles;
    Expand(zPlane.zeros, nz, top);
    Expand(zPlane.poles, np, bot);
    const double thetaCentre = kPi * (rawAlpha1 + rawAlpha2);
    centreGain = EvaluateRatio(top, nz, bot, np, ExpJ(thetaCentre));
    for (int i = 0; i <= nz; ++i)
        xCoeffs[i] = top[i].re / bot[np].re;
    for (int i = 0; i <= np; ++i)
        yCoeffs[i] = -(bot[i].re / bot[np].re);
}

} // namespace quelsor
