#include "ResponseDecoder.h"

#include "common/SplitText.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace quelsor {

namespace {

    // The decoder's log texts (UTF-8), formats included.
    namespace text {
        constexpr char kReceived[] = "Reçu:";
        constexpr char kEcho[] = "Echo reçu : ";
        constexpr char kParamReceived[] = "Param %d reçus ...";
        constexpr char kCounts[] = "Attendus:%d  Reçus:%d ";
        constexpr char kCountError[]
            = "Erreur de reconnaissance DTMF (nombre de caractères attendus non respecté)";
        constexpr char kAdjustLevel[] = "Ajuster le niveau BF, puis réessayer.";
        constexpr char kNoByte[] = "??";
        constexpr char kInvalidMode[] = "Mode invalide";
        constexpr char kConversionError[] = "Anomalie de conversion (%d)";
        constexpr char kValue[] = "%d";
        constexpr char kLabelledValue[] = "%d=%s";
        // The value is printed as "%.3f" does in the C locale (see FixedThree).
        constexpr char kFormulaDebug[] = "Z%2d.  %s (%s) %s => %s ";
        constexpr char kFormula[] = "%s %s ";
        constexpr char kFixedThree[] = "%.3f";
        constexpr char kResultDebug[] = "Z%2d.  %s %s";
        constexpr char kResult[] = "%s %s";
    }

    constexpr char kHexDigits[] = "0123456789abcdef";

