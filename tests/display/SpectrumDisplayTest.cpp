#include "display/SpectrumDisplay.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    constexpr std::uint32_t kFace = 0xC8D0D4; // the window's own colour around the plot
    constexpr std::uint32_t kRed = SpectrumDisplay::kCurveColour;
    constexpr std::uint32_t kBlack = SpectrumDisplay::kPlotColour;
    constexpr std::uint32_t kWhite = SpectrumDisplay::kOutlineColour;
    constexpr std::uint32_t kBlue = SpectrumDisplay::kMarkerColour;
    constexpr std::array<int, 8> kMarkerX { 52, 58, 62, 68, 84, 92, 100, 112 };

    class FakeHost : public ISpectrumHost {
    public:
        bool capturing = true;
        bool grille = true;
        bool debug = false;
        std::vector<std::string> log { "" };
        std::array<int, 8> labelLeft { 113, 129, 145, 161, 186, 205, 225, 249 };

        bool Capturing() const override { return capturing; }
        bool GrilleChecked() const override { return grille; }
        bool DebugChecked() const override { return debug; }
        void ClearLog() override { log.clear(); }
        void AddLogLine(const std::string& line) override { log.push_back(line); }
        void SetIndicatorLeft(int tone, int left) override
        {
            labelLeft.at(static_cast<std::size_t>(tone)) = left;
        }
    };

    class SpectrumDisplayTest : public ::testing::Test {
    protected:
        PixelCanvas canvas { 530, 104, kFace };
        FakeHost host;
        SpectrumDisplay display { canvas, host };

        std::array<std::int32_t, 256> Flat(std::int32_t magnitude)
        {
            std::array<std::int32_t, 256> m;
            m.fill(magnitude);
            return m;
        }
        void Draw(const std::array<std::int32_t, 256>& m) { display.DrawSpectrum(m.data(), 256); }
        // Colours of row y from x0 to x1 inclusive all equal to colour.
        bool RowIs(int y, int x0, int x1, std::uint32_t colour)
        {
            for (int x = x0; x <= x1; ++x)
                if (canvas.PixelColour(x, y) != colour)
                    return false;
            return true;
        }
    };

    TEST_F(SpectrumDisplayTest, MarkerBinsAndLogLines)
    {
        display.ComputeMarkerBins();
        EXPECT_EQ(host.log, std::vector<std::string> { "Echantillons/seconde:16000" });
        EXPECT_EQ(
            display.MarkerBin(), (std::array<std::int32_t, 8> { 21, 24, 26, 29, 37, 41, 45, 51 }));
        EXPECT_EQ(display.ToneFreq(),
            (std::array<std::int32_t, 8> { 697, 770, 852, 941, 1209, 1336, 1477, 1633 }));
        EXPECT_EQ(display.BinLow(), 16);
        EXPECT_EQ(display.BinHigh(), 56);
        EXPECT_EQ(display.PlotBottom(), 100);
        EXPECT_EQ(display.PlotWidth(), 512);
        for (int y : display.CurveY())
            EXPECT_EQ(y, 13);

        host.debug = true;
        display.ComputeMarkerBins();
        const std::vector<std::string> expected { "Echantillons/seconde:16000", "(1)Freq:697 -> 21",
            "(2)Freq:770 -> 24", "(3)Freq:852 -> 26", "(4)Freq:941 -> 29", "(5)Freq:1209 -> 37",
            "(6)Freq:1336 -> 41", "(7)Freq:1477 -> 45", "(8)Freq:1633 -> 51", "Borne Inf: 16",
            "Borne Sup: 56" };
        EXPECT_EQ(host.log, expected);
    }

    TEST_F(SpectrumDisplayTest, PaintDrawsThePlotAndMovesTheIndicators)
    {
        display.ComputeMarkerBins();
        display.FormPaint();
        EXPECT_TRUE(RowIs(11, 9, 521, kWhite));
        EXPECT_TRUE(RowIs(100, 9, 51, kWhite));
        EXPECT_TRUE(RowIs(50, 10, 51, kBlack));
        EXPECT_EQ(canvas.PixelColour(9, 50), kWhite);
        EXPECT_EQ(canvas.PixelColour(521, 50), kWhite);
        EXPECT_EQ(canvas.PixelColour(522, 50), kFace); // right edge excluded
        EXPECT_TRUE(RowIs(101, 0, 529, kFace)); // bottom edge excluded
        EXPECT_TRUE(RowIs(10, 0, 529, kFace));
        for (std::size_t i = 0; i < 8; ++i) {
            const int x = kMarkerX[i];
            EXPECT_EQ(host.labelLeft[i], x - 2);
            EXPECT_EQ(canvas.PixelColour(x, 11), kWhite) << x; // markers start at y = 12
            for (int y = 12; y <= 100; ++y) // and run over the bottom outline row
                ASSERT_EQ(canvas.PixelColour(x, y), kBlue) << x << "," << y;
            EXPECT_EQ(canvas.PixelColour(x, 101), kFace) << x;
            EXPECT_EQ(canvas.PixelColour(x + 1, 50), kBlack) << x;
        }

        host.grille = false;
        display.FormPaint();
        EXPECT_TRUE(RowIs(50, 10, 520, kBlack));
    }

    TEST_F(SpectrumDisplayTest, FirstFrameErasesTheInitialLineAtY13)
    {
        display.ComputeMarkerBins();
        host.grille = false;
        canvas.SetPenColour(kWhite);
        canvas.SetBrushColour(kWhite);
        canvas.Rectangle(0, 0, 530, 104);
        Draw(Flat(0));
        EXPECT_TRUE(RowIs(13, 12, 519, kBlack));
        EXPECT_EQ(canvas.PixelColour(520, 13), kWhite);
        EXPECT_EQ(canvas.PixelColour(11, 13), kWhite);
        EXPECT_TRUE(RowIs(12, 0, 529, kWhite));
        EXPECT_TRUE(RowIs(14, 0, 529, kWhite));
        // The flat line of an all-zero spectrum at y = 99, its end point unpainted.
        EXPECT_TRUE(RowIs(99, 12, 519, kRed));
        EXPECT_EQ(canvas.PixelColour(520, 99), kWhite);
        EXPECT_EQ(canvas.PixelColour(11, 99), kWhite);
        for (int k = 1; k < 256; ++k)
            EXPECT_EQ(display.CurveY()[static_cast<std::size_t>(k)], 99);
    }

    TEST_F(SpectrumDisplayTest, HeightIsTruncatedAndClippedAtTheTopOutline)
    {
        display.ComputeMarkerBins();
        struct Row {
            std::int32_t magnitude;
            int y;
        };
        const Row rows[] { { 0, 99 }, { 1, 98 }, { 10000, 98 }, { 10001, 97 }, { 490000, 50 },
            { 880000, 11 }, { 889999, 11 }, { 990001, 11 },
            { std::numeric_limits<std::int32_t>::max(), 11 }, { -5, 99 } };
        for (const auto& row : rows) {
            Draw(Flat(row.magnitude));
            EXPECT_EQ(display.CurveY()[1], row.y) << row.magnitude;
            EXPECT_EQ(display.CurveY()[255], row.y) << row.magnitude;
        }
    }

    TEST_F(SpectrumDisplayTest, ClippedCurveOverwritesTheTopOutlineUntilTheNextFrame)
    {
        display.ComputeMarkerBins();
        host.grille = false;
        display.FormPaint();
        Draw(Flat(2000000));
        EXPECT_TRUE(RowIs(11, 12, 519, kRed));
        EXPECT_TRUE(RowIs(11, 9, 11, kWhite));
        Draw(Flat(0));
        EXPECT_TRUE(RowIs(11, 12, 519, kBlack)); // erased to the plot colour, not the outline's
        EXPECT_TRUE(RowIs(11, 520, 521, kWhite));
        EXPECT_TRUE(RowIs(100, 9, 521, kWhite)); // the curve never reaches the bottom outline
        display.FormPaint();
        EXPECT_TRUE(RowIs(11, 9, 521, kWhite));
    }

    TEST_F(SpectrumDisplayTest, MarkersAreDrawnBeforeTheErasePass)
    {
        display.ComputeMarkerBins();
        display.FormPaint();
        Draw(Flat(490000)); // y = 50
        EXPECT_EQ(canvas.PixelColour(52, 50), kRed);
        Draw(Flat(0));
        EXPECT_EQ(canvas.PixelColour(52, 50), kBlack); // erased over the marker
        EXPECT_EQ(canvas.PixelColour(52, 99), kRed); // the new curve crosses it
        EXPECT_EQ(canvas.PixelColour(52, 60), kBlue);
    }

    TEST_F(SpectrumDisplayTest, NothingIsDrawnWhileNotCapturing)
    {
        display.ComputeMarkerBins();
        display.FormPaint();
        Draw(Flat(490000));
        host.capturing = false;
        Draw(Flat(0));
        EXPECT_EQ(display.CurveY()[10], 50);
        EXPECT_TRUE(RowIs(50, 13, 51, kRed)); // the last curve stays on screen
        EXPECT_TRUE(RowIs(99, 13, 51, kBlack));
    }

    TEST_F(SpectrumDisplayTest, GridCheckBoxClearsThePlot)
    {
        display.ComputeMarkerBins();
        display.FormPaint();
        Draw(Flat(490000));
        host.grille = false;
        display.chkGrilleClick();
        EXPECT_TRUE(RowIs(50, 10, 520, kBlack)); // curve and markers gone
        Draw(Flat(0));
        EXPECT_EQ(canvas.PixelColour(52, 60), kBlack); // later frames draw no markers
        host.grille = true;
        display.chkGrilleClick();
        EXPECT_EQ(canvas.PixelColour(52, 60), kBlue);
        EXPECT_EQ(canvas.PixelColour(53, 99), kBlack); // the frame wiped the curve
    }

    TEST_F(SpectrumDisplayTest, ShortMagnitudeArraysReadZeros)
    {
        display.ComputeMarkerBins();
        const std::int32_t few[3] { 0, 490000, 490000 };
        display.DrawSpectrum(few, 3);
        EXPECT_EQ(display.CurveY()[2], 50);
        EXPECT_EQ(display.CurveY()[3], 99);
        display.DrawSpectrum(nullptr, 0);
        EXPECT_EQ(display.CurveY()[2], 99);
    }

} // namespace
} // namespace quelsor
