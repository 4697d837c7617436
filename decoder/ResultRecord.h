#pragma once

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
// value that is not a finite number is written as null.
std::string FormatJsonLine(const ResultRecord& record);

// CSV (RFC 4180): the header line and one record line, each ending with CRLF; fields holding a
// comma, a quote, a line break or blanks at either end are quoted.
std::string CsvHeaderLine();
std::string FormatCsvLine(const ResultRecord& record);

// Text that is valid UTF-8: each byte that is not part of a well-formed character becomes
// U+FFFD.
std::string ValidUtf8(std::string_view text);

} // namespace quelsor
