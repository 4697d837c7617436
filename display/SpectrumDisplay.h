#pragma once

#include "common/DtmfTones.h"
#include "display/PixelCanvas.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelsor {

// What the spectrum display needs of the window besides its canvas: the capture flag, the two
// check boxes, the log and the Left of the eight tone indicators.
class ISpectrumHost {
public:
    virtual ~ISpectrumHost() = default;
    virtual bool Capturing() const = 0;
    virtual bool GrilleChecked() const = 0; // "Afficher les marqueurs DTMF"
    virtual bool DebugChecked() const = 0; // "Aff. Debug"
    virtual void ClearLog() = 0;
    virtual void AddLogLine(const std::string& line) = 0;
    // Moves indicator l<tone> (0..7) so that its left edge is at x = left (client pixels).
    virtual void SetIndicatorLeft(int tone, int left) = 0;
};

// The live spectrum in the upper left corner of the window: a black plot with a white outline
// from (9, 11) to (522, 101), the red curve of the last FFT frame (bin k at x = 2k + 10, one
// pixel of height per 10000 magnitude units, clipped at y = 11) and the sky-blue DTMF marker
// lines with the tone indicators moved under them. Draws on a canvas in client coordinates.
//
// The previous curve is removed by retracing it in black, never by refilling the plot, so a
// frame costs 510 segments plus 8 markers. Only DrawPlotFrame (paint, check box) wipes the plot.
class SpectrumDisplay {
public:
    static constexpr int kCurvePoints = 256; // entries of curveY; 1..255 are drawn
    static constexpr int kSpectrumScale = 10000; // magnitude units per pixel of height
    static constexpr std::uint32_t kOutlineColour = 0xFFFFFF; // white
    static constexpr std::uint32_t kPlotColour = 0x000000; // black, also the erase colour
    static constexpr std::uint32_t kCurveColour = 0x0000FF; // red (0x00BBGGRR)
    static constexpr std::uint32_t kMarkerColour = 0xF0CAA6; // sky blue

    SpectrumDisplay(PixelCanvas& canvas, ISpectrumHost& host);

    // Once, at the first showing of the window: clears the log, writes the sample-rate line (and,
    // with "Aff. Debug" checked, the bins) and sets the plot geometry and the flat initial curve.
    void ComputeMarkerBins();
    // One FFT frame: count magnitudes, entry k for bin k (256 expected; missing entries read 0).
    // Draws nothing while the window is not capturing.
    void DrawSpectrum(const std::int32_t* magnitudes, int count);
    // The white-outlined black plot; wipes curve and markers.
    void DrawPlotFrame();
    // The eight marker lines from y = 12 to the bottom outline, and the indicators under them.
    void DrawMarkers();
    // The window has been exposed: plot frame, then markers when shown.
    void FormPaint();
    // "Afficher les marqueurs DTMF" clicked: plot frame, then markers when now checked.
    void chkGrilleClick();

    const std::array<std::int32_t, kToneCount>& ToneFreq() const { return toneFreq_; }
    const std::array<std::int32_t, kToneCount>& MarkerBin() const { return markerBin_; }
    std::int32_t BinLow() const { return binLow_; }
    std::int32_t BinHigh() const { return binHigh_; }
    std::int32_t PlotBottom() const { return plotBottom_; }
    std::int32_t PlotWidth() const { return plotWidth_; }
    const std::array<std::int32_t, kCurvePoints>& CurveY() const { return curveY_; }

    // x of the curve point of bin k.
    static constexpr int PointX(int bin) { return 2 * bin + 10; }

private:
    PixelCanvas& canvas_;
    ISpectrumHost& host_;

    std::array<std::int32_t, kToneCount> toneFreq_ {}; // Hz
    std::array<std::int32_t, kToneCount> markerBin_ {}; // display bin of each tone's marker
    std::int32_t binLow_ = 0; // lowest marker bin - 5, only logged
    std::int32_t binHigh_ = 0; // highest marker bin + 5, only logged
    std::int32_t plotBottom_ = 0;
    std::int32_t plotWidth_ = 0;
    std::array<std::int32_t, kCurvePoints> curveY_ {}; // y of each point of the last curve
    // The last point drawn, shared by the erase and the draw pass.
    int penX_ = 0;
    int penY_ = 0;
};

} // namespace quelsor
