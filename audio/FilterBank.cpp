#include "FilterBank.h"

#include "common/SampleFormat.h"

namespace quelsor {

void DesignFilterBank(FilterBank& bank)
{
    for (BandPassFilter& filter : bank)
        filter.sampleRate = kSampleRate;
    for (std::size_t t = 0; t < bank.size(); ++t) {
        const double tone = kToneFrequencies[t];
        bank[t].Design(tone - kFilterHalfBandwidth, tone + kFilterHalfBandwidth);
    }
}

std::unique_ptr<FilterBank> NewDesignedFilterBank()
{
    auto bank = std::make_unique<FilterBank>();
    DesignFilterBank(*bank);
    return bank;
}

} // namespace quelsor
