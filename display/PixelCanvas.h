#pragma once

#include <cstdint>
#include <vector>

namespace quelsor {

// A framebuffer of our own that paints exactly the pixels the window toolkit of the original
// platform paints for its rectangle and line primitives, so the spectrum drawing looks and behaves
// the same everywhere (the unpainted end point of a line, the excluded right and bottom edges of a
// rectangle, the tie-breaking of diagonal steps). No Qt here: the window wraps Bits() in a QImage
// (Format_RGB32) to blit it.
//
// Colours are given as window colour values, 0x00BBGGRR (red in the low byte). Pixels are stored
// as 0xFFRRGGBB. Coordinates are pixels with y growing downwards; pixels outside the canvas are
// clipped silently. The pen is one pixel wide and always in copy mode.
class PixelCanvas {
public:
    PixelCanvas(int width, int height, std::uint32_t background);

    int Width() const { return width_; }
    int Height() const { return height_; }

    void SetPenColour(std::uint32_t colour) { pen_ = ToPixel(colour); }
    void SetBrushColour(std::uint32_t colour) { brush_ = ToPixel(colour); }

    // Fills the whole canvas with colour.
    void Fill(std::uint32_t colour);
    // Outlines columns left and right - 1 and rows top and bottom - 1 with the pen and fills
    // [left + 1, right - 1) x [top + 1, bottom - 1) with the brush. Nothing when left = right or
    // top = bottom; swapped corners are put in order first.
    void Rectangle(int left, int top, int right, int bottom);
    // Makes (x, y) the current position without painting.
    void MoveTo(int x, int y);
    // Paints from the current position to (x, y), the start point included and (x, y) excluded,
    // then makes (x, y) the current position.
    void LineTo(int x, int y);

    // Restricts painting to [left, right) x [top, bottom) (besides the canvas bounds), as a
    // window's paint handler is clipped to the region being repainted. ClearClip lifts it.
    void SetClipRect(int left, int top, int right, int bottom);
    void ClearClip();

    int PenX() const { return penX_; }
    int PenY() const { return penY_; }

    // Window colour value (0x00BBGGRR) of a pixel; 0xFFFFFFFF outside the canvas.
    std::uint32_t PixelColour(int x, int y) const;

    // The pixels, row after row from the top, 0xFFRRGGBB each; BytesPerLine() bytes per row.
    const std::uint32_t* Bits() const { return pixels_.data(); }
    int BytesPerLine() const { return width_ * 4; }

    static std::uint32_t ToPixel(std::uint32_t windowColour);
    static std::uint32_t ToWindowColour(std::uint32_t pixel);

private:
    void Plot(int x, int y, std::uint32_t pixel);

    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
    std::uint32_t pen_;
    std::uint32_t brush_;
    int penX_ = 0;
    int penY_ = 0;
    // Paintable area: the canvas, narrowed by the clip rectangle.
    int clipLeft_ = 0;
    int clipTop_ = 0;
    int clipRight_;
    int clipBottom_;
};

} // namespace quelsor
