#include "CliRecording.h"
#include "CliWav.h"
#include "Commands.h"

#include "audio/DetectorFeed.h"
#include "audio/FftAnalyser.h"

#include <cstdio>
#include <string>

namespace quelsor::cli {

namespace {

    const std::string kFftDescription
        = std::string(
              "Prints, for each complete 512-sample frame of a recording (once at 16000 Hz),\n"
              "the 256 integer magnitudes of its spectrum as the display receives them (bin k\n"
              "at k x 31.25 Hz, no window, no normalisation), one line per frame, separated by\n"
              "single spaces. A last incomplete frame is left out.\n"
              "\n")
        + kRecordingFormatsHelp;

} // namespace

int RunFft(const std::vector<std::string>& args)
{
    CommandLine line("fft", kFftDescription,
        "Exit status: 0 done, 2 usage error, or a file that cannot be read or ends\n"
        "early (its frames are still printed).\n");
    RecordingArguments recording;
    std::string path;
    AddRecordingOptions(line.App(), recording, true);
    line.App().add_option("FILE", path)->required();
    if (const auto done = line.Parse(args))
        return *done;
    const std::unique_ptr<RecordingReader> reader
        = OpenRecordingFor("fft", path, recording.channel);
    if (!reader)
        return 2;
    const std::unique_ptr<ProgressLine> progress = NewProgressLine(*reader);

    constexpr std::size_t kFrame = kCaptureRegionSamples; // 512 samples, 32 ms
    FftAnalyser fft;
    fft.Setup(kFrame, kFrame / 2);
    std::vector<float> input(kFrame);
    std::size_t filled = 0;
    std::vector<std::int32_t> magnitudes(kFrame / 2);
    std::string text;
    ReadWholeRecording(*reader, *progress, [&](const std::int16_t* samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            input[filled++] = static_cast<float>(samples[i]);
            if (filled < kFrame)
                continue;
            filled = 0;
            fft.Transform(input.data(), magnitudes.data());
            text.clear();
            for (std::size_t k = 0; k < magnitudes.size(); ++k) {
                if (k > 0)
                    text += ' ';
                text += std::to_string(magnitudes[k]);
            }
            text += '\n';
            progress->BeforeOutput();
            std::fputs(text.c_str(), stdout);
        }
    });
    return ReportRecordingEnd("fft", path, *reader);
}

} // namespace quelsor::cli
