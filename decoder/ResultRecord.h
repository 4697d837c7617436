#pragma once

#include "audio/LinkQuality.h"
#include "decoder/DecoderHost.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quelsor {

// The machine-readable form of a result: one record per reported zone, or one record without a
// zone for a request that gave none (time-out, wrong length, sound failure).
struct ResultRecord {
    // When the answer closed: an ISO 8601 UTC time ("2026-12-08T09:42:23.123Z"), or for a
    // recording the seconds from its start. Neither for answers typed in.
    std::optional<std::string> isoTime;
    std::optional<double> seconds;
    std::string request; // the command sequence, e.g. "1234"
    std::string label; // the request item's description, e.g. "Etat general"
    std::optional<std::int32_t> zone;
    std::string name;
    std::optional<std::int32_t> raw;
    std::optional<double> value;
    std::string valueText; // value exactly as the report prints it (e.g. "12.000")
    std::string text;
    std::string status; // ok, mismatch, timeout, error
    // How well the answer came through (the same for every record of one answer); none for a
    // request without answer and for answers typed in.
    std::optional<AnswerQuality> quality;
};

enum class RecordFormat { Text, Json, Csv };

// "text", "json" or "csv"; false for anything else.
bool ParseRecordFormat(std::string_view name, RecordFormat& format);

// The record of one report line of the request item itemText ("1234 Etat general").
ResultRecord RecordOfZone(const ZoneReport& report, const std::string& itemText);
// A record without a zone for itemText, with the status given.
ResultRecord RecordWithoutZone(const std::string& itemText, const std::string& status);

// t as ISO 8601 UTC with milliseconds.
std::string IsoUtcTime(std::chrono::system_clock::time_point t);

// One JSON object on one line (JSON Lines), ending with "\n". Absent fields are left out; a
// value that is not a finite number is written as null. A record with a quality ends with
// "level" (detector units), "level_db" (over the threshold), "noise" (detector units; absent
// when not measured) and "snr" (dB), each with one decimal.
std::string FormatJsonLine(const ResultRecord& record);

// CSV (RFC 4180): the header line and one record line, each ending with CRLF; fields holding a
// comma, a quote, a line break or blanks at either end are quoted. The columns: time, request,
// label, zone, name, raw, value, text, status, then level, level_db, noise and snr (empty
// without a quality). Files written before the last four were added have a header of the first
// nine: columns < kCsvColumns writes only the first `columns` fields, for such a file.
inline constexpr std::size_t kCsvColumns = 13;
inline constexpr std::size_t kCsvColumnsWithoutQuality = 9;
std::string CsvHeaderLine(std::size_t columns = kCsvColumns);
std::string FormatCsvLine(const ResultRecord& record, std::size_t columns = kCsvColumns);

// Text that is valid UTF-8: each byte that is not part of a well-formed character becomes
// U+FFFD.
std::string ValidUtf8(std::string_view text);

} // namespace quelsor
