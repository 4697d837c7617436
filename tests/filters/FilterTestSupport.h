#pragma once

#include "filters/BandPassFilter.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace quelsor::testing {

inline constexpr int kBankTones[8] = { 697, 770, 852, 941, 1209, 1336, 1477, 1633 };

// A filter of the DTMF bank: 16000 Hz, tone ± 20 Hz, from rest.
inline std::unique_ptr<BandPassFilter> DesignedFilter(int tone)
{
    auto filter = std::make_unique<BandPassFilter>();
    filter->sampleRate = 16000;
    filter->Design(tone - 20.0, tone + 20.0);
    return filter;
}

// Peak absolute output over [from, to) samples of a sine of amplitude a at f Hz fed from sample 0.
inline double PeakOutput(BandPassFilter& filter, double f, double a, int from, int to)
{
    double peak = 0.0;
    for (int n = 0; n < to; ++n) {
        const double y
            = filter.FilterSample(a * std::sin(2.0 * std::numbers::pi * f * n / 16000.0));
        if (n >= from)
            peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

} // namespace quelsor::testing
