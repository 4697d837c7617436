#include "decoder/ResultRecord.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

namespace quelsor {
namespace {

    ZoneReport Report(std::int32_t zone, const char* name, std::optional<std::int32_t> raw,
        std::optional<double> value, const char* text, bool mismatch = false)
    {
        ZoneReport report;
        report.requestIndex = 0;
        report.zone = zone;
        report.name = name;
        report.raw = raw;
        report.value = value;
        report.text = text;
        report.countMismatch = mismatch;
        return report;
    }

    struct FormatRow {
        const char* what;
        ResultRecord record;
        std::string json;
        std::string csv;
    };

    TEST(ResultRecord, JsonLinesAndCsvOfEachKindOfRecord)
    {
        ResultRecord timed
            = RecordOfZone(Report(1, "Tension", 120, 12.0, "12.000"), "1234 Etat general");
        timed.isoTime = "2026-12-08T09:42:23.123Z";
        ResultRecord inRecording
            = RecordOfZone(Report(2, "Moteur", 1, std::nullopt, "Marche"), "12ab Etat general");
        inRecording.seconds = 3.2;
        ResultRecord awkward = RecordOfZone(
            Report(7, "Say \"hi\", then\nstop", -5, -5.0, "-5", true), "*5# Compteur, horaire");
        ResultRecord infinite = RecordOfZone(
            Report(9, "Never", std::nullopt, std::numeric_limits<double>::infinity(), "inf"),
            "9 x");
        ResultRecord timeout = RecordWithoutZone("2580 Mesures", "timeout");
        timeout.isoTime = "2026-12-08T09:42:30.000Z";
        ResultRecord badText = RecordWithoutZone("1 \xC9tat\x01", "mismatch");
        ResultRecord failed = RecordWithoutZone("2580 Mesures", "error");
        failed.text = "the sound input was lost (Connection terminated)";
        ResultRecord heard = timed;
        heard.quality = AnswerQuality { 5012.34, 14.96, 1200, 300, 30 };
        ResultRecord single = RecordWithoutZone("2580 Mesures", "mismatch");
        single.quality = AnswerQuality { 0.5, 0.0, 50, 0, 0 }; // no gap; threshold 0

        const FormatRow rows[] = {
            { "formula value with a time", timed,
                R"({"time":"2026-12-08T09:42:23.123Z","request":"1234","label":"Etat general","zone":1,"name":"Tension","raw":120,"value":12.000,"text":"12.000","status":"ok"})"
                "\n",
                "2026-12-08T09:42:23.123Z,1234,Etat "
                "general,1,Tension,120,12.000,12.000,ok,,,,\r\n" },
            { "label: no value; command upper-cased; seconds in a recording", inRecording,
                R"({"time":3.200,"request":"12AB","label":"Etat general","zone":2,"name":"Moteur","raw":1,"text":"Marche","status":"ok"})"
                "\n",
                "3.200,12AB,Etat general,2,Moteur,1,,Marche,ok,,,,\r\n" },
            { "quotes, commas and line breaks; a mismatch decoded anyway", awkward,
                R"({"request":"*5#","label":"Compteur, horaire","zone":7,"name":"Say \"hi\", then\nstop","raw":-5,"value":-5,"text":"-5","status":"mismatch"})"
                "\n",
                ",*5#,\"Compteur, horaire\",7,\"Say \"\"hi\"\", "
                "then\nstop\",-5,-5,-5,mismatch,,,,\r\n" },
            { "a value that is no JSON number, and no raw value", infinite,
                R"({"request":"9","label":"x","zone":9,"name":"Never","value":null,"text":"inf","status":"ok"})"
                "\n",
                ",9,x,9,Never,,inf,inf,ok,,,,\r\n" },
            { "no answer", timeout,
                R"({"time":"2026-12-08T09:42:30.000Z","request":"2580","label":"Mesures","status":"timeout"})"
                "\n",
                "2026-12-08T09:42:30.000Z,2580,Mesures,,,,,,timeout,,,,\r\n" },
            { "bytes that are not UTF-8 and control characters", badText,
                "{\"request\":\"1\",\"label\":\"\xEF\xBF\xBDtat\\u0001\",\"status\":\"mismatch\"}"
                "\n",
                ",1,\xEF\xBF\xBDtat\x01,,,,,,mismatch,,,,\r\n" },
            { "a sound failure says what failed", failed,
                R"json({"request":"2580","label":"Mesures","text":"the sound input was lost (Connection terminated)","status":"error"})json"
                "\n",
                ",2580,Mesures,,,,,the sound input was lost (Connection "
                "terminated),error,,,,\r\n" },
            { "the answer's quality: level over the threshold and the noise floor", heard,
                R"({"time":"2026-12-08T09:42:23.123Z","request":"1234","label":"Etat general","zone":1,"name":"Tension","raw":120,"value":12.000,"text":"12.000","status":"ok","level":5012.3,"level_db":44.5,"noise":15.0,"snr":50.5})"
                "\n",
                "2026-12-08T09:42:23.123Z,1234,Etat general,1,Tension,120,12.000,12.000,ok,"
                "5012.3,44.5,15.0,50.5\r\n" },
            { "no noise measured: the floor and the threshold count as 1", single,
                R"({"request":"2580","label":"Mesures","status":"mismatch","level":0.5,"level_db":-6.0,"snr":-6.0})"
                "\n",
                ",2580,Mesures,,,,,,mismatch,0.5,-6.0,,-6.0\r\n" },
        };
        for (const FormatRow& row : rows) {
            EXPECT_EQ(FormatJsonLine(row.record), row.json) << row.what;
            EXPECT_EQ(FormatCsvLine(row.record), row.csv) << row.what;
        }
        EXPECT_EQ(CsvHeaderLine(),
            "time,request,label,zone,name,raw,value,text,status,level,level_db,noise,snr\r\n");
        // The nine columns of the files begun before the quality was recorded.
        EXPECT_EQ(CsvHeaderLine(kCsvColumnsWithoutQuality),
            "time,request,label,zone,name,raw,value,text,status\r\n");
        EXPECT_EQ(FormatCsvLine(heard, kCsvColumnsWithoutQuality),
            "2026-12-08T09:42:23.123Z,1234,Etat general,1,Tension,120,12.000,12.000,ok\r\n");
    }

    TEST(ResultRecord, FormatNamesAndUtcTime)
    {
        RecordFormat format = RecordFormat::Text;
        EXPECT_TRUE(ParseRecordFormat("json", format));
        EXPECT_EQ(format, RecordFormat::Json);
        EXPECT_TRUE(ParseRecordFormat("csv", format));
        EXPECT_EQ(format, RecordFormat::Csv);
        EXPECT_TRUE(ParseRecordFormat("text", format));
        EXPECT_EQ(format, RecordFormat::Text);
        EXPECT_FALSE(ParseRecordFormat("JSON", format));
        EXPECT_FALSE(ParseRecordFormat("", format));

        using namespace std::chrono;
        // 2026-12-08 09:42:23.045 UTC, and the epoch.
        const system_clock::time_point t { milliseconds(1796722943045) };
        EXPECT_EQ(IsoUtcTime(t), "2026-12-08T09:42:23.045Z");
        EXPECT_EQ(IsoUtcTime(system_clock::time_point {}), "1970-01-01T00:00:00.000Z");
    }

} // namespace
} // namespace quelsor
