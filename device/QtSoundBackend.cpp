#include "device/QtSoundBackend.h"

#include "common/SampleFormat.h"
#include "device/QtEventWait.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

namespace quelsor {

namespace {

    // The program's one sample format as Qt names it.
    QAudioFormat ProgramFormat(int sampleRate)
    {
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(kChannels);
        format.setSampleFormat(QAudioFormat::Int16);
        return format;
    }

    // The device the audio source writes into: every byte goes straight to the capture buffer.
    class BufferWriter : public QIODevice {
    public:
        explicit BufferWriter(std::shared_ptr<CaptureBuffer> buffer)
            : buffer_(std::move(buffer))
        {
        }

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 length) override
        {
            if (length > 0)
                buffer_->Write(data, static_cast<std::size_t>(length));
            return length;
        }

    private:
        std::shared_ptr<CaptureBuffer> buffer_;
    };

    // How long a stopped sink is kept before it is deleted (see PlaySamples).
    constexpr int kSinkDeletionDelayMs = 2000;

} // namespace

// Owns the audio source on the capture thread; every method runs on that thread.
class CaptureWorker : public QObject {
public:
    bool Start(const QAudioDevice& device, const std::shared_ptr<CaptureBuffer>& buffer)
    {
        Stop();
        writer_ = std::make_unique<BufferWriter>(buffer);
        writer_->open(QIODevice::WriteOnly);
        source_ = std::make_unique<QAudioSource>(device, ProgramFormat(kSampleRate));
        // One notification slice (32 ms) of device buffering: the server then hands the data
        // over slice by slice instead of in bursts of several.
        source_->setBufferSize(static_cast<qsizetype>(kNotifySliceBytes));
        // A source that stops with an error (the sound server went away, the device was
        // unplugged) ends the capture loop with its error message instead of leaving the window
        // listening to nothing.
        QObject::connect(source_.get(), &QAudioSource::stateChanged, this,
            [source = source_.get(), buffer](QAudio::State state) {
                if (state == QAudio::StoppedState && source->error() != QAudio::NoError)
                    buffer->MarkDeviceLost();
            });
        source_->start(writer_.get());
        return source_->error() == QAudio::NoError && source_->state() != QAudio::StoppedState;
    }

    void Stop()
    {
        if (source_) {
            source_->stop();
            source_.reset();
        }
        writer_.reset();
    }

private:
    std::unique_ptr<BufferWriter> writer_;
    std::unique_ptr<QAudioSource> source_;
};

QtSoundBackend::QtSoundBackend()
{
    AttachQtGuiThread();
    captureThread_.setObjectName(QStringLiteral("quelsor-capture"));
}

QtSoundBackend::~QtSoundBackend()
{
    ReleaseCaptureDevice();
    if (captureThread_.isRunning()) {
        if (worker_)
            QMetaObject::invokeMethod(
                worker_, [w = worker_] { delete w; }, Qt::BlockingQueuedConnection);
        worker_ = nullptr;
        captureThread_.quit();
        captureThread_.wait();
    }
}

int QtSoundBackend::Load()
{
    // Qt Multimedia is linked in; it needs the application object for its event loops.
    if (!QCoreApplication::instance() || !AttachQtGuiThread())
        return -3;
    return 0;
}

void QtSoundBackend::Unload() { ReleaseCaptureDevice(); }

namespace {

    // The device of a direction whose id is `id`, or the default one when id is empty; a null
    // device when it is absent.
    QAudioDevice DeviceById(bool input, const std::string& id)
    {
        if (id.empty())
            return input ? QMediaDevices::defaultAudioInput() : QMediaDevices::defaultAudioOutput();
        const QList<QAudioDevice> devices
            = input ? QMediaDevices::audioInputs() : QMediaDevices::audioOutputs();
        for (const QAudioDevice& device : devices) {
            if (device.id().toStdString() == id)
                return device;
        }
        return {};
    }

} // namespace

bool QtSoundBackend::ListDevices(std::vector<SoundDevice>& devices, std::string& error)
{
    devices.clear();
    error.clear();
    for (const bool input : { true, false }) {
        const QAudioDevice preferred
            = input ? QMediaDevices::defaultAudioInput() : QMediaDevices::defaultAudioOutput();
        for (const QAudioDevice& device :
            input ? QMediaDevices::audioInputs() : QMediaDevices::audioOutputs())
            devices.push_back({ input, device.id().toStdString(),
                device.description().toStdString(), device.id() == preferred.id() });
    }
    return true;
}

