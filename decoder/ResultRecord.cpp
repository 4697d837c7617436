#include "ResultRecord.h"

#include "common/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>

namespace quelsor {

namespace {

    // The command sequence and the description of a request item: the text up to its first
    // blank, upper-cased as the generator sends it, and the rest.
    void SplitItem(const std::string& itemText, std::string& request, std::string& label)
    {
        const std::size_t blank = itemText.find(' ');
        request = itemText.substr(0, blank);
        for (char& c : request) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        label = blank == std::string::npos ? std::string() : itemText.substr(blank + 1);
    }

    void AppendJsonString(std::string& out, std::string_view text)
    {
        out += '"';
        for (const char c : ValidUtf8(text)) {
            const auto byte = static_cast<unsigned char>(c);
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
            }
        }
        out += '"';
    }

    // Seconds with milliseconds, independent of the locale ("12.345").
    std::string SecondsText(double seconds)
    {
        const auto ms = static_cast<long long>(std::llround(seconds * 1000.0));
        char text[40];
        std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
        return text;
    }

    // The number as the report printed it, or null when it is not a JSON number.
    std::string JsonNumber(const ResultRecord& record)
    {
        if (!record.value || !std::isfinite(*record.value) || record.valueText.empty())
            return "null";
        return record.valueText;
    }

    std::string CsvField(std::string_view text)
    {
        const std::string valid = ValidUtf8(text);
        const bool quote = valid.find_first_of(",\"\r\n") != std::string::npos
            || (!valid.empty() && (valid.front() == ' ' || valid.back() == ' '));
        if (!quote)
            return valid;
        std::string out = "\"";
        for (const char c : valid) {
            if (c == '"')
                out += '"';
            out += c;
        }
        return out + "\"";
    }

} // namespace

bool ParseRecordFormat(std::string_view name, RecordFormat& format)
{
    if (name == "text")
        format = RecordFormat::Text;
    else if (name == "json")
        format = RecordFormat::Json;
    else if (name == "csv")
        format = RecordFormat::Csv;
    else
        return false;
    return true;
}

ResultRecord RecordOfZone(const ZoneReport& report, const std::string& itemText)
{
    ResultRecord record;
    SplitItem(itemText, record.request, record.label);
    record.zone = report.zone;
    record.name = report.name;
    record.raw = report.raw;
    record.value = report.value;
    if (report.value)
        record.valueText = report.text;
    record.text = report.text;
    record.status = report.countMismatch ? "mismatch" : "ok";
    return record;
}

ResultRecord RecordWithoutZone(const std::string& itemText, const std::string& status)
{
    ResultRecord record;
    SplitItem(itemText, record.request, record.label);
    record.status = status;
    return record;
}

std::string IsoUtcTime(std::chrono::system_clock::time_point t)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm utc {};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
        utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
        static_cast<int>(ms.count() % 1000));
    return text;
}

std::string FormatJsonLine(const ResultRecord& record)
{
    std::string out = "{";
    const auto key = [&out](const char* name) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        out += name;
        out += "\":";
    };
    if (record.isoTime) {
        key("time");
        AppendJsonString(out, *record.isoTime);
    } else if (record.seconds) {
        key("time");
        out += SecondsText(*record.seconds);
    }
    key("request");
    AppendJsonString(out, record.request);
    key("label");
    AppendJsonString(out, record.label);
    if (record.zone) {
        key("zone");
        out += std::to_string(*record.zone);
        key("name");
        AppendJsonString(out, record.name);
        if (record.raw) {
            key("raw");
            out += std::to_string(*record.raw);
        }
        if (record.value) {
            key("value");
            out += JsonNumber(record);
        }
        key("text");
        AppendJsonString(out, record.text);
    } else if (!record.text.empty()) {
        // A record without a zone only has a text to say what went wrong (an error record).
        key("text");
        AppendJsonString(out, record.text);
    }
    key("status");
    AppendJsonString(out, record.status);
    if (record.quality) {
        const AnswerQuality& quality = *record.quality;
        key("level");
        out += OneDecimal(quality.level);
        key("level_db");
        out += OneDecimal(quality.LevelDb());
        if (quality.noiseBlocks > 0) {
            key("noise");
            out += OneDecimal(quality.noise);
        }
        key("snr");
        out += OneDecimal(quality.SnrDb());
    }
    return out + "}\n";
}

std::string CsvHeaderLine(std::size_t columns)
{
    constexpr const char* kNames[kCsvColumns] = { "time", "request", "label", "zone", "name", "raw",
        "value", "text", "status", "level", "level_db", "noise", "snr" };
    std::string out;
    for (std::size_t i = 0; i < std::min(columns, kCsvColumns); ++i)
        out += (i > 0 ? "," : "") + std::string(kNames[i]);
    return out + "\r\n";
}

std::string FormatCsvLine(const ResultRecord& record, std::size_t columns)
{
    std::string time;
    if (record.isoTime)
        time = *record.isoTime;
    else if (record.seconds)
        time = SecondsText(*record.seconds);
    const std::optional<AnswerQuality>& quality = record.quality;
    const std::string fields[] = {
        CsvField(time),
        CsvField(record.request),
        CsvField(record.label),
        record.zone ? std::to_string(*record.zone) : std::string(),
        CsvField(record.name),
        record.raw ? std::to_string(*record.raw) : std::string(),
        CsvField(record.value ? record.valueText : std::string()),
        CsvField(record.text),
        CsvField(record.status),
        quality ? OneDecimal(quality->level) : std::string(),
        quality ? OneDecimal(quality->LevelDb()) : std::string(),
        quality && quality->noiseBlocks > 0 ? OneDecimal(quality->noise) : std::string(),
        quality ? OneDecimal(quality->SnrDb()) : std::string(),
    };
    static_assert(std::size(fields) == kCsvColumns);
    std::string out = fields[0];
    for (std::size_t i = 1; i < std::min(columns, kCsvColumns); ++i)
        out += "," + fields[i];
    return out + "\r\n";
}

std::string ValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

} // namespace quelsor
