#include "CommandLine.h"
#include "Commands.h"

#include "audio/FilterBank.h"

#include <cstdio>

namespace quelsor::cli {

int RunFilters(const std::vector<std::string>& args)
{
    CommandLine line("filters",
        "Designs the DTMF band-pass filter bank (16000 Hz, tone +/- 20 Hz) and prints\n"
        "one line per filter, tones in order: the tone in Hz, the gain, then the\n"
        "feedback coefficients yCoeffs[0..6], each with %.10g, separated by single\n"
        "spaces.\n");
    if (const auto done = line.Parse(args))
        return *done;
    const auto bank = NewDesignedFilterBank();
    for (std::size_t t = 0; t < bank->size(); ++t) {
        const BandPassFilter& filter = (*bank)[t];
        std::printf("%.10g %.10g", static_cast<double>(kToneFrequencies[t]), filter.gain);
        for (int i = 0; i <= 6; ++i)
            std::printf(" %.10g", filter.yCoeffs[i]);
        std::printf("\n");
    }
    return 0;
}

} // namespace quelsor::cli
