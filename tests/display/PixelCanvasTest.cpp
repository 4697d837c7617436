#include "display/PixelCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace quelsor {
namespace {

    constexpr std::uint32_t kBack = 0x808080;
    constexpr std::uint32_t kPen = 0x0000FF;
    constexpr std::uint32_t kBrush = 0x00FF00;

    using Points = std::set<std::pair<int, int>>;

    // Every pixel of the canvas that is no longer the background colour.
    Points Painted(const PixelCanvas& canvas)
    {
        Points points;
        for (int y = 0; y < canvas.Height(); ++y)
            for (int x = 0; x < canvas.Width(); ++x)
                if (canvas.PixelColour(x, y) != kBack)
                    points.insert({ x, y });
        return points;
    }

    Points Line(int x0, int y0, int x1, int y1)
    {
        PixelCanvas canvas(16, 16, kBack);
        canvas.SetPenColour(kPen);
        canvas.MoveTo(x0, y0);
        canvas.LineTo(x1, y1);
        return Painted(canvas);
    }

    TEST(PixelCanvas, ColourValuesAreRedInTheLowByte)
    {
        EXPECT_EQ(PixelCanvas::ToPixel(0x0000FF), 0xFFFF0000u);
        EXPECT_EQ(PixelCanvas::ToPixel(0xF0CAA6), 0xFFA6CAF0u);
        EXPECT_EQ(PixelCanvas::ToWindowColour(0xFFA6CAF0u), 0xF0CAA6u);
        PixelCanvas canvas(2, 1, 0x0000FF);
        EXPECT_EQ(canvas.Bits()[0], 0xFFFF0000u);
        EXPECT_EQ(canvas.PixelColour(1, 0), 0x0000FFu);
        EXPECT_EQ(canvas.PixelColour(2, 0), 0xFFFFFFFFu);
    }

    struct RectangleCase {
        int left, top, right, bottom;
        Points pen;
        Points brush;
    };

    TEST(PixelCanvas, RectangleExcludesRightAndBottomEdges)
    {
        const std::vector<RectangleCase> cases {
            // 4 x 3: outline on columns 1 and 4, rows 2 and 4; interior columns 2..3 of row 3.
            { 1, 2, 5, 5,
                { { 1, 2 }, { 2, 2 }, { 3, 2 }, { 4, 2 }, { 1, 3 }, { 4, 3 }, { 1, 4 }, { 2, 4 },
                    { 3, 4 }, { 4, 4 } },
                { { 2, 3 }, { 3, 3 } } },
            // Corners given the other way round: the same rectangle.
            { 5, 5, 1, 2,
                { { 1, 2 }, { 2, 2 }, { 3, 2 }, { 4, 2 }, { 1, 3 }, { 4, 3 }, { 1, 4 }, { 2, 4 },
                    { 3, 4 }, { 4, 4 } },
                { { 2, 3 }, { 3, 3 } } },
            // One pixel wide and tall: a single outline pixel.
            { 3, 3, 4, 4, { { 3, 3 } }, {} },
            // Empty rectangles paint nothing.
            { 3, 3, 3, 8, {}, {} },
            { 3, 3, 8, 3, {}, {} },
            // Partly outside: clipped, no crash.
            { -2, -2, 2, 2, { { 1, 0 }, { 1, 1 }, { 0, 1 } }, { { 0, 0 } } },
        };
        for (const auto& c : cases) {
            PixelCanvas canvas(8, 8, kBack);
            canvas.SetPenColour(kPen);
            canvas.SetBrushColour(kBrush);
            canvas.Rectangle(c.left, c.top, c.right, c.bottom);
            Points pen, brush;
            for (const auto& p : Painted(canvas))
                (canvas.PixelColour(p.first, p.second) == kPen ? pen : brush).insert(p);
            EXPECT_EQ(pen, c.pen) << c.left << "," << c.top << "," << c.right << "," << c.bottom;
            EXPECT_EQ(brush, c.brush)
                << c.left << "," << c.top << "," << c.right << "," << c.bottom;
        }
    }

    struct LineCase {
        int x0, y0, x1, y1;
        Points expected;
    };

