// Throughput of the signal chain: the eight band-pass filters, the DTMF detector over one second
// of audio, and one 512-point spectrum frame.

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "audio/FftAnalyser.h"
#include "audio/FilterBank.h"
#include "audio/ToneGenerator.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace quelsor;

// A window that ignores everything but the threshold.
class QuietHost : public IDetectorHost {
public:
    int Threshold() const override { return 0; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t, char) override { }
    void OnAnswer(const std::string&) override { }
};

// One second of a typical answer: tone pairs and silences.
std::vector<std::int16_t> OneSecondOfAnswer()
{
    std::vector<std::int16_t> samples;
    AppendDtmfSequence(samples, "1A9#");
    samples.resize(16000, 0);
    return samples;
}

// 16 samples through each of the eight filters, filters side by side as the detector runs them.
void BM_FilterSampleBank(benchmark::State& state)
{
    auto bank = NewDesignedFilterBank();
    const std::vector<std::int16_t> samples = OneSecondOfAnswer();
    std::size_t at = 0;
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < 16; ++i) {
            const double x = samples[at + static_cast<std::size_t>(i)];
            for (BandPassFilter& filter : *bank)
                sum += filter.FilterSample(x);
        }
        benchmark::DoNotOptimize(sum);
        at = (at + 16) % samples.size();
    }
    state.SetItemsProcessed(state.iterations() * 16 * 8);
}
BENCHMARK(BM_FilterSampleBank);

// DetectDTMF over one second of audio, in 512-sample regions as capture delivers it. The
// "realtime" counter is seconds of audio per second of processing.
void BM_DetectDtmfPerSecond(benchmark::State& state)
{
    auto bank = NewDesignedFilterBank();
    DetectorState detector;
    QuietHost host;
    const std::vector<std::int16_t> samples = OneSecondOfAnswer();
    for (auto _ : state) {
        for (std::size_t at = 0; at < samples.size(); at += 512)
            DetectDTMF(detector, *bank, host, samples.data() + at, 512);
    }
    state.SetItemsProcessed(state.iterations() * 16000);
    state.counters["realtime"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DetectDtmfPerSecond)->Unit(benchmark::kMillisecond);

void BM_FftFrame(benchmark::State& state)
{
    FftAnalyser fft;
    fft.Setup(512, 256);
    std::vector<float> input(512);
    for (int n = 0; n < 512; ++n)
        input[static_cast<std::size_t>(n)] = static_cast<float>(12000.0 * std::sin(0.3 * n));
    std::vector<std::int32_t> output(256);
    for (auto _ : state) {
        fft.Transform(input.data(), output.data());
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_FftFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
