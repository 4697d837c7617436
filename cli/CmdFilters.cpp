#include "Commands.h"

#include "audio/FilterBank.h"

#include <cstdio>

namespace quelsor::cli {

namespace {

    const char* const kFiltersUsage
        = "Usage: quelsor-cli filters\n"
          "\n"
          "Designs the DTMF band-pass filter bank (16000 Hz, tone +/- 20 Hz) and prints one line\n"
          "per filter, tones in order: the tone in Hz, the gain, then the feedback coefficients\n"
          "yCoeffs[0..6], each with %.10g, separated by single spaces.\n"
          "\n"
          "Options:\n"
          "  -h, --help   show this help\n";

} // namespace

int RunFilters(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kFiltersUsage, stdout);
        return 0;
    }
    if (!args.empty()) {
        std::fprintf(stderr, "quelsor-cli filters: unexpected argument '%s'\n\n%s", args[0].c_str(),
            kFiltersUsage);
        return 2;
    }
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
