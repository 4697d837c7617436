// Writes a long recording for the memory and speed figures of reading recordings: an answer of
// the sample configuration ("78D1CA1C#", closed by a short pair) every 30 s in light noise, for
// SECONDS, at RATE Hz with CHANNELS channels, as a 16-bit WAV or FLAC (by the name's extension),
// written piece by piece (libsndfile).
//   bench_make_recording SECONDS RATE CHANNELS FILE.wav|FILE.flac

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(
            stderr, "Usage: bench_make_recording SECONDS RATE CHANNELS FILE.wav|FILE.flac\n");
        return 2;
    }
    const long seconds = std::atol(argv[1]);
    const int rate = std::atoi(argv[2]);
    const int channels = std::atoi(argv[3]);
    const std::string path = argv[4];
    const bool flac = path.size() > 5 && path.substr(path.size() - 5) == ".flac";
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = (flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr || seconds <= 0 || rate <= 0 || channels <= 0) {
        std::fprintf(stderr, "bench_make_recording: %s: %s\n", path.c_str(), sf_strerror(file));
        return 1;
    }
    // 30 s of audio: 1 s of silence, the answer (150 ms pair, 150 ms silence per character),
    // 600 ms of silence, a 10 ms closing pair, silence to the end.
    static const char keys[] = "123A456B789C*0#D";
    static const double low[] = { 697, 770, 852, 941 };
    static const double high[] = { 1209, 1336, 1477, 1633 };
    std::vector<float> period(static_cast<std::size_t>(rate) * 30, 0.0f);
    std::size_t at = static_cast<std::size_t>(rate);
    const auto pair = [&](int ms, double f1, double f2) {
        for (int n = 1; n <= rate * ms / 1000; ++n, ++at)
            period[at] = static_cast<float>(0.35
                * (std::sin(2 * std::numbers::pi * f1 * n / rate)
                    + std::sin(2 * std::numbers::pi * f2 * n / rate)));
    };
    for (const char c : std::string("78D1CA1C#")) {
        const auto k = std::string(keys).find(c);
        pair(150, high[k % 4], low[k / 4]);
        at += static_cast<std::size_t>(rate) * 150 / 1000;
    }
    at += static_cast<std::size_t>(rate) * 600 / 1000;
    pair(10, 1633, 941);

    std::mt19937 random(9);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    std::vector<float> frames(period.size() * static_cast<std::size_t>(channels));
    for (long done = 0; done < seconds; done += 30) {
        for (std::size_t i = 0; i < period.size(); ++i)
            for (int c = 0; c < channels; ++c)
                frames[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)]
                    = period[i] + noise(random);
        const long take = std::min<long>(30, seconds - done) * rate;
        if (sf_writef_float(file, frames.data(), take) != take) {
            std::fprintf(stderr, "bench_make_recording: %s: %s\n", path.c_str(), sf_strerror(file));
            sf_close(file);
            return 1;
        }
    }
    return sf_close(file) == 0 ? 0 : 1;
}
