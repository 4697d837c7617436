#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quelsor {

// How a sound device's own stream carries its samples: interleaved frames of `channels`
// samples at `rate` frames per second, each sample a 32-bit float (full scale ±1.0), a signed
// 16-bit or a signed 32-bit integer (24-bit devices give their samples left-justified in 32).
enum class SampleEncoding { Float32, Int16, Int32 };

struct DeviceStreamFormat {
    int rate = 16000;
    int channels = 1;
    SampleEncoding encoding = SampleEncoding::Int16;

    int BytesPerSample() const { return encoding == SampleEncoding::Int16 ? 2 : 4; }
    int BytesPerFrame() const { return BytesPerSample() * channels; }
    // Already the program's 16000 Hz mono 16-bit: nothing to convert.
    bool IsCaptureFormat() const;
};

// A streaming change of sample rate for one channel: each output sample is the input seen
// through a Kaiser-windowed sinc low-pass cut a little below the lower of the two Nyquist
// frequencies (16 zero crossings each side), so a downward change does not fold what lies
// above the new Nyquist frequency into the DTMF band. Output k stands for input time
// k * inputRate / outputRate; the filter's delay is compensated, so the first output lines up
// with the first input. Equal rates pass the samples through unchanged.
class RateChanger {
public:
    RateChanger(int inputRate, int outputRate);

    // Appends to `out` every output sample the inputs so far determine.
    void Push(const float* samples, std::size_t count, std::vector<float>& out);
    // Appends the outputs that still depend on inputs not yet given, as if silence followed.
    void Flush(std::vector<float>& out);

private:
    static constexpr int kPhases = 512; // offsets of an output from the input grid, per input

    // Computes the outputs whose time is before `end` (in inputs from history_[0]).
    void Produce(std::vector<float>& out, double end);
    // The filter's 2 * halfWidth_ taps for an output `phase` / kPhases after an input, computed
    // on first use (one phase only for 48000 to 16000 Hz).
    const std::vector<float>& Taps(int phase);

    double step_; // input samples per output sample
    double cutoff_; // cycles per input sample
    int halfWidth_; // input samples each side of an output's time that it depends on
    bool passThrough_;
    std::vector<float> history_; // the inputs later outputs still need, after leading zeros
    double position_; // time of the next output, in inputs from history_[0]
    std::vector<std::vector<float>> phaseTaps_ = std::vector<std::vector<float>>(kPhases);
};

// What capture gets from a device that will not deliver 16000 Hz mono 16-bit itself: its frames
// mixed to mono (the mean of the channels), brought to 16000 Hz and rounded to 16 bits, with
// clipping at full scale.
class CaptureConverter {
public:
    explicit CaptureConverter(const DeviceStreamFormat& device);
    // Appends the samples `frames` frames of device data (BytesPerFrame() bytes each) come to.
    void Convert(const void* data, std::size_t frames, std::vector<std::int16_t>& out);

private:
    DeviceStreamFormat device_;
    RateChanger rate_;
    std::vector<float> mono_;
    std::vector<float> converted_;
};

// The other way, for playback: a whole block of 16-bit mono samples at `sampleRate` as the
// device's frames (the same sample on every channel), the tail of the rate change included.
std::vector<std::uint8_t> ToDeviceFrames(
    const std::vector<std::int16_t>& samples, int sampleRate, const DeviceStreamFormat& device);

} // namespace quelsor
