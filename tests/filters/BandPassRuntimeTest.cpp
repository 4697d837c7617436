#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace quelsor {
namespace {

    using testing::DesignedFilter;
    using testing::PeakOutput;

    TEST(BandPassRuntimeTest, FirstOutputFromRestIsScaledInput)
    {
        auto f = DesignedFilter(697);
        EXPECT_NEAR(f->FilterSample(1000.0), 4.7695e-4, 1e-8);
        EXPECT_DOUBLE_EQ(f->YHistory(6), 1000.0 / f->gain);
        EXPECT_DOUBLE_EQ(f->XHistory(6), 1000.0 / f->gain);
    }

    TEST(BandPassRuntimeTest, FollowsTheDifferenceEquation)
    {
        // y[n] = (x[n] − 3x[n−2] + 3x[n−4] − x[n−6]) / gain + Σ yCoeffs[6 − k]·y[n − k]
        auto f = DesignedFilter(1336);
        std::vector<double> x(2000);
        std::vector<double> y(x.size());
        for (std::size_t n = 0; n < x.size(); ++n)
            x[n] = 9000.0 * std::sin(0.37 * n) + 3000.0 * std::sin(0.5245 * n) + (n % 13) * 40.0;
        auto at = [](const std::vector<double>& v, long n) { return n < 0 ? 0.0 : v[n]; };
        double worst = 0.0;
        for (long n = 0; n < static_cast<long>(x.size()); ++n) {
            double expected
                = (at(x, n) - 3 * at(x, n - 2) + 3 * at(x, n - 4) - at(x, n - 6)) / f->gain;
            for (int k = 1; k <= 6; ++k)
                expected += f->yCoeffs[6 - k] * at(y, n - k);
            y[n] = f->FilterSample(x[n]);
            worst = std::max(worst, std::fabs(y[n] - expected));
        }
        EXPECT_LT(worst, 1e-9);
    }

    TEST(BandPassRuntimeTest, ToneAtCentreRisesToItsAmplitude)
    {
        const double a = 10000.0;
        for (int tone : testing::kBankTones) {
            SCOPED_TRACE(tone);
            auto f = DesignedFilter(tone);
            int halfAt = -1;
            int ninetyAt = -1;
            double settled = 0.0;
            for (int n = 0; n < 16000; ++n) {
                const double y = std::fabs(
                    f->FilterSample(a * std::sin(2.0 * std::numbers::pi * tone * n / 16000.0)));
                if (halfAt < 0 && y > 0.5 * a)
                    halfAt = n;
                if (ninetyAt < 0 && y > 0.9 * a)
                    ninetyAt = n;
                if (n >= 8000)
                    settled = std::max(settled, y);
            }
            EXPECT_NEAR(halfAt / 16.0, 17.0, 2.0); // ms
            EXPECT_NEAR(ninetyAt / 16.0, 26.0, 2.0);
            EXPECT_NEAR(settled, a, a * 1e-3);
        }
    }

    TEST(BandPassRuntimeTest, OtherTonesAreRejected)
    {
        struct Row {
            int filterTone;
            double inputTone;
            double low;
            double high;
        };
        const Row rows[] = {
            { 697, 770, 20, 26 },
            { 1209, 1336, 3, 5 },
            { 697, 1209, 0, 1 },
        };
        for (const Row& row : rows) {
            auto f = DesignedFilter(row.filterTone);
            const double peak = PeakOutput(*f, row.inputTone, 1000.0, 8000, 16000);
            EXPECT_GT(peak, row.low) << row.filterTone << " " << row.inputTone;
            EXPECT_LT(peak, row.high) << row.filterTone << " " << row.inputTone;
        }
    }

    TEST(BandPassRuntimeTest, ConstantAndNyquistInputsDecayToZero)
    {
        for (int sign : { 1, -1 }) { // +x, +x ... and +x, −x ...
            auto f = DesignedFilter(941);
            double last = 0.0;
            double peak = 0.0;
            for (int n = 0; n < 16000; ++n) {
                const double x = (sign < 0 && n % 2 != 0) ? -20000.0 : 20000.0;
                last = std::fabs(f->FilterSample(x));
                peak = std::max(peak, last);
            }
            EXPECT_GT(peak, 0.0) << sign;
            EXPECT_LT(last, 1e-6) << sign;
        }
    }

    TEST(BandPassRuntimeTest, StateCarriesFromOneRunToTheNext)
    {
        // Two captures in a row: the second continues the ringing of the first.
        auto continuous = DesignedFilter(852);
        auto split = DesignedFilter(852);
        auto restarted = DesignedFilter(852);
        auto signal
            = [](int n) { return 12000.0 * std::sin(2.0 * std::numbers::pi * 852 * n / 16000.0); };
        for (int n = 0; n < 800; ++n) {
            continuous->FilterSample(signal(n));
            split->FilterSample(signal(n));
        }
        double differenceToRestart = 0.0;
        for (int n = 800; n < 1600; ++n) {
            const double y = split->FilterSample(signal(n));
            EXPECT_EQ(y, continuous->FilterSample(signal(n)));
            differenceToRestart
                = std::max(differenceToRestart, std::fabs(y - restarted->FilterSample(signal(n))));
        }
        EXPECT_GT(differenceToRestart, 1000.0);
    }

    TEST(BandPassRuntimeTest, FullScaleExtremesStayBounded)
    {
        // The worst input for a narrow band-pass is a full-scale square wave near the tone; its
        // output must stay far inside the 32-bit range the detector truncates to.
        for (int tone : testing::kBankTones) {
            auto f = DesignedFilter(tone);
            const int half = static_cast<int>(std::lround(8000.0 / tone));
            double peak = 0.0;
            for (int n = 0; n < 32000; ++n) {
                const double x = ((n / half) % 2 == 0) ? 32767.0 : -32768.0;
                peak = std::max(peak, std::fabs(f->FilterSample(x)));
            }
            EXPECT_LT(peak, 1e6) << tone;
        }
    }

} // namespace
} // namespace quelsor
