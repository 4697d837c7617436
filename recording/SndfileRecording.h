#pragma once

#include "recording/ByteSource.h"
#include "recording/RecordingReader.h"

#include <memory>

namespace quelsor {

// A recording read by libsndfile from source and converted to 16 kHz mono 16-bit (libsoxr for
// the rate). source is taken only when the recording opens; on failure it is left to the caller,
// who may try another reader on it.
RecordingOpenResult OpenSndfile(
    std::unique_ptr<ByteSource>& source, const RecordingOptions& options);

} // namespace quelsor
