#include "display/PixelCanvas.h"

#include <algorithm>
#include <cstdlib>

namespace quelsor {

namespace {
    // Octants numbered 1..8 counter-clockwise on screen from the positive x axis, with y growing
    // downwards: 1 is dx > dy > 0, 2 is dy >= dx > 0, and so on. Ties go to the octant whose
    // number is the next one round, as the platform's line drawing does.
    int Octant(std::int64_t dx, std::int64_t dy)
    {
        if (dy > 0) {
            if (dx > 0)
                return dx > dy ? 1 : 2;
            return -dx > dy ? 4 : 3;
        }
        if (dx < 0)
            return -dx > -dy ? 5 : 6;
        return dx > -dy ? 8 : 7;
    }

    constexpr unsigned OctantBit(int octant) { return 1u << (octant - 1); }
    // x is the major axis in octants 1, 4, 5 and 8.
    constexpr unsigned kXMajorOctants = OctantBit(1) | OctantBit(4) | OctantBit(5) | OctantBit(8);
    // Octants 3, 5, 6 and 8 take a bias of 1, so that a line and its reverse cover the same
    // pixels apart from their end points.
    constexpr unsigned kBiasedOctants = OctantBit(3) | OctantBit(5) | OctantBit(6) | OctantBit(8);
}

PixelCanvas::PixelCanvas(int width, int height, std::uint32_t background)
    : width_(std::max(width, 0))
    , height_(std::max(height, 0))
    , pixels_(
          static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), ToPixel(background))
    , pen_(ToPixel(0))
    , brush_(ToPixel(0xFFFFFF))
    , clipRight_(width_)
    , clipBottom_(height_)
{
}

void PixelCanvas::SetClipRect(int left, int top, int right, int bottom)
{
    clipLeft_ = std::clamp(left, 0, width_);
    clipTop_ = std::clamp(top, 0, height_);
    clipRight_ = std::clamp(right, clipLeft_, width_);
    clipBottom_ = std::clamp(bottom, clipTop_, height_);
}

void PixelCanvas::ClearClip() { SetClipRect(0, 0, width_, height_); }

std::uint32_t PixelCanvas::ToPixel(std::uint32_t windowColour)
{
    const std::uint32_t red = windowColour & 0xFFu;
    const std::uint32_t green = (windowColour >> 8) & 0xFFu;
    const std::uint32_t blue = (windowColour >> 16) & 0xFFu;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

std::uint32_t PixelCanvas::ToWindowColour(std::uint32_t pixel)
{
    const std::uint32_t red = (pixel >> 16) & 0xFFu;
    const std::uint32_t green = (pixel >> 8) & 0xFFu;
    const std::uint32_t blue = pixel & 0xFFu;
    return red | (green << 8) | (blue << 16);
}

void PixelCanvas::Fill(std::uint32_t colour)
{
    std::fill(pixels_.begin(), pixels_.end(), ToPixel(colour));
}

void PixelCanvas::Plot(int x, int y, std::uint32_t pixel)
{
    if (x < clipLeft_ || y < clipTop_ || x >= clipRight_ || y >= clipBottom_)
        return;
    pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)
        + static_cast<std::size_t>(x)]
        = pixel;
}

std::uint32_t PixelCanvas::PixelColour(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0xFFFFFFFFu;
    return ToWindowColour(pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)
        + static_cast<std::size_t>(x)]);
}

void PixelCanvas::Rectangle(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom)
        return;
    // Clip the loops to the canvas so huge rectangles cost no more than the canvas.
    const int x0 = std::max(left, clipLeft_);
    const int x1 = std::min(right, clipRight_);
    const int y0 = std::max(top, clipTop_);
    const int y1 = std::min(bottom, clipBottom_);
    for (int y = y0; y < y1; ++y) {
        const bool edgeRow = y == top || y == bottom - 1;
        for (int x = x0; x < x1; ++x) {
            const bool edge = edgeRow || x == left || x == right - 1;
            Plot(x, y, edge ? pen_ : brush_);
        }
    }
}

void PixelCanvas::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void PixelCanvas::LineTo(int x, int y)
{
    int px = penX_;
    int py = penY_;
    // 64-bit differences: coordinates anywhere in the int range must not overflow.
    const std::int64_t dx = static_cast<std::int64_t>(x) - px;
    const std::int64_t dy = static_cast<std::int64_t>(y) - py;
    penX_ = x;
    penY_ = y;

    const unsigned octant = OctantBit(Octant(dx, dy));
    const bool xMajor = (octant & kXMajorOctants) != 0;
    const std::int64_t bias = (octant & kBiasedOctants) != 0 ? 1 : 0;
    const std::int64_t adx = dx < 0 ? -dx : dx;
    const std::int64_t ady = dy < 0 ? -dy : dy;
    const std::int64_t major = xMajor ? adx : ady;
    const std::int64_t minor = xMajor ? ady : adx;
    const int stepX = dx < 0 ? -1 : 1;
    const int stepY = dy < 0 ? -1 : 1;

    std::int64_t err = 2 * minor - major;
    for (std::int64_t i = 0; i < major; ++i) {
        Plot(px, py, pen_);
        if (err + bias > 0) {
            if (xMajor)
                py += stepY;
            else
                px += stepX;
            err += 2 * minor - 2 * major;
        } else {
            err += 2 * minor;
        }
        if (xMajor)
            px += stepX;
        else
            py += stepY;
    }
}

} // namespace quelsor
