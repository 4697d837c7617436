// Writes the seed inputs of fuzz_recording into a folder: a short tone pair in every format
// libsndfile writes that a technician's recording comes in, each behind the target's leading
// option byte (0: channels mixed, pieces of one sample .. 0xFC: pieces of 8192).
//   make_recording_seeds FOLDER

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_recording_seeds FOLDER\n");
        return 2;
    }
    struct Seed {
        const char* name;
        int format;
        int rate;
        int channels;
    };
    const Seed seeds[] = {
        { "own.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1 },
        { "stereo24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2 },
        { "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1 },
        { "extensible32.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 22050, 2 },
        { "u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1 },
        { "ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1 },
        { "imaadpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 11025, 1 },
        { "rf64.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 16000, 1 },
        { "audio.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2 },
        { "audio.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1 },
        { "audio.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 1 },
        { "audio.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 1 },
        { "audio.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, 2 },
        { "audio.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 48000, 1 },
        { "audio.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 16000, 1 },
        { "audio.w64", SF_FORMAT_W64 | SF_FORMAT_DOUBLE, 16000, 1 },
    };
    int written = 0;
    for (const Seed& seed : seeds) {
        const std::string scratch = std::string(argv[1]) + "/." + seed.name;
        SF_INFO info {};
        info.samplerate = seed.rate;
        info.channels = seed.channels;
        info.format = seed.format;
        SNDFILE* file = sf_open(scratch.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            // A format this libsndfile cannot write is left out.
            std::fprintf(stderr, "make_recording_seeds: %s: %s\n", seed.name, sf_strerror(nullptr));
            continue;
        }
        // 60 ms of the pair of '5' (1336 + 770 Hz).
        const int frames = seed.rate * 60 / 1000;
        std::vector<float> samples;
        for (int n = 0; n < frames; ++n)
            for (int c = 0; c < seed.channels; ++c)
                samples.push_back(static_cast<float>(0.35
                    * (std::sin(2 * std::numbers::pi * 1336 * n / seed.rate)
                        + std::sin(2 * std::numbers::pi * 770 * n / seed.rate))));
        sf_writef_float(file, samples.data(), frames);
        sf_close(file);
        // The option byte, then the file.
        std::FILE* in = std::fopen(scratch.c_str(), "rb");
        const std::string target = std::string(argv[1]) + "/" + seed.name;
        std::FILE* out = std::fopen(target.c_str(), "wb");
        if (in != nullptr && out != nullptr) {
            ++written;
            std::fputc(seed.channels == 2 ? 0x7D : 0x40, out);
            char buffer[4096];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
                std::fwrite(buffer, 1, got, out);
        }
        if (in != nullptr)
            std::fclose(in);
        if (out != nullptr)
            std::fclose(out);
        std::remove(scratch.c_str());
    }
    return written > 0 ? 0 : 1;
}
