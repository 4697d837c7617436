#include "Resampler.h"

#include <soxr.h>

namespace quelsor {

Resampler::Resampler(double inputRate, double outputRate)
    : piece_(8192)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(inputRate, outputRate, 1, &error, &io, &quality, nullptr);
    if (error != nullptr || soxr_ == nullptr) {
        error_ = error != nullptr ? error : "cannot create the resampler";
        if (soxr_ != nullptr)
            soxr_delete(soxr_);
        soxr_ = nullptr;
    }
}

Resampler::~Resampler()
{
    if (soxr_ != nullptr)
        soxr_delete(soxr_);
}

void Resampler::Drain(const double* input, std::size_t count, std::vector<double>& out)
{
    // input null: flushing. soxr takes what input it can and gives what output fits; go on
    // until the input is taken and no more output comes.
    std::size_t taken = 0;
    for (;;) {
        std::size_t used = 0;
        std::size_t made = 0;
        const double* in = input != nullptr ? input + taken : nullptr;
        if (soxr_process(soxr_, in, input != nullptr ? count - taken : 0, &used, piece_.data(),
                piece_.size(), &made)
            != nullptr) {
            error_ = "resampling failed";
            return;
        }
        taken += used;
        out.insert(out.end(), piece_.begin(), piece_.begin() + static_cast<std::ptrdiff_t>(made));
        if (input == nullptr ? made == 0 : (taken >= count && made < piece_.size()))
            return;
        if (input != nullptr && used == 0 && made == 0)
            return; // no progress: never loop for ever
    }
}

void Resampler::Process(const double* input, std::size_t count, std::vector<double>& out)
{
    if (soxr_ != nullptr && input != nullptr && count > 0)
        Drain(input, count, out);
}

void Resampler::Flush(std::vector<double>& out)
{
    if (soxr_ != nullptr)
        Drain(nullptr, 0, out);
}

} // namespace quelsor
