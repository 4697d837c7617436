#include "filters/DesignMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quelsor {
namespace {

    // Expected values: the exact results rounded to nearest double (computed with 300-bit
    // arithmetic). The rows are the arguments the design meets (the pole angles i·π/3, the
    // prewarp angles of the band edges) and those where platform libraries go wrong: sin near a
    // multiple of π (MinGW-w64's x87 sin gets 13 bits of sin(π) right), tan near π/2.
    struct TrigRow {
        const char* what;
        double x;
        double sin;
        double cos;
        double tan;
    };

    const TrigRow kTrigRows[] = {
        { "pi", 0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53, -0x1.0000000000000p+0,
            -0x1.1a62633145c07p-53 },
        { "2pi/3", 0x1.0c152382d7365p+1, 0x1.bb67ae8584cabp-1, -0x1.ffffffffffffcp-2,
            -0x1.bb67ae8584cafp+0 },
        { "pi/2", 0x1.921fb54442d18p+0, 0x1.0000000000000p+0, 0x1.1a62633145c07p-54,
            0x1.d02967c31cdb5p+53 },
        { "4pi/3", 0x1.0c152382d7365p+2, -0x1.bb67ae8584ca8p-1, -0x1.0000000000004p-1,
            0x1.bb67ae8584ca2p+0 },
        { "5pi/3", 0x1.4f1a6c638d03fp+2, -0x1.bb67ae8584caap-1, 0x1.0000000000001p-1,
            -0x1.bb67ae8584ca9p+0 },
        { "355, near 113 pi", 0x1.6300000000000p+8, -0x1.f9bd0307d1de3p-16, -0x1.fffffffc18e4cp-1,
            0x1.f9bd030bacc16p-16 },
        { "tiny", 0x1.12e0be826d695p-30, 0x1.12e0be826d695p-30, 0x1.0000000000000p+0,
            0x1.12e0be826d695p-30 },
        { "negative", -0x1.4000000000000p+1, -0x1.326af0dcfcab1p-1, -0x1.9a2f7ef858b7dp-1,
            0x1.7e79b4e00bb15p-1 },
        { "prewarp 677 Hz", 0x1.103ce3eefb0f6p-3, 0x1.0f6fd36732c43p-3, 0x1.fb7bae7a336c7p-1,
            0x1.11da4de5ad497p-3 },
        { "prewarp 1653 Hz", 0x1.4c5af98764cb2p-2, 0x1.468d020373203p-2, 0x1.e544a312fdd44p-1,
            0x1.588a1a528fb1cp-2 },
    };

    TEST(DesignMath, TrigonometryIsCorrectlyRounded)
    {
        for (const TrigRow& row : kTrigRows) {
            EXPECT_EQ(DesignSin(row.x), row.sin) << row.what;
            EXPECT_EQ(DesignCos(row.x), row.cos) << row.what;
            EXPECT_EQ(DesignTan(row.x), row.tan) << row.what;
        }
    }

    struct HypotRow {
        double x;
        double y;
        double hypot;
    };

    const HypotRow kHypotRows[] = {
        { 3.0, 4.0, 5.0 },
        { 0x1.ffad4p+20, -0x1.ca2ep+15, 0x1.ffe086423ac95p+20 }, // a centre gain
        { 0x1.7e43c8800759cp+996, 0x1.7e43c8800759cp+996, 0x1.0e4d50f99b211p+997 }, // x² overflows
        { 0x1.01297d23ab683p-995, 0x1.56e1fc2f8f359p-995, 0x1.ac9a7b3b7302fp-995 }, // underflows
        { 1.0, 0x1.79ca10c924223p-67, 1.0 },
        { 0x1.3333333333333p-2, 0x1.6666666666666p-1, 0x1.85ed7614b038cp-1 },
        { -0.0, -2.5, 2.5 },
    };

    TEST(DesignMath, HypotIsCorrectlyRoundedWithoutOverflow)
    {
        for (const HypotRow& row : kHypotRows) {
            EXPECT_EQ(DesignHypot(row.x, row.y), row.hypot) << row.x << ", " << row.y;
            EXPECT_EQ(DesignHypot(row.y, row.x), row.hypot) << row.y << ", " << row.x;
        }
    }

    TEST(DesignMath, SpecialValues)
    {
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        EXPECT_TRUE(std::signbit(DesignSin(-0.0)));
        EXPECT_EQ(DesignCos(0.0), 1.0);
        EXPECT_TRUE(std::isnan(DesignSin(inf)));
        EXPECT_TRUE(std::isnan(DesignCos(nan)));
        EXPECT_EQ(DesignHypot(inf, nan), inf);
        EXPECT_TRUE(std::isnan(DesignHypot(nan, 1.0)));
        EXPECT_EQ(DesignHypot(0.0, 0.0), 0.0);
        // Past the reduction range the platform answers: still a sine.
        EXPECT_NEAR(DesignSin(1e7), std::sin(1e7), 1e-9);
    }

} // namespace
} // namespace quelsor
