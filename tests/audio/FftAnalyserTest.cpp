#include "audio/FftAnalyser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace quelsor {
namespace {

    class FftAnalyserTest : public ::testing::Test {
    protected:
        FftAnalyser fft;
        std::vector<float> input = std::vector<float>(512, 0.0f);
        std::vector<std::int32_t> output = std::vector<std::int32_t>(256, -7);

        void SetUp() override { ASSERT_TRUE(fft.Setup(512, 256)); }
        void Sine(double amplitude, double hz)
        {
            for (int n = 0; n < 512; ++n)
                input[n] = static_cast<float>(
                    amplitude * std::sin(2.0 * std::numbers::pi * hz * n / 16000.0));
        }
    };

    TEST_F(FftAnalyserTest, ZeroInputGivesZeros)
    {
        fft.Transform(input.data(), output.data());
        for (std::int32_t m : output)
            EXPECT_EQ(m, 0);
    }

    TEST_F(FftAnalyserTest, ConstantGoesToBinZero)
    {
        for (float v : { 1000.0f, -250.0f }) {
            std::fill(input.begin(), input.end(), v);
            fft.Transform(input.data(), output.data());
            EXPECT_EQ(output[0], static_cast<std::int32_t>(512 * std::fabs(v)));
            for (int k = 1; k < 256; ++k)
                EXPECT_LE(output[k], 2) << k;
        }
    }

    TEST_F(FftAnalyserTest, BinCentredSineGoesToItsBin)
    {
        struct Row {
            int bin;
            double amplitude;
        };
        for (const Row& row : { Row { 1, 1000.0 }, Row { 22, 12000.0 }, Row { 39, 5000.0 },
                 Row { 255, 100.0 }, Row { 48, 32767.0 } }) {
            Sine(row.amplitude, row.bin * 31.25);
            fft.Transform(input.data(), output.data());
            EXPECT_NEAR(output[row.bin], 256.0 * row.amplitude, 256.0 * row.amplitude * 1e-4)
                << row.bin;
            for (int k = 0; k < 256; ++k) {
                if (k != row.bin) {
                    EXPECT_LT(output[k], 256.0 * row.amplitude * 1e-4) << row.bin << " " << k;
                }
            }
        }
    }

    TEST_F(FftAnalyserTest, MatchesADirectTransform)
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> value(-20000.0f, 20000.0f);
        for (float& x : input)
            x = value(random);
        fft.Transform(input.data(), output.data());
        for (int k = 0; k < 256; ++k) {
            std::complex<double> sum = 0.0;
            for (int n = 0; n < 512; ++n)
                sum += static_cast<double>(input[n])
                    * std::polar(1.0, -2.0 * std::numbers::pi * k * n / 512.0);
            EXPECT_NEAR(output[k], std::abs(sum), 2.0 + std::abs(sum) * 1e-4) << k;
        }
    }

    TEST_F(FftAnalyserTest, InputLengthPadsOrIgnores)
    {
        std::vector<float> ones(1024, 1.0f);
        ASSERT_TRUE(fft.Setup(256, 256));
        fft.Transform(ones.data(), output.data());
        EXPECT_EQ(output[0], 256);
        ASSERT_TRUE(fft.Setup(1024, 256));
        fft.Transform(ones.data(), output.data());
        EXPECT_EQ(output[0], 512);
    }

    TEST_F(FftAnalyserTest, NothingWrittenWithoutTables)
    {
        FftAnalyser fresh;
        fresh.Transform(input.data(), output.data());
        fft.Release();
        fft.Transform(input.data(), output.data());
        for (int bad : { 0, -4, 3, 100 }) {
            EXPECT_FALSE(fft.Setup(512, bad)) << bad;
            fft.Transform(input.data(), output.data());
        }
        fft.Clear();
        fft.Transform(input.data(), output.data());
        EXPECT_EQ(fft.Size(), 0);
        for (std::int32_t m : output)
            EXPECT_EQ(m, -7);
    }

    TEST_F(FftAnalyserTest, HugeValuesSaturate)
    {
        std::fill(input.begin(), input.end(), 1e30f);
        fft.Transform(input.data(), output.data());
        EXPECT_EQ(output[0], 2147483647);
        input.assign(512, std::nanf(""));
        fft.Transform(input.data(), output.data());
        EXPECT_EQ(output[0], 0);
    }

} // namespace
} // namespace quelsor
