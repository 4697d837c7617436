#include "tests/support/SimulatedLink.h"

#include "audio/ToneGenerator.h"
#include "common/SampleFormat.h"
#include "sim/DeviceListener.h"
#include "sim/ReplySignal.h"

#include <algorithm>
#include <chrono>

namespace quelsor::testing {

namespace {

    constexpr std::size_t kSliceSamples = kNotifySliceBytes / 2;

    // A capture buffer that can refuse its notifications, for the start failures -4 and -5.
    class SimulatedBuffer : public CaptureBuffer {
    public:
        SimulatedBuffer(std::uint32_t bytes, int startFailure)
            : CaptureBuffer(bytes)
            , startFailure_(startFailure)
        {
        }
        bool NotifyAvailable() const override { return startFailure_ != -4; }
        bool SetNotificationPositions(const std::vector<std::uint32_t>& offsets,
            std::shared_ptr<NotificationEvent> event) override
        {
            if (startFailure_ == -5)
                return false;
            return CaptureBuffer::SetNotificationPositions(offsets, std::move(event));
        }

    private:
        int startFailure_;
    };

} // namespace

SimulatedLink::SimulatedLink(Config config)
    : config_(std::move(config))
{
}

SimulatedLink::~SimulatedLink() { StopPusher(); }

int SimulatedLink::Load()
{
    ++loadCount_;
    return config_.loadCode;
}

void SimulatedLink::Unload()
{
    ++unloadCount_;
    ReleaseCaptureDevice();
}

bool SimulatedLink::OpenCaptureDevice()
{
    if (config_.startFailure == -2)
        return false;
    ++openCount_;
    deviceOpen_ = true;
    return true;
}

DeviceResult SimulatedLink::CreateCaptureBuffer(
    const CaptureFormat& format, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer)
{
    if (config_.startFailure == -3)
        return config_.bufferResult;
    if (!deviceOpen_)
        return DeviceResult::Uninitialized;
    if (format.samplesPerSecond != kSampleRate || format.channels != kChannels
        || format.bitsPerSample != kBitsPerSample)
        return DeviceResult::BadFormat;
    auto created = std::make_shared<SimulatedBuffer>(bytes, config_.startFailure);
    {
        std::lock_guard lock(mutex_);
        buffer_ = created;
    }
    buffer = created;
    return DeviceResult::Ok;
}

bool SimulatedLink::StartCaptureStream()
{
    if (config_.startFailure == -6 || !deviceOpen_)
        return false;
    StopPusher();
    streaming_ = true;
    if (config_.pace == Pace::RealTime) {
        {
            std::lock_guard lock(mutex_);
            pusherStop_ = false;
        }
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double, std::milli>(32.0 / std::max(config_.speed, 0.01)));
        pusher_ = std::thread([this, period] {
            auto next = std::chrono::steady_clock::now() + period;
            std::unique_lock lock(mutex_);
            while (!stopPusher_.wait_until(lock, next, [this] { return pusherStop_; })) {
                lock.unlock();
                PushSlice();
                lock.lock();
                next += period;
            }
        });
    }
    return true;
}

void SimulatedLink::StopPusher()
{
    {
        std::lock_guard lock(mutex_);
        pusherStop_ = true;
    }
    stopPusher_.notify_all();
    if (pusher_.joinable())
        pusher_.join();
}

void SimulatedLink::ReleaseCaptureDevice()
{
    streaming_ = false;
    StopPusher();
    if (deviceOpen_) {
        ++releaseCount_;
        deviceOpen_ = false;
    }
    std::lock_guard lock(mutex_);
    buffer_.reset();
}

void SimulatedLink::PushSlice()
{
    std::vector<std::int16_t> slice(kSliceSamples, 0);
    std::shared_ptr<CaptureBuffer> buffer;
    {
        std::lock_guard lock(mutex_);
        buffer = buffer_;
        const std::size_t n = std::min(kSliceSamples, queue_.size());
        std::copy_n(queue_.begin(), n, slice.begin());
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (!buffer)
        return;
    buffer->Write(slice.data(), kNotifySliceBytes);
    ++slicesPushed_;
}

WaitResult SimulatedLink::WaitForNotification(NotificationEvent& event)
{
    if (config_.pace == Pace::RealTime) {
        // The pusher signals every 32 ms / speed; the time-out only keeps the window's events
        // flowing if it stops.
        return event.WaitFor(std::chrono::milliseconds(100)) ? WaitResult::Notified
                                                             : WaitResult::Input;
    }
    if (event.TryConsume())
        return WaitResult::Notified;
    if (streaming_)
        PushSlice();
    return event.TryConsume() ? WaitResult::Notified : WaitResult::Input;
}

bool SimulatedLink::PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate)
{
    if (!config_.outputDevice || sampleRate != kSampleRate)
        return false;
    const std::string command = Decode(samples);
    {
        std::lock_guard lock(mutex_);
        heard_.push_back(command);
    }
    Transmit(ReplyFor(command));
    return true;
}

std::string SimulatedLink::Decode(const std::vector<std::int16_t>& samples) const
{
    // The device has been listening to silence before the command starts, and goes on after
    // it, so the first character satisfies the gap rule and the last one ends.
    std::vector<std::int16_t> heard;
    AppendSilence(heard, 50);
    heard.insert(heard.end(), samples.begin(), samples.end());
    AppendSilence(heard, 50);
    DeviceListener listener(config_.deviceThreshold);
    listener.Hear(heard.data(), heard.size());
    return listener.Heard();
}

std::vector<std::int16_t> SimulatedLink::ReplyFor(const std::string& command) const
{
    ReplyTiming timing;
    timing.answerDelayMs = config_.answerDelayMs;
    timing.closingSilenceMs = config_.closingSilenceMs;
    timing.closingPairMs = config_.closingPairMs;
    timing.closingPairKey = config_.closingPairKey;
    const auto answer = config_.answers.find(command);
    return BuildReply(command, answer != config_.answers.end() ? answer->second : std::string(),
        config_.echo, timing);
}

void SimulatedLink::Transmit(const std::vector<std::int16_t>& samples)
{
    std::lock_guard lock(mutex_);
    queue_.insert(queue_.end(), samples.begin(), samples.end());
}

std::size_t SimulatedLink::PendingSamples() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::vector<std::string> SimulatedLink::CommandsHeard() const
{
    std::lock_guard lock(mutex_);
    return heard_;
}

} // namespace quelsor::testing
