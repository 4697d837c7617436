#pragma once

#include "recording/ByteSource.h"
#include "recording/RecordingReader.h"

#include <memory>

namespace quelsor {

// The program's own sample format read from a RIFF/WAVE file by hand: PCM (or extensible PCM),
// 16-bit, mono, 16000 Hz. What a build without libsndfile reads, and what the usual build falls
// back on when libsndfile refuses such a file (a data chunk before the format chunk, which
// libsndfile does not accept). Chunks may come in any order; unknown chunks and the pad byte of
// an odd-sized chunk are skipped; only the first data chunk is read, its trailing odd byte left
// out. A data chunk cut short is read up to the cut, then reported as the problem.
RecordingOpenResult OpenPcmWav(std::unique_ptr<ByteSource> source, const RecordingOptions& options);

} // namespace quelsor
