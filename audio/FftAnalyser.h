#pragma once

#include <cstdint>
#include <memory>

namespace quelsor {

// The spectrum analyser of the display: magnitudes of the first N/2 bins of an N-point DFT,
// single precision throughout, no window and no normalisation. At 16000 Hz and N = 512, bin k is
// centred on k × 31.25 Hz and a full-scale sine reaches about 8.4 million in its bin.
//
// Tables are built by Setup (bit-reversal permutation, one twiddle pair per stage) and the
// transform is an in-place iterative radix-2 decimation in time whose twiddle factor advances by
// complex recurrence within each stage. The object owns its tables; Transform allocates nothing.
class FftAnalyser {
public:
    FftAnalyser() = default;
    FftAnalyser(const FftAnalyser&) = delete;
    FftAnalyser& operator=(const FftAnalyser&) = delete;

    // Back to the state of a freshly loaded program: no tables, size 0.
    void Clear();

    // Releases the old tables, then builds new ones for a transform of N = 2 × halfSize points
    // fed from inputLength samples (fewer are padded with zeros, more are ignored). halfSize
    // must be a power of two between 1 and 2^20; otherwise nothing is built and false is
    // returned (Transform then writes nothing).
    bool Setup(int inputLength, int halfSize);

    // Writes N/2 magnitudes, each truncated toward zero (and limited to the 32-bit range), from
    // at least inputLength samples. Before Setup or after Release it writes nothing.
    void Transform(const float* input, std::int32_t* output);

    // Frees every table: bit reversal, twiddles, real and imaginary work arrays.
    void Release();

    int Size() const { return size_; } // N, 0 when not set up
    int InputLength() const { return inputLength_; }

private:
    int inputLength_ = 0;
    int size_ = 0;
    std::unique_ptr<std::int32_t[]> bitReversal_;
    std::unique_ptr<float[]> twiddles_; // (cos, sin) per stage
    std::unique_ptr<float[]> real_;
    std::unique_ptr<float[]> imag_;
};

} // namespace quelsor
