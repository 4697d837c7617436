#include "CliWav.h"
#include "Commands.h"

#include "audio/DetectorFeed.h"
#include "audio/FftAnalyser.h"

#include <cstdio>

namespace quelsor::cli {

namespace {

    const char* const kFftUsage
        = "Usage: quelsor-cli fft FILE.wav\n"
          "\n"
          "Prints, for each complete 512-sample frame of a recording (PCM 16-bit mono\n"
          "16000 Hz), the 256 integer magnitudes of its spectrum as the display receives them\n"
          "(bin k at k x 31.25 Hz, no window, no normalisation), one line per frame, separated\n"
          "by single spaces. A last incomplete frame is left out.\n"
          "\n"
          "Options:\n"
          "  -h, --help   show this help\n"
          "\n"
          "Exit status: 0 done, 2 usage error or unusable WAV file.\n";

} // namespace

int RunFft(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kFftUsage, stdout);
        return 0;
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        std::fprintf(stderr, "quelsor-cli fft: expected one FILE.wav\n\n%s", kFftUsage);
        return 2;
    }
    std::vector<std::int16_t> samples;
    if (!LoadRecording("fft", args[0], samples))
        return 2;

    constexpr int kFrame = kCaptureRegionSamples; // 512 samples, 32 ms
    FftAnalyser fft;
    fft.Setup(kFrame, kFrame / 2);
    std::vector<float> input(kFrame);
    std::vector<std::int32_t> magnitudes(kFrame / 2);
    for (std::size_t at = 0; at + kFrame <= samples.size(); at += kFrame) {
        for (std::size_t i = 0; i < input.size(); ++i)
            input[i] = static_cast<float>(samples[at + i]);
        fft.Transform(input.data(), magnitudes.data());
        for (std::size_t k = 0; k < magnitudes.size(); ++k)
            std::printf(k == 0 ? "%d" : " %d", static_cast<int>(magnitudes[k]));
        std::printf("\n");
    }
    return 0;
}

} // namespace quelsor::cli
