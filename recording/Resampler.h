#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct soxr; // libsoxr's resampler

namespace quelsor {

// A libsoxr resampler from one rate to another, very high quality, one channel of doubles, fed
// in pieces. Its output lines up with its input: the first output sample is at time 0.
class Resampler {
public:
    Resampler(double inputRate, double outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Empty when the resampler was made; libsoxr's reason otherwise (nothing is produced then).
    const std::string& Error() const { return error_; }

    // Takes count samples and appends the output they complete to out.
    void Process(const double* input, std::size_t count, std::vector<double>& out);
    // At the end of the input: appends what is still held back.
    void Flush(std::vector<double>& out);

private:
    void Drain(const double* input, std::size_t count, std::vector<double>& out);

    soxr* soxr_ = nullptr;
    std::string error_;
    std::vector<double> piece_; // output of one soxr_process call
};

} // namespace quelsor
