#pragma once

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

} // namespace quelsor
