#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace quelsor {
namespace {

    using testing::DesignedFilter;
    using testing::kBankTones;

    // Reference coefficients of the bank (tone ± 20 Hz at 16000 Hz), yCoeffs[1..5].
    struct BankRow {
        int tone;
        double y[5];
    };
    const BankRow kBankRows[] = {
        { 697, { 5.6274709, -13.8308515, 18.4019219, -13.9764516, 5.7465772 } },
        { 770, { 5.5798723, -13.6473559, 18.1288749, -13.7910243, 5.6979712 } },
        { 852, { 5.5209394, -13.4223255, 17.7949516, -13.5636250, 5.6377909 } },
        { 941, { 5.4504996, -13.1564917, 17.4017773, -13.2949926, 5.5658603 } },
        { 1209, { 5.1985728, -12.2336764, 16.0473892, -12.3624625, 5.3086014 } },
        { 1336, { 5.0589046, -11.7408809, 15.3304008, -11.8644792, 5.1659771 } },
        { 1477, { 4.8891188, -11.1598936, 14.4901910, -11.2773757, 4.9925978 } },
        { 1633, { 4.6838319, -10.4839107, 13.5187326, -10.5942765, 4.7829659 } },
    };

    TEST(BandPassDesignTest, BankCoefficientsMatchReference)
    {
        const double x[7] = { -1, 0, 3, 0, -3, 0, 1 };
        for (const BankRow& row : kBankRows) {
            const auto f = DesignedFilter(row.tone);
            SCOPED_TRACE(row.tone);
            EXPECT_EQ(f->order, 3);
            EXPECT_EQ(f->sPlane.numPoles, 6);
            EXPECT_EQ(f->sPlane.numZeros, 3);
            EXPECT_EQ(f->zPlane.numPoles, 6);
            EXPECT_EQ(f->zPlane.numZeros, 6);
            for (int i = 0; i < 7; ++i)
                EXPECT_NEAR(f->xCoeffs[i], x[i], 1e-9) << i;
            EXPECT_NEAR(f->yCoeffs[0], -0.96907211, 5e-9);
            for (int i = 0; i < 5; ++i)
                EXPECT_NEAR(f->yCoeffs[i + 1], row.y[i], 5e-8) << i + 1;
            EXPECT_DOUBLE_EQ(f->yCoeffs[6], -1.0);
            EXPECT_NEAR(f->gain, 2.0966480e6, 0.5);
        }
    }