bool QtSoundBackend::OpenCaptureDevice()
{
    inputDevice_ = DeviceById(true, inputId_);
    inputOpen_ = !inputDevice_.isNull();
    return inputOpen_;
}

DeviceResult QtSoundBackend::CreateCaptureBuffer(
    const CaptureFormat& format, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer)
{
    if (!inputOpen_)
        return DeviceResult::Uninitialized;
    if (bytes == 0 || !IsProgramCaptureFormat(format))
        return DeviceResult::InvalidParam;
    if (!inputDevice_.isFormatSupported(ProgramFormat(format.samplesPerSecond)))
        return DeviceResult::BadFormat;
    buffer_ = std::make_shared<CaptureBuffer>(bytes);
    buffer = buffer_;
    return DeviceResult::Ok;
}

bool QtSoundBackend::StartCaptureStream()
{
    if (!inputOpen_ || !buffer_)
        return false;
    if (!captureThread_.isRunning()) {
        captureThread_.start();
        worker_ = new CaptureWorker;
        worker_->moveToThread(&captureThread_);
    }
    bool started = false;
    QMetaObject::invokeMethod(
        worker_,
        [this, &started, device = inputDevice_, buffer = buffer_] {
            started = worker_->Start(device, buffer);
        },
        Qt::BlockingQueuedConnection);
    return started;
}

void QtSoundBackend::ReleaseCaptureDevice()
{
    if (worker_ && captureThread_.isRunning())
        QMetaObject::invokeMethod(
            worker_, [w = worker_] { w->Stop(); }, Qt::BlockingQueuedConnection);
    buffer_.reset();
    inputOpen_ = false;
}

WaitResult QtSoundBackend::WaitForNotification(NotificationEvent& event)
{
    return WaitWithQtEvents(event);
}

void QtSoundBackend::WakeWaiter() { WakeQtGuiThread(); }

bool QtSoundBackend::PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate)
{
    if (samples.empty() || sampleRate <= 0)
        return true;
    const QAudioDevice device = DeviceById(false, outputId_);
    if (device.isNull())
        return false;
    const QAudioFormat format = ProgramFormat(sampleRate);
    if (!device.isFormatSupported(format))
        return false;

    // The sink and the samples it reads outlive this call (see below); the buffer is the sink's
    // child and holds its own copy of the samples.
    auto* sink = new QAudioSink(device, format);
    auto* source = new QBuffer(sink);
    source->setData(reinterpret_cast<const char*>(samples.data()),
        static_cast<qsizetype>(samples.size() * sizeof(std::int16_t)));
    source->open(QIODevice::ReadOnly);

    const qint64 lengthUs = static_cast<qint64>(samples.size()) * 1000000 / sampleRate;
    QEventLoop loop;
    bool heard = false;
    // Bounded: the samples' own length plus the grace, whatever the device does.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(lengthUs / 1000) + playbackGraceMs_);

    // Once the last byte has been handed over, the device still holds its own buffer: wait
    // until the played time reaches the end, checking again at the time it should.
    QTimer drain;
    drain.setSingleShot(true);
    const auto checkDrained = [&] {
        const qint64 left = lengthUs - sink->processedUSecs();
        if (left <= 0) {
            heard = true;
            loop.quit();
        } else {
            drain.start(static_cast<int>(std::clamp<qint64>(left / 1000 + 1, 1, 200)));
        }
    };
    QObject::connect(&drain, &QTimer::timeout, &loop, checkDrained);
    QObject::connect(sink, &QAudioSink::stateChanged, &loop, [&](QAudio::State state) {
        if (state == QAudio::IdleState && source->atEnd() && !drain.isActive())
            checkDrained();
        else if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
            loop.quit();
    });

    sink->start(source);
    if (sink->error() == QAudio::NoError && sink->state() != QAudio::StoppedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    sink->stop();
    // Qt Multimedia 6.4's PulseAudio sink asks the server to drain the stream when it runs out
    // of data and does not cancel that request when stopped: the reply may still come after
    // stop() and is handed to the sink object. Deleted at once, the sink would be used after
    // its destruction (a crash now and then, right after a playback). It is deleted once the
    // server has long answered.
    QTimer::singleShot(kSinkDeletionDelayMs, [sink] { delete sink; });
    return heard;
}

} // namespace quelsor