    constexpr std::int32_t kModeBin = 0;
    constexpr std::int32_t kModeBinc = 1;
    constexpr std::int32_t kBincPreset = -16777216; // 0xFF000000

#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#endif
    std::string
    Format(const char* format, ...)
    {
        char small[256];
        std::va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(small, sizeof small, format, args);
        va_end(args);
        if (length < 0)
            return std::string();
        if (static_cast<std::size_t>(length) < sizeof small)
            return std::string(small, static_cast<std::size_t>(length));
        std::string result(static_cast<std::size_t>(length) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(result.data(), result.size(), format, args);
        va_end(args);
        result.resize(static_cast<std::size_t>(length));
        return result;
    }

    std::string UpperAscii(std::string s)
    {
        for (char& c : s) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return s;
    }

    // The report shows formula values with the precision of a float, rounded to nearest as the
    // hardware conversion does: a value beyond FLT_MAX but below the midpoint to the next step
    // (FLT_MAX + 2^103) becomes FLT_MAX, from the midpoint on an infinity of its sign. Values
    // past FLT_MAX are handled here because converting them is undefined in C++.
    double NarrowToFloat(double v)
    {
        if (std::isnan(v) || std::isinf(v))
            return v;
        const double largest = static_cast<double>(FLT_MAX);
        const double midpoint = largest + std::ldexp(1.0, 103);
        if (std::fabs(v) > largest) {
            const double narrowed
                = std::fabs(v) < midpoint ? largest : std::numeric_limits<double>::infinity();
            return std::copysign(narrowed, v);
        }
        return static_cast<double>(static_cast<float>(v));
    }

    // v as "%.3f" prints it, always with a full stop: the window's toolkit may switch the C
    // library to the user's locale, whose decimal separator may be a comma.
    std::string FixedThree(double v)
    {
        const std::string number = Format(text::kFixedThree, v);
        const char* point = std::localeconv()->decimal_point;
        const std::size_t pointLength = point != nullptr ? std::strlen(point) : 0;
        if (pointLength == 0 || std::strcmp(point, ".") == 0)
            return number;
        std::string result;
        result.reserve(number.size());
        for (std::size_t i = 0; i < number.size();) {
            if (number.compare(i, pointLength, point) == 0) {
                result += '.';
                i += pointLength;
            } else {
                result += number[i++];
            }
        }
        return result;
    }

} // namespace

std::uint8_t DtmfNibble(char character)
{
    switch (character) {
    case '0':
        return 10;
    case '*':
        return 11;
    case '#':
        return 12;
    case 'A':
        return 13;
    case 'B':
        return 14;
    case 'C':
        return 15;
    default:
        if (character >= '1' && character <= '9')
            return static_cast<std::uint8_t>(character - '0');
        return 0; // D and anything else
    }
}

std::int32_t ExtractZoneBits(const ResponseBytes& bytes, std::int32_t startBit,
    std::int32_t bitLength, std::int32_t& accumulator)
{
    if (bitLength / 8 > 4)
        return -1;
    // In 64 bits, so that no start and length can overflow.
    const std::int64_t end = static_cast<std::int64_t>(startBit) + bitLength;
    if (startBit < 0 || bitLength < 0 || end > 512)
        return -2;
    const int first = startBit / 8;
    int last = static_cast<int>(end / 8);
    const int shift = startBit % 8;
    if (last <= first)
        last = first + 1;
    if (last - first > 4)
        return -3;

    // Unsigned arithmetic gives the 32-bit wrap-around of the addition.
    std::uint32_t value = static_cast<std::uint32_t>(accumulator);
    for (int k = first; k < last; ++k)
        value += static_cast<std::uint32_t>(bytes[static_cast<std::size_t>(k)])
            << (8 * (last - 1 - k));
    std::int32_t result = static_cast<std::int32_t>(value);
    if (shift != 0)
        result >>= shift; // arithmetic: the sign bit is propagated
    if (bitLength >= 1 && bitLength <= 7)
        result &= (1 << bitLength) - 1;
    accumulator = result;
    return 0;
}

ResponseDecoder::ResponseDecoder(
    IDecoderHost& host, const SeqList& seqList, FormulaEvaluator& evaluator)
    : host_(host)
    , seqList_(seqList)
    , evaluator_(evaluator)
{
}

ResponseDecoder::~ResponseDecoder() = default;

void ResponseDecoder::CreateZoneCells()
{
    if (!zoneCells)
        zoneCells = std::make_unique<ZoneCells>(evaluator_.Cells());
}

void ResponseDecoder::ReleaseZoneCells() { zoneCells.reset(); }

void ResponseDecoder::DecodeResponse(const std::string& received)
{
    const std::int32_t k = pendingSeq;
    if (k < 0 || !seqList_.ValidIndex(k) || seqList_.Object(k) == nullptr) {
        // Nothing pending, or an index no request answers to any more: only log the string.
        AddLine(text::kReceived + received);
        if (k >= 0)
            pendingSeq = -1;
        return;
    }

    // The echo of the command: the first word of the request's item, in upper case.
    if (k < host_.SequenceItemCount()) {
        StringList words;
        SplitText(host_.SequenceItemText(k), words, " ");
        if (received == UpperAscii(words.front())) {
            AddLine(text::kEcho + received);
            return;
        }
    }

    const TParamSeq& sequence = *seqList_.Object(k);
    const auto length = static_cast<std::int64_t>(received.size());
    AddLine(Format(text::kParamReceived, k));
    responseBytes.fill(0);
    AddLine(sequence.Title);
    AddLine(received);
    AddLine(Format(text::kCounts, sequence.LgSeq, static_cast<int>(received.size())));

    outcomes_.clear();
    countMismatch_ = sequence.LgSeq != length;
    if (countMismatch_) {
        AddLine(text::kCountError);
        AddLine(text::kAdjustLevel);
        if (!host_.DebugChecked()) {
            host_.AnswerRejected(k, sequence.LgSeq, static_cast<int>(received.size()));
            return; // the request stays pending: the next string is tried again
        }
    }

    DecodePairs(received);

    for (const auto& entry : sequence.Zones) {
        TParamZone* zone = entry.object.get();
        if (zone == nullptr)
            continue;
        std::int32_t accumulator = 0;
        if (zone->Mode == kModeBin) {
            accumulator = 0;
        } else if (zone->Mode == kModeBinc) {
            accumulator = kBincPreset;
        } else {
            AddLine(text::kInvalidMode);
            continue;
        }
        const std::int32_t code
            = ExtractZoneBits(responseBytes, zone->StartBit, zone->BitLength, accumulator);
        if (code < 0) {
            AddLine(Format(text::kConversionError, code));
            continue;
        }
        StoreZoneValue(*zone, accumulator);
    }

    ReportZones();
    outcomes_.clear();
    countMismatch_ = false;
    pendingSeq = -1;
}

// Pairs characters i and i + 1 into a byte while i + 2 < L, so the last step always gives "??"
// and no byte. Bytes past the buffer's end are shown but not stored.
void ResponseDecoder::DecodePairs(const std::string& received)
{
    const std::size_t length = received.size();
    std::string hex;
    hex.reserve(length / 2 * 3 + 2);
    std::size_t j = 0;
    for (std::size_t i = 0; i < length; i += 2) {
        if (i + 2 < length) {
            const auto b = static_cast<std::uint8_t>(
                DtmfNibble(received[i]) * 16 + DtmfNibble(received[i + 1]));
            if (j < responseBytes.size())
                responseBytes[j] = b;
            ++j;
            // As the format "%02.2x " prints it: two lower-case hexadecimal digits, a space.
            hex += kHexDigits[b >> 4];
            hex += kHexDigits[b & 0x0F];
            hex += ' ';
        } else {
            hex += text::kNoByte;
        }
    }
    AddLine(hex);
}

void ResponseDecoder::StoreZoneValue(TParamZone& zone, std::int32_t value)
{
    const std::string decimal = Format(text::kValue, value);
    const int index = IndexOfText(zone.Values, decimal);
    ZoneOutcome& outcome = outcomes_[&zone];
    outcome.raw = value;
    outcome.label.reset();
    if (index >= 0) {
        const auto i = static_cast<std::size_t>(index);
        const std::string label = i < zone.Labels.size() ? zone.Labels[i] : std::string();
        zone.ResultText = Format(text::kLabelledValue, value, label.c_str());
        outcome.label = label;
        return;
    }
    if (zoneCells) {
        if (FormulaCell* cell = zoneCells->Cell(zone.Num)) {
            cell->Kind = 1;
            cell->Value = value;
        }
    }
    zone.ResultText = decimal;
}

void ResponseDecoder::ReportZones()
{
    if (!seqList_.ValidIndex(pendingSeq) || seqList_.Object(pendingSeq) == nullptr)
        return;
    const TParamSeq& sequence = *seqList_.Object(pendingSeq);
    for (const auto& entry : sequence.Zones) {
        TParamZone* zone = entry.object.get();
        if (zone == nullptr)
            continue;
        ZoneReport report;
        report.requestIndex = pendingSeq;
        report.zone = zone->Num;
        report.name = zone->Name;
        report.countMismatch = countMismatch_;
        const auto outcome = outcomes_.find(zone);
        if (outcome != outcomes_.end())
            report.raw = outcome->second.raw;

        std::string line;
        if (!zone->Formula.empty()) {
            std::int32_t status = 0;
            const double v = NarrowToFloat(evaluator_.EvaluateFormula(zone->Formula, status));
            report.value = v;
            report.text = FixedThree(v);
            if (host_.DebugChecked())
                line = Format(text::kFormulaDebug, zone->Num, zone->Name.c_str(),
                    zone->ResultText.c_str(), zone->Formula.c_str(), report.text.c_str());
            else
                line = Format(text::kFormula, zone->Name.c_str(), report.text.c_str());
        } else {
            if (outcome != outcomes_.end() && outcome->second.label) {
                report.text = *outcome->second.label;
            } else {
                report.text = zone->ResultText;
                if (outcome != outcomes_.end())
                    report.value = outcome->second.raw;
            }
            if (host_.DebugChecked())
                line = Format(
                    text::kResultDebug, zone->Num, zone->Name.c_str(), zone->ResultText.c_str());
            else
                line = Format(text::kResult, zone->Name.c_str(), zone->ResultText.c_str());
        }
        AddLine(line);
        host_.ZoneReported(report);
    }
}

} // namespace quelsor
