#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quelsor {

// What the detector needs from a recording, whatever the file holds: 16-bit samples, one
// channel, 16000 per second.
//
// With libsndfile and libsoxr (the usual build), every format libsndfile reads is accepted: WAV
// (8 to 32-bit PCM, float, WAVE_FORMAT_EXTENSIBLE), FLAC, Ogg Vorbis, Opus, MP3, AIFF, ...
//   - the channels are mixed down by their mean, or one of them is picked;
//   - another sample rate is converted to 16000 Hz (libsoxr, very high quality);
//   - the values are scaled to 16 bits and rounded; values beyond full scale are clipped and
//     counted;
//   - a 16 kHz mono 16-bit PCM file goes through untouched, sample for sample.
// A build without them (the Windows cross-build) reads only 16 kHz mono 16-bit PCM WAV files,
// through the same interface and with the same samples.
//
// Reading streams: memory does not grow with the length of the recording.
inline constexpr int kMinRecordingRate = 4000; // Hz: below, the highest tone (1633 Hz) is lost
inline constexpr int kMaxRecordingRate = 768000; // Hz: the highest rate recorders use

struct RecordingOptions {
    int channel = 0; // 0: the mean of all channels; 1..channels: that channel alone
};

struct RecordingInfo {
    int sampleRate = 0; // Hz, of the file
    int channels = 0;
    std::int64_t frames = -1; // frames of the file as its header announces them; -1 unknown
    bool unchanged = false; // 16 kHz mono 16-bit PCM: the samples go through as they are
};

// An open recording, read as a stream of 16 kHz mono 16-bit samples.
class RecordingReader {
public:
    virtual ~RecordingReader() = default;

    const RecordingInfo& Info() const { return info_; }

    // Up to max samples into out. Returns 0 at the end of the recording, and from then on;
    // Problem() then tells whether it ended early.
    virtual std::size_t Read(std::int16_t* out, std::size_t max) = 0;

    // Empty while all is well; once Read has returned 0, why the recording ended before its
    // announced end (a truncated file, a decoding error). What was read until then is good.
    const std::string& Problem() const { return problem_; }
    // Samples that were beyond the 16-bit range and were clipped, so far.
    std::int64_t ClippedSamples() const { return clipped_; }
    // Frames of the file read so far (for progress: compare with Info().frames).
    std::int64_t FramesRead() const { return framesRead_; }

protected:
    RecordingInfo info_;
    std::string problem_;
    std::int64_t clipped_ = 0;
    std::int64_t framesRead_ = 0;
};

struct RecordingOpenResult {
    std::unique_ptr<RecordingReader> reader; // null on failure
    std::string error; // why, in a few words, when reader is null
};

// Opens a recording file.
RecordingOpenResult OpenRecording(const std::string& path, const RecordingOptions& options = {});

// Opens a recording held in memory (size bytes at data, which must outlive the reader).
RecordingOpenResult OpenRecordingBuffer(
    const void* data, std::size_t size, const RecordingOptions& options = {});

// Reads a whole (short) recording into samples, for the command file and the tests. False, with
// the reason in error, when it cannot be opened or ends early (samples then hold what was read).
bool ReadRecordingSamples(const std::string& path, std::vector<std::int16_t>& samples,
    std::string& error, const RecordingOptions& options = {});

// True when this build reads every format through libsndfile and libsoxr.
bool ReadsEveryRecordingFormat();

} // namespace quelsor
