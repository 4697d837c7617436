#include "display/SpectrumDisplay.h"

#include "common/SampleFormat.h"

#include <cstdio>

namespace quelsor {

namespace {
    // Log texts of the display.
    constexpr const char* kSampleRateLine = "Echantillons/seconde:%d";
    constexpr const char* kMarkerLine = "(%d)Freq:%d -> %d";
    constexpr const char* kBinLowLine = "Borne Inf: %d";
    constexpr const char* kBinHighLine = "Borne Sup: %d";

    constexpr int kPlotLeft = 9;
    constexpr int kPlotTop = 11; // also the highest y a curve point may take
    constexpr int kMarkerTop = 12;
    constexpr int kInitialCurveY = 13;

    std::string Format(const char* format, int a)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, a);
        return text;
    }

    std::string Format(const char* format, int a, int b, int c)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, a, b, c);
        return text;
    }
}

SpectrumDisplay::SpectrumDisplay(PixelCanvas& canvas, ISpectrumHost& host)
    : canvas_(canvas)
    , host_(host)
{
}

void SpectrumDisplay::ComputeMarkerBins()
{
    binHigh_ = 0;
    binLow_ = 4000;
    host_.ClearLog();
    host_.AddLogLine(Format(kSampleRateLine, kSampleRate));
    for (int i = 0; i < kToneCount; ++i) {
        const auto t = static_cast<std::size_t>(i);
        toneFreq_[t] = kToneFrequencies[t];
        // Half a 15.625 Hz step per display bin; the high group is pulled one bin lower and
        // 1477 Hz two more. This fixed table leaves each tone's measured peak one bin to the
        // right of its marker, two bins for 1209, 1336 and 1477 Hz.
        int b = static_cast<int>(toneFreq_[t] / 15.625 - 1.0);
        if (i > 3)
            b -= 1;
        if (i == 6)
            b -= 2;
        b /= 2;
        markerBin_[t] = b;
        if (b > binHigh_)
            binHigh_ = b;
        if (b < binLow_)
            binLow_ = b;
        if (host_.DebugChecked())
            host_.AddLogLine(Format(kMarkerLine, i + 1, toneFreq_[t], markerBin_[t]));
    }
    binLow_ -= 5;
    binHigh_ += 5;
    if (host_.DebugChecked()) {
        host_.AddLogLine(Format(kBinLowLine, binLow_));
        host_.AddLogLine(Format(kBinHighLine, binHigh_));
    }
    plotBottom_ = 100;
    plotWidth_ = 512;
    curveY_.fill(kInitialCurveY);
}

void SpectrumDisplay::DrawPlotFrame()
{
    canvas_.SetPenColour(kOutlineColour);
    canvas_.SetBrushColour(kPlotColour);
    canvas_.Rectangle(kPlotLeft, kPlotTop, plotWidth_ + 10, plotBottom_ + 1);
}

void SpectrumDisplay::DrawMarkers()
{
    canvas_.SetPenColour(kMarkerColour);
    for (int i = 0; i < kToneCount; ++i) {
        const int x = PointX(markerBin_[static_cast<std::size_t>(i)]);
        canvas_.MoveTo(x, kMarkerTop);
        canvas_.LineTo(x, plotBottom_ + 1);
        host_.SetIndicatorLeft(i, x - 2);
    }
}

void SpectrumDisplay::DrawSpectrum(const std::int32_t* magnitudes, int count)
{
    if (!host_.Capturing())
        return;
    if (host_.GrilleChecked())
        DrawMarkers();

    // Erase pass: retrace the previous curve in the plot's colour.
    canvas_.SetPenColour(kPlotColour);
    for (int k = 1; k < kCurvePoints; ++k) {
        const int x = PointX(k);
        const int y = curveY_[static_cast<std::size_t>(k)];
        if (k == 1)
            canvas_.MoveTo(x, y);
        else
            canvas_.MoveTo(penX_, penY_);
        canvas_.LineTo(x, y);
        penX_ = x;
        penY_ = y;
    }

    // Draw pass.
    canvas_.SetPenColour(kCurveColour);
    for (int k = 1; k < kCurvePoints; ++k) {
        std::int32_t magnitude = (magnitudes != nullptr && k < count) ? magnitudes[k] : 0;
        if (magnitude < 0)
            magnitude = 0; // the analyser never gives one; keep the curve inside the plot
        const double v = magnitude;
        const int x = PointX(k);
        int y = static_cast<int>((plotBottom_ - 1) - v / kSpectrumScale);
        if (y < kPlotTop)
            y = kPlotTop;
        if (k == 1)
            canvas_.MoveTo(x, y);
        else
            canvas_.MoveTo(penX_, penY_);
        canvas_.LineTo(x, y);
        curveY_[static_cast<std::size_t>(k)] = y;
        penX_ = x;
        penY_ = y;
    }
}

void SpectrumDisplay::FormPaint()
{
    DrawPlotFrame();
    if (host_.GrilleChecked())
        DrawMarkers();
}

void SpectrumDisplay::chkGrilleClick()
{
    DrawPlotFrame();
    if (host_.GrilleChecked())
        DrawMarkers();
}

} // namespace quelsor
