#pragma once

#include "filters/Complex.h"

#include <cstddef>
#include <cstdint>

namespace quelsor {

// Capacity of a pole or zero list; coefficient arrays hold one more entry.
inline constexpr int kMaxPoleZero = 512;

// The poles and zeros of a filter in one plane (s or z); entries beyond the counts are unused.
struct PoleZeroSet {
    Complex poles[kMaxPoleZero];
    Complex zeros[kMaxPoleZero];
    std::int32_t numPoles = 0;
    std::int32_t numZeros = 0;
};

// A recursive digital band-pass filter designed at run time from a pass band in Hz: a
// third-order Butterworth low-pass prototype turned into a 6-pole band-pass in the s-plane around
// the prewarped band edges, mapped to the z-plane by the bilinear transform and multiplied out
// into one sixth-order difference equation (direct form I, no second-order sections), normalised
// to unit gain at the centre of the band.
//
// Usage: set sampleRate, call Design(fLow, fHigh) with 0 < fLow < fHigh < sampleRate / 2, then
// feed samples one by one to FilterSample. The DTMF bank uses tone ± 20 Hz at 16000 Hz: every
// filter then has xCoeffs = −1, 0, 3, 0, −3, 0, 1, yCoeffs[6] = −1 and a gain of about 2.0966e6.
//
// The fields are public: the design is a fixed recipe whose intermediate values (poles, alphas,
// centre gain) are worth checking and printing. The object is large (about 40 KB); keep it in
// static storage or on the heap.
class BandPassFilter {
public:
    std::int32_t order = 0; // order of the low-pass prototype; Design sets 3
    double gain = 0.0; // magnitude of the response at the centre; inputs are divided by it
    double xCoeffs[kMaxPoleZero + 1] {}; // feed-forward, entries 0..numZeros
    double yCoeffs[kMaxPoleZero + 1] {}; // feedback, entries 0..numPoles
    std::int32_t sampleRate = 0; // Hz, set by the owner before Design
    PoleZeroSet sPlane; // analogue poles and zeros
    PoleZeroSet zPlane; // digital poles and zeros
    std::uint32_t poleMask = 0; // selects the prototype poles kept; Design sets all bits
    double rawAlpha1 = 0.0; // fLow / sampleRate
    double rawAlpha2 = 0.0; // fHigh / sampleRate
    double warpedAlpha1 = 0.0; // prewarped band edges, same unit
    double warpedAlpha2 = 0.0;
    Complex centreGain; // response at the centre of the band before normalisation
    // The delay lines of the last seven scaled inputs and outputs, kept as rings rather than
    // shifted on every sample: each value is stored twice, at historyPos and historyPos + 7, so
    // the seven latest values always lie contiguous, oldest first, from historyPos + 1. Read
    // them with XHistory / YHistory.
    static constexpr int kDelayLength = 7; // values in each delay line
    double xRing[2 * kDelayLength] {};
    double yRing[2 * kDelayLength] {};
    std::int32_t historyPos = 0; // 0..6

    // Entry k of the input / output delay line: 0 the oldest (six steps before the newest) .. 6
    // the newest.
    double XHistory(int k) const { return xRing[historyPos + 1 + k]; }
    double YHistory(int k) const { return yRing[historyPos + 1 + k]; }

    // Computes every field except sampleRate and the two histories, so a filter that is already
    // running keeps its state. Validates nothing: the caller passes a sensible band.
    void Design(double fLow, double fHigh);

    // One step of the recursion for input x (16-bit sample units); returns the output in the same
    // units: y[n] = (x[n] − 3x[n−2] + 3x[n−4] − x[n−6]) / gain + Σ yCoeffs[6 − k]·y[n − k],
    // k = 1..6. Order 3 only: the feed-forward weights (z² − 1)³ are written out. Defined below
    // so that the detector's per-sample loop can inline it.
    double FilterSample(double x);

    // The step's arithmetic alone, on delay lines laid out by the caller: xh[0..6] the scaled
    // inputs oldest first (xh[6] = x[n] / gain), yh[0..5] the six previous outputs, oldest
    // first. FilterSample and the detector's block loop both compute through it.
    double NextOutput(const double* xh, const double* yh) const;

    // Puts the delay lines where `steps` further calls of FilterSample would have left them,
    // given the seven latest scaled inputs x[0..6] and outputs y[0..6] of those steps, oldest
    // first: for a caller that ran NextOutput on delay lines of its own.
    void AdvanceHistory(const double* x, const double* y, std::size_t steps);

    // The design steps, in the order Design runs them.
    void ComputeSPlanePoles();
    void ChoosePole(Complex z); // keeps z when z.re < 0 and the next mask bit is set
    void Prewarp();
    void TransformToBandPass();
    void ComputeZPlane();
    void ExpandPolynomials();
};

// s-plane to z-plane: (2 + s) / (2 − s); the sampling interval is folded into the prewarped
// frequencies.
Complex BilinearTransform(Complex s);

// Multiplies out Π (z − roots[k]) for k < n into coeffs[0..n] (coeffs[k] belongs to z^k).
void Expand(const Complex* roots, int n, Complex* coeffs);

// coeffs[0..n] ·= (z − w).
void MultiplyFactor(Complex w, int n, Complex* coeffs);

inline double BandPassFilter::FilterSample(double x)
{
    int at = historyPos + 1;
    if (at == kDelayLength)
        at = 0;
    const double scaled = x / gain;
    xRing[at] = scaled;
    xRing[at + kDelayLength] = scaled;
    // xh[0..6]: inputs oldest first (xh[6] is x / gain); yh[0..5]: the six previous outputs.
    const double y = NextOutput(xRing + at + 1, yRing + at + 1);
    yRing[at] = y;
    yRing[at + kDelayLength] = y;
    historyPos = at;
    return y;
}

inline double BandPassFilter::NextOutput(const double* xh, const double* yh) const
{
    // The sum is accumulated in extended precision where the platform has it, in this order of
    // terms, and rounded to double once. GCC and Clang on x86 (Linux, MinGW-w64) give long
    // double 64 significant bits, so those builds filter bit for bit alike. MSVC's long double
    // is the 64-bit double: an MSVC build rounds every partial sum to double, and its filter
    // outputs differ in the last bits, growing through the recursion (the poles sit close to
    // the unit circle); a tone at the threshold may then be counted one block sooner or later.
    using Wide = long double;
    const Wide sum = (Wide(xh[2]) - Wide(xh[4])) * Wide(3) + (Wide(xh[6]) - Wide(xh[0]))
        + Wide(yCoeffs[0]) * Wide(yh[0]) + Wide(yCoeffs[1]) * Wide(yh[1])
        + Wide(yCoeffs[2]) * Wide(yh[2]) + Wide(yCoeffs[3]) * Wide(yh[3])
        + Wide(yCoeffs[4]) * Wide(yh[4]) + Wide(yCoeffs[5]) * Wide(yh[5]);
    return static_cast<double>(sum);
}

} // namespace quelsor
