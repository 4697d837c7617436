#include "ResultPrinter.h"

#include <chrono>

namespace quelsor::cli {

ResultPrinter::ResultPrinter(RecordFormat format, std::FILE* out)
    : format_(format)
    , out_(out)
{
}

void ResultPrinter::AttachLog(DecoderSession& session)
{
    session_ = &session;
    session.SetLogSink([this](const std::string& line) { LogLine(line); });
}

void ResultPrinter::Attach(DecoderSession& session)
{
    AttachLog(session);
    // Both come while the session decodes its last answer.
    session.SetReportSinks(
        [this](const ZoneReport& report) {
            ResultRecord record = RecordOfZone(report, ItemText(report.requestIndex));
            record.quality = session_->LastQuality();
            Print(std::move(record));
        },
        [this](int requestIndex, int, int) {
            ResultRecord record = RecordWithoutZone(ItemText(requestIndex), "mismatch");
            record.quality = session_->LastQuality();
            Print(std::move(record));
        });
}

void ResultPrinter::LogLine(const std::string& line)
{
    if (format_ != RecordFormat::Text)
        return;
    if (beforeLine_)
        beforeLine_();
    std::fprintf(out_, "%s%s\n", linePrefix_.c_str(), line.c_str());
    std::fflush(out_);
}

void ResultPrinter::Print(ResultRecord record)
{
    if (format_ == RecordFormat::Text)
        return;
    if (!record.isoTime && !record.seconds) {
        if (currentTime_)
            record.isoTime = IsoUtcTime(std::chrono::system_clock::now());
        else
            record.seconds = seconds_;
    }
    if (beforeLine_)
        beforeLine_();
    std::string text;
    if (format_ == RecordFormat::Json) {
        text = FormatJsonLine(record);
    } else {
        if (!headerWritten_)
            text = CsvHeaderLine();
        headerWritten_ = true;
        text += FormatCsvLine(record);
    }
#ifdef _WIN32
    // The stream is text: the C runtime writes each "\n" as CRLF itself.
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
#endif
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

std::string ResultPrinter::ItemText(int index) const
{
    if (session_ == nullptr)
        return std::string();
    const auto& items = session_->Configuration().items;
    return index >= 0 && index < static_cast<int>(items.size())
        ? items[static_cast<std::size_t>(index)]
        : std::string();
}

} // namespace quelsor::cli
