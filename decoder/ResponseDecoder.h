#pragma once

#include "config/ParamSeq.h"
#include "decoder/DecoderHost.h"
#include "formula/FormulaCells.h"
#include "formula/FormulaEvaluator.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace quelsor {

// Size of the buffer the answer's character pairs are decoded into, in bytes.
inline constexpr int kResponseByteCount = 512;
using ResponseBytes = std::array<std::uint8_t, kResponseByteCount>;

// The 4-bit value a DTMF character stands for in an answer: 1..9 for themselves, 0 for ten,
// * eleven, # twelve, A..C thirteen to fifteen, D (and anything else) zero.
std::uint8_t DtmfNibble(char character);

// Cuts the bit field [startBit, startBit + bitLength) out of bytes and adds it to accumulator
// (preset 0 for BIN, 0xFF000000 for BINC). The bytes from startBit / 8 up to
// (startBit + bitLength) / 8, at least one, form a big-endian number, which is shifted right
// arithmetically by startBit mod 8 and, for lengths 1..7, masked to that many bits.
// Returns 0, or -1 for a length of 40 bits or more, -2 for a field outside the first 512 bits
// (a negative start or length included), -3 for a field over more than four bytes; on error the
// accumulator is unchanged.
std::int32_t ExtractZoneBits(const ResponseBytes& bytes, std::int32_t startBit,
    std::int32_t bitLength, std::int32_t& accumulator);

// The answer side of the status request cycle: classifies each string the detector closes
// (nothing pending, echo of the command, answer), checks its length, pairs its characters into
// bytes, cuts the configured zones out of them, stores their raw values in the zone cells and
// writes the parameter report. Every output is a log line of the host. The window owns one and
// forwards to it; the sequences belong to the window.
class ResponseDecoder {
public:
    // seqList: the configured requests, index for index with the host's sequence items.
    // evaluator: converts the zone formulas; the zone cells are entered in its cell table. None
    // is owned; all must outlive the decoder.
    ResponseDecoder(IDecoderHost& host, const SeqList& seqList, FormulaEvaluator& evaluator);
    ~ResponseDecoder();
    ResponseDecoder(const ResponseDecoder&) = delete;
    ResponseDecoder& operator=(const ResponseDecoder&) = delete;

    // The hundred cells Z1..Z100, created when the window is first shown and released when it
    // closes. Without them values are still decoded and reported, but formulas cannot read them.
    void CreateZoneCells();
    void ReleaseZoneCells();

    // Handles a string closed by the detector.
    void DecodeResponse(const std::string& received);
    // Records value in zone: its labelled text when the value is one of the zone's Values,
    // otherwise its decimal text and the zone's cell.
    void StoreZoneValue(TParamZone& zone, std::int32_t value);
    // Writes one line per zone of the pending sequence: its result text or its formula's value.
    void ReportZones();

    // Index of the request whose answer is awaited (in the items and in seqList), -1 for none.
    std::int32_t pendingSeq = -1;
    // The bytes of the answer being decoded, zeroed for each answer.
    ResponseBytes responseBytes {};
    std::unique_ptr<ZoneCells> zoneCells;

private:
    // What this answer gave a zone, for ZoneReport: its raw value and the label it chose.
    struct ZoneOutcome {
        std::int32_t raw = 0;
        std::optional<std::string> label;
    };

    void AddLine(const std::string& line) { host_.AddLogLine(line); }
    void DecodePairs(const std::string& received);

    IDecoderHost& host_;
    const SeqList& seqList_;
    FormulaEvaluator& evaluator_;
    std::unordered_map<const TParamZone*, ZoneOutcome> outcomes_; // this answer's zones
    bool countMismatch_ = false; // this answer's length was wrong
};

} // namespace quelsor
