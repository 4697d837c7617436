#include "SndfileRecording.h"

#include "recording/RecordingTime.h"
#include "recording/Resampler.h"
#include "recording/SampleConversion.h"

#include "common/SampleFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

namespace quelsor {

namespace {

    constexpr std::size_t kReadValues = 16384; // values per read, whatever the channel count

    // libsndfile reads through the ByteSource.
    sf_count_t SourceLength(void* source) { return static_cast<ByteSource*>(source)->Size(); }
    sf_count_t SourceSeek(sf_count_t offset, int whence, void* source)
    {
        return static_cast<ByteSource*>(source)->Seek(offset, whence);
    }
    sf_count_t SourceRead(void* into, sf_count_t count, void* source)
    {
        if (count <= 0)
            return 0;
        return static_cast<sf_count_t>(
            static_cast<ByteSource*>(source)->Read(into, static_cast<std::size_t>(count)));
    }
    sf_count_t SourceWrite(const void*, sf_count_t, void*) { return 0; }
    sf_count_t SourceTell(void* source) { return static_cast<ByteSource*>(source)->Tell(); }

    SF_VIRTUAL_IO sourceIo { SourceLength, SourceSeek, SourceRead, SourceWrite, SourceTell };

    // libsndfile takes the samples present when a data chunk is announced longer than the file;
    // only its log tells: "data : 200 (should be 16)" (WAV and its kin), "SSND : ..." (AIFF).
    std::string TruncationInLog(SNDFILE* file)
    {
        std::vector<char> log(16384);
        sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
        log.back() = '\0';
        std::istringstream lines(log.data());
        for (std::string line; std::getline(lines, line);) {
            char tag[5] = {};
            long long announced = 0;
            long long present = 0;
            if (std::sscanf(line.c_str(), " %4s : %lld (should be %lld)", tag, &announced, &present)
                    == 3
                && (std::strcmp(tag, "data") == 0 || std::strcmp(tag, "SSND") == 0))
                return "truncated " + std::string(tag) + " chunk: " + std::to_string(announced)
                    + " bytes announced, " + std::to_string(present) + " present";
        }
        return {};
    }

    class SndfileRecording : public RecordingReader {
    public:
        SndfileRecording(std::unique_ptr<ByteSource> source, SNDFILE* file, const SF_INFO& info,
            const RecordingOptions& options, std::string truncation)
            : source_(std::move(source))
            , file_(file)
            , format_(info.format)
            , channel_(options.channel)
            , truncation_(std::move(truncation))
        {
            info_.sampleRate = info.samplerate;
            info_.channels = info.channels;
            info_.frames = info.frames == SF_COUNT_MAX ? -1 : info.frames;
            info_.unchanged = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16
                && info.channels == 1 && info.samplerate == kSampleRate;
            if (!info_.unchanged) {
                readFrames_ = std::max<std::size_t>(
                    1, kReadValues / static_cast<std::size_t>(info.channels));
                frames_.resize(readFrames_ * static_cast<std::size_t>(info.channels));
                mono_.resize(readFrames_);
                if (info.samplerate != kSampleRate)
                    resampler_.emplace(info.samplerate, kSampleRate);
            }
        }
        ~SndfileRecording() override { sf_close(file_); }
        SndfileRecording(const SndfileRecording&) = delete;
        SndfileRecording& operator=(const SndfileRecording&) = delete;

        std::string ResamplerError() const { return resampler_ ? resampler_->Error() : ""; }

        std::size_t Read(std::int16_t* out, std::size_t max) override
        {
            if (info_.unchanged)
                return ReadUnchanged(out, max);
            std::size_t produced = 0;
            while (produced < max) {
                if (queued_ == queue_.size() && !Refill())
                    break;
                const std::size_t count = std::min(max - produced, queue_.size() - queued_);
                clipped_ += static_cast<std::int64_t>(
                    ToSixteenBit(queue_.data() + queued_, count, out + produced));
                queued_ += count;
                produced += count;
            }
            return produced;
        }

    private:
        std::size_t ReadUnchanged(std::int16_t* out, std::size_t max)
        {
            if (ended_ || max == 0)
                return 0;
            const sf_count_t got = sf_readf_short(file_, out, static_cast<sf_count_t>(max));
            if (got <= 0) {
                End();
                return 0;
            }
            framesRead_ += got;
            return static_cast<std::size_t>(got);
        }

