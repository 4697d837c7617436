// Throughput of reading recordings: the detector fed a recording with its filters on 1 to 8
// threads (RecordingFeed), and the conversion of a 48 kHz stereo file to 16 kHz mono (libsndfile
// and libsoxr). The "realtime" counter is seconds of audio per second of processing.
// scripts in bench/ compare the whole command with multimon-ng (compare-multimon.sh).

#include "audio/DetectorFeed.h"
#include "audio/FilterBank.h"
#include "audio/ToneGenerator.h"
#include "recording/RecordingReader.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace quelsor;

class QuietHost : public IDetectorHost {
public:
    int Threshold() const override { return 30; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t, char) override { }
    void OnAnswer(const std::string&) override { }
};

// 60 s of answers every few seconds, in light noise.
const std::vector<std::int16_t>& MinuteOfAnswers()
{
    static const std::vector<std::int16_t> samples = [] {
        std::vector<std::int16_t> s;
        while (s.size() < 60u * 16000) {
            AppendSilence(s, 2000);
            AppendDtmfSequence(s, "78D1CA1C#");
        }
        s.resize(60u * 16000);
        std::mt19937 random(1);
        for (std::int16_t& x : s)
            x = static_cast<std::int16_t>(x + static_cast<int>(random() % 601) - 300);
        return s;
    }();
    return samples;
}

void BM_RecordingFeedThreads(benchmark::State& state)
{
    const std::vector<std::int16_t>& samples = MinuteOfAnswers();
    auto bank = NewDesignedFilterBank();
    DetectorState detector;
    QuietHost host;
    RecordingFeed feed(detector, *bank, host, static_cast<int>(state.range(0)));
    for (auto _ : state)
        feed.Feed(samples.data(), samples.size());
    feed.Finish();
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 60.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordingFeedThreads)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef QUELSOR_HAVE_SNDFILE
// 10 s of a 48 kHz stereo 16-bit WAV file in memory, read as 16 kHz mono.
void BM_ReadFortyEightKilohertzStereo(benchmark::State& state)
{
    constexpr int kRate = 48000;
    constexpr int kSeconds = 10;
    std::vector<std::uint8_t> file;
    const auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const std::uint32_t dataBytes = kRate * kSeconds * 4;
    file.insert(file.end(), { 'R', 'I', 'F', 'F' });
    put(36 + dataBytes, 4);
    file.insert(file.end(), { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ' });
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(kRate, 4);
    put(kRate * 4, 4);
    put(4, 2);
    put(16, 2);
    file.insert(file.end(), { 'd', 'a', 't', 'a' });
    put(dataBytes, 4);
    std::mt19937 random(2);
    for (std::uint32_t i = 0; i < dataBytes / 2; ++i)
        put(static_cast<std::uint32_t>(random() % 20001) - 10000, 2);
    std::vector<std::int16_t> samples(16384);
    for (auto _ : state) {
        RecordingOpenResult opened = OpenRecordingBuffer(file.data(), file.size());
        while (opened.reader->Read(samples.data(), samples.size()) > 0) { }
    }
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadFortyEightKilohertzStereo)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
