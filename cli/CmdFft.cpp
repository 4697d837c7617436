#include "CliRecording.h"
#include "CliWav.h"
#include "Commands.h"

#include "audio/DetectorFeed.h"
#include "audio/FftAnalyser.h"

#include <cstdio>
#include <string>

namespace quelsor::cli {

namespace {

    const std::string kFftUsage
        = std::string(
              "Usage: quelsor-cli fft [--channel N] FILE\n"
              "\n"
              "Prints, for each complete 512-sample frame of a recording (once at 16000 Hz),\n"
              "the 256 integer magnitudes of its spectrum as the display receives them (bin k\n"
              "at k x 31.25 Hz, no window, no normalisation), one line per frame, separated by\n"
              "single spaces. A last incomplete frame is left out.\n"
              "\n")
        + kRecordingFormatsHelp
        + "\n"
          "Options:\n"
        + kChannelHelp
        + "  -h, --help      show this help\n"
          "\n"
          "Exit status: 0 done, 2 usage error, or a file that cannot be read or ends\n"
          "early (its frames are still printed).\n";

    int UsageError(const std::string& problem)
    {
        std::fprintf(stderr, "quelsor-cli fft: %s\n\n%s", problem.c_str(), kFftUsage.c_str());
        return 2;
    }

} // namespace

int RunFft(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kFftUsage.c_str(), stdout);
        return 0;
    }
    RecordingArguments recording;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeRecordingOption(args, i, kChannelOption, recording, error)) {
            if (!error.empty())
                return UsageError(error);
        } else if ((args[i].size() > 1 && args[i][0] == '-') || !path.empty()) {
            return UsageError("expected one FILE");
        } else {
            path = args[i];
        }
    }
    if (path.empty())
        return UsageError("expected one FILE");
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
    std::string line;
    ReadWholeRecording(*reader, *progress, [&](const std::int16_t* samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            input[filled++] = static_cast<float>(samples[i]);
            if (filled < kFrame)
                continue;
            filled = 0;
            fft.Transform(input.data(), magnitudes.data());
            line.clear();
            for (std::size_t k = 0; k < magnitudes.size(); ++k) {
                if (k > 0)
                    line += ' ';
                line += std::to_string(magnitudes[k]);
            }
            line += '\n';
            progress->BeforeOutput();
            std::fputs(line.c_str(), stdout);
        }
    });
    return ReportRecordingEnd("fft", path, *reader);
}

} // namespace quelsor::cli
