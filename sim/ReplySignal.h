#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelsor {

// How a remote device sends its replies: each text (the echo of a command, then its answer) as
// DTMF tones, followed by a silence longer than the requester's end-of-answer wait and a very
// short tone pair. The requester's detector closes an answer only at a change of tone mask after
// that silence, so the pair must light at least one 1 ms block; kept near 8 ms it stays far below
// the 42 ms a character needs, even with noise.
struct ReplyTiming {
    int answerDelayMs = 100; // silence after the command before the reply starts
    int closingSilenceMs = 500; // after each text, before its closing pair (> 452 ms)
    int closingPairMs = 8;
    char closingPairKey = 'D';
    int trailingSilenceMs = 50; // after each closing pair
};

// Appends the closing pair (the tones of timing.closingPairKey for closingPairMs; nothing when
// the key has no pair).
void AppendClosingPair(std::vector<std::int16_t>& samples, const ReplyTiming& timing);

// Appends text as DTMF tones, then the closing silence, the closing pair and the trailing silence.
void AppendClosedText(
    std::vector<std::int16_t>& samples, const std::string& text, const ReplyTiming& timing);

// The whole reply to a command: the answer delay, the echo of the command (when echo and the
// command is not empty), then the answer (when not empty), each closed as above.
std::vector<std::int16_t> BuildReply(
    const std::string& command, const std::string& answer, bool echo, const ReplyTiming& timing);

// Scales samples by levelDb decibels (0 = unchanged, -20 = a tenth of the amplitude), rounding
// to nearest and clipping to the 16-bit range.
void ScaleLevel(std::vector<std::int16_t>& samples, double levelDb);

} // namespace quelsor
