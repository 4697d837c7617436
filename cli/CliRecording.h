#pragma once

#include "CommandLine.h"
#include "ProgressLine.h"

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "recording/RecordingReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelsor::cli {

// The options of the commands that read a recording.
struct RecordingArguments {
    int channel = 0; // --channel N: 1-based; 0 = the mean of all channels
    int threads = 0; // --threads N; 0 = one per core (ParallelFilterBank::DefaultThreads)
    bool times = false; // --times
};

// Declares --times, --channel N and --threads N in app; with onlyChannel, --channel alone.
void AddRecordingOptions(CLI::App& app, RecordingArguments& arguments, bool onlyChannel = false);

// What a command reads, for its usage text.
extern const char* const kRecordingFormatsHelp;

// Opens a recording for a command. When it cannot be read, prints
// "quelsor-cli COMMAND: PATH: why" on stderr and returns null; the command then exits with 2.
std::unique_ptr<RecordingReader> OpenRecordingFor(
    const char* command, const std::string& path, int channel);

// Reads the whole recording, handing every piece of samples (16 kHz mono) to piece, with a
// progress line on stderr when it is a terminal and the recording lasts more than 10 minutes
// (progress: made by the caller, so that its output can erase it first).
void ReadWholeRecording(RecordingReader& reader, ProgressLine& progress,
    const std::function<void(const std::int16_t*, std::size_t)>& piece);

// After ReadWholeRecording: reports on stderr, once each, the samples that were clipped and an
// early end of the recording. Returns the exit status: 0, or 2 when the recording ended early
// (what it held has been handed on all the same).
int ReportRecordingEnd(const char* command, const std::string& path, const RecordingReader& reader);

// A progress line for a recording as ReadWholeRecording draws it, on stderr.
std::unique_ptr<ProgressLine> NewProgressLine(const RecordingReader& reader);

// Runs the detector over a whole recording (ReadWholeRecording), the filters on `threads`
// threads (RecordingFeed; 0 = one per core), to the end of its last whole block.
void DetectRecording(RecordingReader& reader, ProgressLine& progress, DetectorState& state,
    IDetectorHost& host, int threads);

// The time of the answer being received, for --times: where, in the recording, the tone of its
// first character began (the block its pair appeared in). The detector's host calls
// OnCharacter for each accepted character.
class AnswerClock {
public:
    explicit AnswerClock(const DetectorState& state)
        : state_(state)
    {
    }
    void OnCharacter(std::int64_t block);
    // "HH:MM:SS.mmm" of the answer's start.
    std::string StartText() const;

private:
    const DetectorState& state_;
    std::int64_t startBlock_ = 0;
};

} // namespace quelsor::cli