    TEST(PixelCanvas, LineToPaintsTheStartAndNeverTheEnd)
    {
        const std::vector<LineCase> cases {
            { 2, 3, 2, 3, {} }, // zero length
            { 2, 3, 6, 3, { { 2, 3 }, { 3, 3 }, { 4, 3 }, { 5, 3 } } }, // right
            { 6, 3, 2, 3, { { 6, 3 }, { 5, 3 }, { 4, 3 }, { 3, 3 } } }, // left
            { 2, 3, 2, 6, { { 2, 3 }, { 2, 4 }, { 2, 5 } } }, // down
            { 2, 6, 2, 3, { { 2, 6 }, { 2, 5 }, { 2, 4 } } }, // up
            // Octant 1 (no bias) and its reverse in octant 5 (bias): same middle pixels.
            { 0, 0, 4, 2, { { 0, 0 }, { 1, 0 }, { 2, 1 }, { 3, 1 } } },
            { 4, 2, 0, 0, { { 4, 2 }, { 3, 1 }, { 2, 1 }, { 1, 0 } } },
            // The tie of a 2 x 1 step: both directions choose the upper middle pixel.
            { 0, 0, 2, 1, { { 0, 0 }, { 1, 0 } } },
            { 2, 1, 0, 0, { { 2, 1 }, { 1, 0 } } },
            // Octant 8 (bias) and its reverse in octant 4 (no bias).
            { 0, 1, 2, 0, { { 0, 1 }, { 1, 0 } } },
            { 2, 0, 0, 1, { { 2, 0 }, { 1, 0 } } },
            // y-major ties: octant 2 (no bias) against octant 6 (bias), 3 (bias) against 7.
            { 0, 0, 1, 2, { { 0, 0 }, { 0, 1 } } },
            { 1, 2, 0, 0, { { 1, 2 }, { 0, 1 } } },
            { 1, 0, 0, 2, { { 1, 0 }, { 0, 1 } } },
            { 0, 2, 1, 0, { { 0, 2 }, { 0, 1 } } },
            // Diagonals.
            { 0, 0, 3, 3, { { 0, 0 }, { 1, 1 }, { 2, 2 } } },
            { 3, 3, 0, 0, { { 3, 3 }, { 2, 2 }, { 1, 1 } } },
        };
        for (const auto& c : cases)
            EXPECT_EQ(Line(c.x0, c.y0, c.x1, c.y1), c.expected)
                << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }

    TEST(PixelCanvas, LineAndItsReverseCoverTheSamePixels)
    {
        // Every pair of points of a 9 x 9 grid: the line paints max(|dx|, |dy|) pixels, one per
        // step of its major axis, and drawn the other way it covers the same pixels apart from
        // swapping which end point is painted.
        for (int a = 0; a < 81; ++a) {
            for (int b = 0; b < 81; ++b) {
                const int x0 = a % 9, y0 = a / 9, x1 = b % 9, y1 = b / 9;
                Points forward = Line(x0, y0, x1, y1);
                Points backward = Line(x1, y1, x0, y0);
                const auto steps
                    = static_cast<std::size_t>(std::max(std::abs(x1 - x0), std::abs(y1 - y0)));
                ASSERT_EQ(forward.size(), steps) << x0 << "," << y0 << " -> " << x1 << "," << y1;
                if (a == b)
                    continue;
                forward.insert({ x1, y1 });
                backward.insert({ x0, y0 });
                ASSERT_EQ(forward, backward) << x0 << "," << y0 << " -> " << x1 << "," << y1;
            }
        }
    }

    TEST(PixelCanvas, LineToMovesThePenAndClipsAtTheEdges)
    {
        PixelCanvas canvas(4, 4, kBack);
        canvas.SetPenColour(kPen);
        canvas.MoveTo(-3, 1);
        canvas.LineTo(100000, 1);
        EXPECT_EQ(canvas.PenX(), 100000);
        EXPECT_EQ(canvas.PenY(), 1);
        EXPECT_EQ(Painted(canvas), (Points { { 0, 1 }, { 1, 1 }, { 2, 1 }, { 3, 1 } }));
        canvas.LineTo(100000, 7); // entirely outside
        EXPECT_EQ(Painted(canvas).size(), 4u);
    }

    TEST(PixelCanvas, ClipRectLimitsEveryPrimitive)
    {
        PixelCanvas canvas(8, 8, kBack);
        canvas.SetPenColour(kPen);
        canvas.SetBrushColour(kBrush);
        canvas.SetClipRect(2, 2, 4, 5);
        canvas.Rectangle(0, 0, 8, 8);
        canvas.MoveTo(0, 6);
        canvas.LineTo(8, 6); // below the clip
        EXPECT_EQ(Painted(canvas),
            (Points { { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 }, { 2, 4 }, { 3, 4 } }));
        EXPECT_EQ(canvas.PixelColour(2, 2), kBrush);
        canvas.ClearClip();
        canvas.LineTo(0, 6);
        EXPECT_EQ(canvas.PixelColour(5, 6), kPen);
    }

} // namespace
} // namespace quelsor