        // Reads, mixes and resamples the next piece of the file into the queue; false at the end
        // once nothing is left.
        bool Refill()
        {
            queue_.clear();
            queued_ = 0;
            while (queue_.empty()) {
                if (ended_)
                    return false;
                const sf_count_t got
                    = sf_readf_double(file_, frames_.data(), static_cast<sf_count_t>(readFrames_));
                if (got <= 0) {
                    End();
                    if (resampler_)
                        resampler_->Flush(queue_);
                    continue;
                }
                framesRead_ += got;
                const auto count = static_cast<std::size_t>(got);
                MixDown(frames_.data(), count, info_.channels, channel_, mono_.data());
                if (resampler_)
                    resampler_->Process(mono_.data(), count, queue_);
                else
                    queue_.assign(
                        mono_.begin(), mono_.begin() + static_cast<std::ptrdiff_t>(count));
            }
            return true;
        }

        // The end of the file: did it come early?
        void End()
        {
            ended_ = true;
            const std::string stopped
                = RecordingTimeText(framesRead_ * 1000 / std::max(1, info_.sampleRate));
            if (sf_error(file_) != SF_ERR_NO_ERROR)
                problem_ = "damaged or truncated: decoding stopped at " + stopped + " ("
                    + sf_strerror(file_) + ")";
            else if (!truncation_.empty())
                problem_ = truncation_;
            else if (framesRead_ == 0)
                problem_ = "no samples could be decoded: the file is damaged or truncated";
            else if (info_.frames > framesRead_ && (format_ & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG)
                // An MP3 file's length is often an estimate: only the others are checked.
                problem_ = "truncated: " + std::to_string(framesRead_) + " of the "
                    + std::to_string(info_.frames) + " frames announced are present (it stops at "
                    + stopped + ")";
            else if (resampler_ && !resampler_->Error().empty())
                problem_ = resampler_->Error();
        }

        std::unique_ptr<ByteSource> source_; // read by file_: closed after it
        SNDFILE* file_;
        int format_;
        int channel_;
        std::string truncation_;
        bool ended_ = false;
        std::size_t readFrames_ = 0;
        std::vector<double> frames_; // interleaved, as read
        std::vector<double> mono_;
        std::optional<Resampler> resampler_;
        std::vector<double> queue_; // converted, full scale, not yet handed out
        std::size_t queued_ = 0; // of queue_ handed out
    };

    RecordingOpenResult Failure(std::string text)
    {
        RecordingOpenResult result;
        result.error = std::move(text);
        return result;
    }

} // namespace

RecordingOpenResult OpenSndfile(
    std::unique_ptr<ByteSource>& source, const RecordingOptions& options)
{
    SF_INFO info {};
    SNDFILE* file = sf_open_virtual(&sourceIo, SFM_READ, &info, source.get());
    if (file == nullptr)
        return Failure(
            std::string("not a readable recording (libsndfile: ") + sf_strerror(nullptr) + ")");
    std::string problem;
    const std::string truncation = TruncationInLog(file);
    if (info.channels < 1)
        problem = "no channels";
    else if (info.samplerate < kMinRecordingRate)
        problem = "sample rate " + std::to_string(info.samplerate) + " Hz is too low: at least "
            + std::to_string(kMinRecordingRate) + " Hz is needed for the DTMF tones to survive";
    else if (info.samplerate > kMaxRecordingRate)
        problem = "sample rate " + std::to_string(info.samplerate) + " Hz is too high: at most "
            + std::to_string(kMaxRecordingRate) + " Hz";
    else if (options.channel > info.channels)
        problem = "no channel " + std::to_string(options.channel) + ": the file has "
            + std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels");
    else if (info.frames == 0)
        problem = truncation.empty() ? "no samples in the file" : truncation;
    if (!problem.empty()) {
        sf_close(file);
        return Failure(problem);
    }
    auto reader
        = std::make_unique<SndfileRecording>(std::move(source), file, info, options, truncation);
    if (const std::string error = reader->ResamplerError(); !error.empty())
        return Failure("cannot convert " + std::to_string(info.samplerate) + " Hz to "
            + std::to_string(kSampleRate) + " Hz: " + error);
    RecordingOpenResult result;
    result.reader = std::move(reader);
    return result;
}

} // namespace quelsor
