#include "FftAnalyser.h"

#include <cmath>
#include <limits>
#include <utility>

namespace quelsor {

namespace {

    constexpr int kMaxHalfSize = 1 << 20;
    constexpr float kTwoPiSingle = 6.2831855f; // 2π as a single-precision value

    std::int32_t MagnitudeToInt(float magnitude)
    {
        constexpr float kLimit = 2147483648.0f; // 2^31, exactly representable
        if (magnitude < kLimit)
            return magnitude >= 0.0f ? static_cast<std::int32_t>(magnitude) : 0;
        return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max() : 0; // NaN -> 0
    }

} // namespace

void FftAnalyser::Clear()
{
    // Owned tables cannot be merely forgotten: clearing a set-up analyser frees them.
    Release();
    inputLength_ = 0;
}

bool FftAnalyser::Setup(int inputLength, int halfSize)
{
    Release();
    if (halfSize < 1 || halfSize > kMaxHalfSize || (halfSize & (halfSize - 1)) != 0)
        return false;
    inputLength_ = inputLength < 0 ? 0 : inputLength;
    const int n = 2 * halfSize;

    bitReversal_ = std::make_unique<std::int32_t[]>(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        bitReversal_[i] = i;
    int j = 0;
    for (int i = 0; i < n; ++i) {
        if (j > i)
            std::swap(bitReversal_[i], bitReversal_[j]);
        int k = n / 2;
        while (k >= 1 && j >= k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }

    int stages = 0;
    for (int m = 2; m <= n; m *= 2)
        ++stages;
    twiddles_ = std::make_unique<float[]>(static_cast<std::size_t>(2 * stages));
    int s = 0;
    for (int m = 2; m <= n; m *= 2, ++s) {
        const float theta = -kTwoPiSingle / static_cast<float>(m);
        twiddles_[2 * s] = static_cast<float>(std::cos(static_cast<double>(theta)));
        twiddles_[2 * s + 1] = static_cast<float>(std::sin(static_cast<double>(theta)));
    }

    real_ = std::make_unique<float[]>(static_cast<std::size_t>(n));
    imag_ = std::make_unique<float[]>(static_cast<std::size_t>(n));
    size_ = n;
    return true;
}

void FftAnalyser::Transform(const float* input, std::int32_t* output)
{
    if (!bitReversal_ || !real_ || !imag_ || !twiddles_ || input == nullptr || output == nullptr)
        return;
    const int n = size_;
    for (int i = 0; i < n; ++i) {
        const int k = bitReversal_[i];
        real_[i] = k < inputLength_ ? input[k] : 0.0f;
        imag_[i] = 0.0f;
    }

    float* re = real_.get();
    float* im = imag_.get();
    int s = 0;
    for (int m = 2; m <= n; m *= 2, ++s) {
        const float c = twiddles_[2 * s];
        const float sn = twiddles_[2 * s + 1];
        const int half = m / 2;
        float wr = 1.0f;
        float wi = 0.0f;
        for (int j = 0; j < half; ++j) {
            for (int k = j; k < n; k += m) {
                const int p = k + half;
                const float tr = wr * re[p] - wi * im[p];
                const float ti = wr * im[p] + wi * re[p];
                re[p] = re[k] - tr;
                im[p] = im[k] - ti;
                re[k] = re[k] + tr;
                im[k] = im[k] + ti;
            }
            const float nextWr = wr * c - wi * sn;
            const float nextWi = wi * c + wr * sn;
            wr = nextWr;
            wi = nextWi;
        }
    }

    for (int j = 0; j < n / 2; ++j)
        output[j] = MagnitudeToInt(std::sqrt(re[j] * re[j] + im[j] * im[j]));
}

void FftAnalyser::Release()
{
    bitReversal_.reset();
    twiddles_.reset();
    real_.reset();
    imag_.reset();
    size_ = 0;
}

} // namespace quelsor
