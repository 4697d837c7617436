// Cost of one captured notification slice in the sound layer: ProcessCapturedRegion on 512
// samples (32 ms of audio), that is one FFT frame, its spectrum drawing and 32 detector blocks.
// It must stay well below the 32 ms the slice lasts; the target is 1 ms on one core.

#include "audio/DetectorHost.h"
#include "audio/ToneGenerator.h"
#include "display/PixelCanvas.h"
#include "display/SpectrumDisplay.h"
#include "sound/SoundLayer.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <vector>

namespace {

using namespace quelsor;

// The window's side: the real spectrum drawing on a canvas of the window's size (or none), a
// detector host that keeps nothing, and no events to pump.
class BenchHost : public ISoundHost, public IDetectorHost, public ISpectrumHost {
public:
    explicit BenchHost(bool draw)
        : canvas_(782, 488, 0)
        , display_(canvas_, *this)
        , draw_(draw)
    {
        display_.ComputeMarkerBins();
        display_.FormPaint();
    }

    void ShowMessage(const std::string&) override { }
    void ProcessPendingEvents() override { }
    void DrawSpectrum(const std::int32_t* magnitudes, int count) override
    {
        if (draw_)
            display_.DrawSpectrum(magnitudes, count);
    }
    IDetectorHost& DetectorHost() override { return *this; }

    int Threshold() const override { return 0; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t, char) override { }
    void OnAnswer(const std::string&) override { }
    void AddLogLine(const std::string&) override { }

    bool Capturing() const override { return true; }
    bool GrilleChecked() const override { return true; }
    bool DebugChecked() const override { return false; }
    void ClearLog() override { }
    void SetIndicatorLeft(int, int) override { }

private:
    PixelCanvas canvas_;
    SpectrumDisplay display_;
    bool draw_;
};

// A backend whose first wait runs the measurement inside a running capture (so the analyser is
// set up exactly as capture sets it up), then stops.
class BenchBackend : public ISoundBackend {
public:
    BenchBackend(SoundLayer& layer, std::function<void()> measure)
        : layer_(layer)
        , measure_(std::move(measure))
    {
    }
    int Load() override { return 0; }
    void Unload() override { }
    bool OpenCaptureDevice() override { return true; }
    DeviceResult CreateCaptureBuffer(
        const CaptureFormat&, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer) override
    {
        buffer = std::make_shared<CaptureBuffer>(bytes);
        return DeviceResult::Ok;
    }
    bool StartCaptureStream() override { return true; }
    void ReleaseCaptureDevice() override { }
    WaitResult WaitForNotification(NotificationEvent&) override
    {
        measure_();
        layer_.StopCapture();
        return WaitResult::Input;
    }
    void WakeWaiter() override { }
    bool PlaySamples(const std::vector<std::int16_t>&, int) override { return true; }

private:
    SoundLayer& layer_;
    std::function<void()> measure_;
};

void ProcessOneSlice(benchmark::State& state, bool draw)
{
    // A slice in the middle of a tone pair, the busiest case for the detector's ranking.
    std::vector<std::int16_t> slice;
    AppendTone(slice, 32, false, 1336.0, 770.0);
    slice.resize(512);

    SoundLayer layer;
    layer.SetStopDelay(0);
    BenchHost host(draw);
    BenchBackend backend(layer, [&] {
        for (auto _ : state) {
            layer.ProcessCapturedRegion(slice.data(), 1024);
            benchmark::ClobberMemory();
        }
    });
    layer.InitSound(host, &backend);
    // "tmp.wav" goes to the current directory, as in the program.
    layer.StartCapture();
    layer.ReleaseSound();
    state.SetItemsProcessed(state.iterations() * 512);
}

void BM_ProcessCapturedRegionWithDrawing(benchmark::State& state) { ProcessOneSlice(state, true); }
void BM_ProcessCapturedRegionNoDrawing(benchmark::State& state) { ProcessOneSlice(state, false); }

BENCHMARK(BM_ProcessCapturedRegionWithDrawing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessCapturedRegionNoDrawing)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
