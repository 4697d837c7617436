#pragma once

#include "audio/LinkQuality.h"

#include <string>

namespace quelsor {

// The log lines of the request cycle that come before the decoder's report, shared by the window
// and `quelsor-cli request` (byte for byte, UTF-8).

// Logged once the command has been played, when listening for the answer begins.
inline constexpr const char* kAwaitingAnswer = "Attente de la réponse";

// Logged for every answer the detector closes, before it is decoded: the received text and its
// length in characters.
inline constexpr const char* kAnswerLogFormat = "%s (%d)";

// kAnswerLogFormat filled with received and its length, e.g. "78D1CA1C# (9)".
std::string AnswerLogLine(const std::string& received);

// Logged with "Aff. Debug" after the answer's line, when its quality was measured: the level
// (detector units), its height over the threshold and the noise floor (detector units, "-" when
// the answer has no quiet block between its characters), and the signal-to-noise ratio. Each %s
// is a number with one decimal (OneDecimal).
inline constexpr const char* kAnswerQualityFormat = "Niveau %s (seuil %s dB), bruit %s, S/B %s dB";
inline constexpr const char* kNoNoiseMeasured = "-";

// kAnswerQualityFormat filled, e.g. "Niveau 5012.3 (seuil +44.4 dB), bruit 14.8, S/B 50.6 dB".
std::string AnswerQualityLogLine(const AnswerQuality& quality);

} // namespace quelsor
