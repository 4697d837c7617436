#include "CliRecording.h"

#include "CliWav.h"

#include "audio/DetectorFeed.h"
#include "audio/FilterBank.h"
#include "audio/ParallelFilterBank.h"
#include "recording/RecordingTime.h"

#include <climits>
#include <cstdio>

namespace quelsor::cli {

const char* const kRecordingFormatsHelp
    = "FILE is a recording in any format libsndfile reads (WAV in PCM 8 to 32 bits or\n"
      "float, FLAC, Ogg Vorbis, Opus, MP3, AIFF, ...), at any rate from 4000 Hz, mono\n"
      "or not: it is mixed down to one channel, converted to 16000 Hz (libsoxr) and\n"
      "scaled to 16 bits (samples beyond full scale are clipped and counted). A 16 kHz\n"
      "mono 16-bit file is read as it is. A build without libsndfile reads only 16 kHz\n"
      "mono 16-bit PCM WAV files. Recordings of any length are read piece by piece;\n"
      "on a terminal, those over 10 minutes show their progress on stderr.\n";

void AddRecordingOptions(CLI::App& app, RecordingArguments& arguments, bool onlyChannel)
{
    if (!onlyChannel)
        app.add_flag("--times", arguments.times,
            "begin each line of an answer with the time, within the recording, at which the "
            "answer began: HH:MM:SS.mmm");
    app.add_option("--channel", arguments.channel,
           "read channel N only (1 = the first); by default the channels are mixed down by their "
           "mean")
        ->option_text("N")
        ->transform(Decimal(1, INT_MAX, "channel", "1 or more"));
    if (!onlyChannel)
        app.add_option("--threads", arguments.threads,
               "run the eight filters on N threads (default: one per core, at most 8); the output "
               "is the same for any N")
            ->option_text("N")
            ->transform(Decimal(1, INT_MAX, "threads", "1 or more"));
}

std::unique_ptr<RecordingReader> OpenRecordingFor(
    const char* command, const std::string& path, int channel)
{
    RecordingOptions options;
    options.channel = channel;
    RecordingOpenResult opened = OpenRecording(path, options);
    if (!opened.reader)
        std::fprintf(
            stderr, "quelsor-cli %s: %s: %s\n", command, path.c_str(), opened.error.c_str());
    return std::move(opened.reader);
}

std::unique_ptr<ProgressLine> NewProgressLine(const RecordingReader& reader)
{
    const RecordingInfo& info = reader.Info();
    const double total = info.frames < 0 || info.sampleRate <= 0
        ? -1.0
        : static_cast<double>(info.frames) / info.sampleRate;
    return std::make_unique<ProgressLine>(stderr, total, ProgressLine::IsTerminal(stderr));
}

void ReadWholeRecording(RecordingReader& reader, ProgressLine& progress,
    const std::function<void(const std::int16_t*, std::size_t)>& piece)
{
    std::vector<std::int16_t> samples(16384);
    const double rate = reader.Info().sampleRate;
    while (const std::size_t got = reader.Read(samples.data(), samples.size())) {
        piece(samples.data(), got);
        progress.Update(static_cast<double>(reader.FramesRead()) / rate);
    }
    progress.Erase();
}

int ReportRecordingEnd(const char* command, const std::string& path, const RecordingReader& reader)
{
    std::fflush(stdout);
    if (reader.ClippedSamples() > 0)
        std::fprintf(stderr,
            "quelsor-cli %s: %s: %lld samples were beyond full scale and were clipped\n", command,
            path.c_str(), static_cast<long long>(reader.ClippedSamples()));
    if (!reader.Problem().empty()) {
        std::fprintf(
            stderr, "quelsor-cli %s: %s: %s\n", command, path.c_str(), reader.Problem().c_str());
        return 2;
    }
    return 0;
}

void DetectRecording(RecordingReader& reader, ProgressLine& progress, DetectorState& state,
    IDetectorHost& host, int threads)
{
    const std::unique_ptr<FilterBank> bank = NewDesignedFilterBank();
    RecordingFeed feed(
        state, *bank, host, threads > 0 ? threads : ParallelFilterBank::DefaultThreads());
    ReadWholeRecording(reader, progress,
        [&feed](const std::int16_t* samples, std::size_t count) { feed.Feed(samples, count); });
    feed.Finish();
    std::fflush(stdout);
}

void AnswerClock::OnCharacter(std::int64_t block)
{
    // The first character of an answer: its pair began stableCount + 1 blocks before the block
    // that ended it (the detector has not reset the count yet when it reports the character).
    if (state_.receivedText.size() == 1)
        startBlock_ = block - state_.stableCount - 1;
}

std::string AnswerClock::StartText() const { return RecordingTimeText(startBlock_); }

} // namespace quelsor::cli