    TEST(BandPassDesignTest, IntermediateStepsOf697HzFilter)
    {
        const auto f = DesignedFilter(697);
        EXPECT_NEAR(f->rawAlpha1, 0.0423125, 1e-12);
        EXPECT_NEAR(f->rawAlpha2, 0.0448125, 1e-12);
        EXPECT_NEAR(f->warpedAlpha1, 0.04256350, 5e-9);
        EXPECT_NEAR(f->warpedAlpha2, 0.04511092, 5e-9);
        const double w1 = 2 * std::numbers::pi * f->warpedAlpha1;
        const double w2 = 2 * std::numbers::pi * f->warpedAlpha2;
        EXPECT_NEAR(std::sqrt(w1 * w2), 0.2753210, 5e-8);
        EXPECT_NEAR(w2 - w1, 0.01600596, 5e-9);

        const Complex sPoles[6] = { { -0.004102201, 0.2823100 }, { -0.008002982, 0.2752047 },
            { -0.004102201, -0.2823100 }, { -0.003900781, -0.2684484 },
            { -0.008002982, -0.2752047 }, { -0.003900781, 0.2684484 } };
        const Complex zPoles[6]
            = { { 0.9570715, 0.2756850 }, { 0.9553010, 0.2679817 }, { 0.9570715, -0.2756850 },
                  { 0.9609161, -0.2626900 }, { 0.9553010, -0.2679817 }, { 0.9609161, 0.2626900 } };
        const double zZeros[6] = { 1, 1, 1, -1, -1, -1 };
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(f->sPlane.poles[i].re, sPoles[i].re, 5e-10);
            EXPECT_NEAR(f->sPlane.poles[i].im, sPoles[i].im, 5e-8);
            EXPECT_NEAR(f->zPlane.poles[i].re, zPoles[i].re, 5e-8);
            EXPECT_NEAR(f->zPlane.poles[i].im, zPoles[i].im, 5e-8);
            EXPECT_NEAR(f->zPlane.zeros[i].re, zZeros[i], 1e-15);
            EXPECT_NEAR(f->zPlane.zeros[i].im, 0.0, 1e-15);
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(f->sPlane.zeros[i].re, 0.0);
            EXPECT_EQ(f->sPlane.zeros[i].im, 0.0);
        }
        EXPECT_NEAR(f->centreGain.re, 2.095828e6, 0.5);
        EXPECT_NEAR(f->centreGain.im, -5.8647e4, 0.5);
    }

    // |H(e^jω)| / gain computed from the coefficients, independently of the design steps.
    double Magnitude(const BandPassFilter& f, double hz)
    {
        const std::complex<double> z = std::polar(1.0, 2.0 * std::numbers::pi * hz / f.sampleRate);
        std::complex<double> num = 0.0;
        std::complex<double> den = std::pow(z, 6);
        for (int i = 0; i <= 6; ++i)
            num += f.xCoeffs[i] * std::pow(z, i);
        for (int i = 0; i < 6; ++i)
            den -= f.yCoeffs[i] * std::pow(z, i);
        return std::abs(num / den) / f.gain;
    }

    double Decibels(double magnitude) { return 20.0 * std::log10(magnitude); }

    TEST(BandPassDesignTest, MagnitudeResponseOfBankFilters)
    {
        for (int tone : kBankTones) {
            SCOPED_TRACE(tone);
            const auto f = DesignedFilter(tone);
            EXPECT_NEAR(Magnitude(*f, tone), 1.0, 1e-6);
            EXPECT_NEAR(Decibels(Magnitude(*f, tone - 20.0)), -3.0103, 0.05);
            EXPECT_NEAR(Decibels(Magnitude(*f, tone + 20.0)), -3.0103, 0.05);
            EXPECT_LT(Magnitude(*f, 0.0), 1e-12);
            EXPECT_LT(Magnitude(*f, 8000.0), 1e-12);
        }
        // Rejection of the neighbouring tone of the same group.
        struct Neighbour {
            int filterTone;
            double otherTone;
            double lowDb;
            double highDb;
        };
        const Neighbour neighbours[] = {
            { 697, 770, -34, -32 },
            { 1209, 1336, -48, -46 },
        };
        for (const Neighbour& n : neighbours) {
            const auto f = DesignedFilter(n.filterTone);
            const double db = Decibels(Magnitude(*f, n.otherTone));
            EXPECT_GT(db, n.lowDb) << n.filterTone;
            EXPECT_LT(db, n.highDb) << n.filterTone;
        }
    }

    TEST(BandPassDesignTest, PolesAreStableConjugatePairsAtTheTone)
    {
        for (int tone : kBankTones) {
            SCOPED_TRACE(tone);
            const auto f = DesignedFilter(tone);
            const double toneAngle = 2.0 * std::numbers::pi * tone / 16000.0;
            for (int i = 0; i < 6; ++i) {
                const Complex p = f->zPlane.poles[i];
                const double radius = std::hypot(p.re, p.im);
                EXPECT_GT(radius, 0.992);
                EXPECT_LT(radius, 0.997);
                EXPECT_NEAR(
                    std::fabs(std::atan2(p.im, p.re)), toneAngle, 0.5 * std::numbers::pi / 180);
            }
            for (int i = 0; i < 3; ++i) { // pairs: (0, 2), (1, 4), (3, 5)
                const int pair[3][2] = { { 0, 2 }, { 1, 4 }, { 3, 5 } };
                const Complex a = f->zPlane.poles[pair[i][0]];
                const Complex b = f->zPlane.poles[pair[i][1]];
                EXPECT_NEAR(a.re, b.re, 1e-12);
                EXPECT_NEAR(a.im, -b.im, 1e-12);
            }
        }
    }

    TEST(BandPassDesignTest, ChoosePoleIgnoresRightHalfPlane)
    {
        BandPassFilter f;
        f.poleMask = 0b101u;
        for (Complex z : { Complex(0.0, 1.0), Complex(0.5, -0.2), Complex(-0.0, 0.3) }) {
            f.ChoosePole(z);
            EXPECT_EQ(f.sPlane.numPoles, 0);
            EXPECT_EQ(f.poleMask, 0b101u);
        }
        f.ChoosePole(Complex(-1.0, 0.0)); // bit set: kept
        f.ChoosePole(Complex(-0.5, 0.5)); // bit clear: skipped, uses a bit
        f.ChoosePole(Complex(-0.5, -0.5)); // bit set: kept
        ASSERT_EQ(f.sPlane.numPoles, 2);
        EXPECT_EQ(f.sPlane.poles[1].im, -0.5);
        EXPECT_EQ(f.poleMask, 0u);
    }

    TEST(BandPassDesignTest, ComplexSqrtSignOfImaginaryPart)
    {
        struct Row {
            Complex x;
            Complex root;
        };
        const Row rows[] = {
            { { -4.0, 0.0 }, { 0.0, 2.0 } },
            { { -4.0, -0.0 }, { 0.0, 2.0 } },
            { { 3.0, -4.0 }, { 2.0, -1.0 } },
            { { 3.0, 4.0 }, { 2.0, 1.0 } },
            { { 4.0, 0.0 }, { 2.0, 0.0 } },
            { { 0.0, 0.0 }, { 0.0, 0.0 } },
        };
        for (const Row& row : rows) {
            const Complex r = ComplexSqrt(row.x);
            EXPECT_DOUBLE_EQ(r.re, row.root.re) << row.x.re << "," << row.x.im;
            EXPECT_DOUBLE_EQ(r.im, row.root.im) << row.x.re << "," << row.x.im;
        }
        EXPECT_EQ(SafeSqrt(-1e-18), 0.0);
        EXPECT_EQ(SafeSqrt(9.0), 3.0);
    }

    TEST(BandPassDesignTest, ExpandMultipliesOutTheRoots)
    {
        // (z − 1)(z + 2)(z − i)(z + i) = z⁴ + z³ − z² + z − 2
        const Complex roots[4] = { { 1, 0 }, { -2, 0 }, { 0, 1 }, { 0, -1 } };
        Complex c[5];
        Expand(roots, 4, c);
        const double expected[5] = { -2, 1, -1, 1, 1 };
        for (int i = 0; i < 5; ++i) {
            EXPECT_DOUBLE_EQ(c[i].re, expected[i]) << i;
            EXPECT_DOUBLE_EQ(c[i].im, 0.0) << i;
        }
        const Complex at2 = EvaluatePolynomial(c, 4, Complex(2.0, 0.0));
        EXPECT_DOUBLE_EQ(at2.re, 16 + 8 - 4 + 2 - 2);
    }

    TEST(BandPassDesignTest, RedesignKeepsHistoriesAndRebuildsFromScratch)
    {
        auto f = DesignedFilter(697);
        for (int n = 0; n < 100; ++n)
            f->FilterSample(1000.0 * ((n % 7) - 3));
        double x[7];
        double y[7];
        for (int i = 0; i < 7; ++i) {
            x[i] = f->XHistory(i);
            y[i] = f->YHistory(i);
        }
        EXPECT_NE(y[6], 0.0);
        f->Design(1189.0, 1229.0);
        const auto fresh = DesignedFilter(1209);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(f->XHistory(i), x[i]);
            EXPECT_EQ(f->YHistory(i), y[i]);
            EXPECT_EQ(f->yCoeffs[i], fresh->yCoeffs[i]);
        }
        EXPECT_EQ(f->sPlane.numPoles, 6);
        EXPECT_EQ(f->gain, fresh->gain);
    }

} // namespace
} // namespace quelsor
